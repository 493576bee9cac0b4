// SPDX-License-Identifier: GPL-3.0-or-later
#include "lettura_registro.h"

#include "valori_unita.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <deque>
#include <future>

namespace {
constexpr qint64 RIGA_MASSIMA = 1 << 16;

std::optional<int> intero_json(const QJsonValue &v)
{
    const double d = v.toDouble(NAN);
    if (!v.isDouble() || d != std::trunc(d) || std::fabs(d) > 1e9)
        return std::nullopt;
    return static_cast<int>(d);
}

// A whole block of 63 cells, as m5ctl logs a read that went through.
std::optional<Blocco> celle(const QJsonValue &v)
{
    const QJsonArray a = v.toArray();
    if (a.size() != CELLE_LETTE)
        return std::nullopt;
    Blocco b{};
    for (qsizetype i = 0; i < a.size(); ++i) {
        const auto c = intero_json(a.at(i));
        if (!c || *c < 0 || *c > 255)
            return std::nullopt;
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*c);
    }
    return b;
}

void leggi_valori(const QJsonObject &o, RecordRegistro &r)
{
    auto b = celle(o.value(QStringLiteral("celle_dopo")));
    if (!b)
        b = celle(o.value(QStringLiteral("celle_prima")));
    if (!b)
        return;
    const ValoriUnita v = decodifica_blocco(*b);
    r.codice = v.codice;
    if (v.frequenza)
        r.frequenza = QString::fromStdString(*v.frequenza);
}
// Lines read one block at a time on other threads, the blocks given back in order.
constexpr qsizetype RIGHE_LOTTO = 2000;
constexpr std::size_t IN_VOLO = 4;

struct RigaLetta
{
    int numero;
    QByteArray testo;
    bool lunga;
};

struct Lotto
{
    QList<RigaLetta> righe;
};

struct LottoLetto
{
    QList<RecordRegistro> record;
    QList<QByteArray> testi; // one a record, with a Testo
    QList<int> scartate;
};

LottoLetto leggi_lotto(const Lotto &lotto, bool valori, const Testo &testo);
} // namespace

std::optional<RecordRegistro> interpreta_record(const QByteArray &riga, int numero, bool valori)
{
    QJsonParseError analisi;
    const QJsonDocument documento = QJsonDocument::fromJson(riga, &analisi);
    if (analisi.error != QJsonParseError::NoError || !documento.isObject())
        return std::nullopt;
    const QJsonObject o = documento.object();
    const QDateTime ora =
        QDateTime::fromString(o.value(QStringLiteral("ora")).toString(), Qt::ISODateWithMs);
    const QJsonValue porta = o.value(QStringLiteral("porta"));
    const auto esito = intero_json(o.value(QStringLiteral("esito")));
    if (!ora.isValid() || !porta.isString() || !esito)
        return std::nullopt;

    RecordRegistro r;
    r.riga = numero;
    r.ora = ora.toUTC();
    r.porta = porta.toString();
    r.unita = intero_json(o.value(QStringLiteral("unita")));
    r.comando = o.value(QStringLiteral("comando")).toString();
    r.esito = *esito;
    r.messaggio = o.value(QStringLiteral("messaggio")).toString();
    const QJsonValue durata = o.value(QStringLiteral("durata_s"));
    if (durata.isDouble())
        r.durata_s = durata.toDouble();
    r.posto = intero_json(o.value(QStringLiteral("posto")));
    r.presa = o.value(QStringLiteral("presa")).toString();
    r.operatore = o.value(QStringLiteral("operatore")).toString();
    r.profilo = o.value(QStringLiteral("profilo")).toString();
    r.id = o.value(QStringLiteral("id")).toString();
    r.stazione = o.value(QStringLiteral("stazione")).toString();
    r.piano = o.value(QStringLiteral("piano")).toString();
    r.codice_stato = o.value(QStringLiteral("codice_stato")).toString();
    if (valori)
        leggi_valori(o, r);
    return r;
}

bool evento_registro(const QByteArray &riga)
{
    const QJsonDocument documento = QJsonDocument::fromJson(riga);
    return documento.isObject() && documento.object().value(QStringLiteral("evento")).isString();
}

RigheScartate scorri_registro(QIODevice &registro, const Ricevi &ricevi, bool valori,
                              const Testo &testo)
{
    RigheScartate scartate;
    std::deque<std::future<LottoLetto>> in_volo;
    Lotto lotto;
    const auto raccogli = [&] {
        const LottoLetto letto = in_volo.front().get();
        in_volo.pop_front();
        for (qsizetype i = 0; i < letto.record.size(); ++i)
            ricevi(letto.record.at(i), letto.testi.value(i));
        for (const int n : letto.scartate)
            scartate.aggiungi(n);
    };
    const auto spedisci = [&] {
        in_volo.push_back(
            std::async(std::launch::async, leggi_lotto, std::move(lotto), valori, testo));
        lotto = Lotto{};
        if (in_volo.size() > IN_VOLO)
            raccogli();
    };
    int numero = 0;
    QByteArray riga;
    bool lunga = false; // far longer than any record: no record, and not held whole
    const auto fine_riga = [&] {
        ++numero;
        lotto.righe.append({numero, lunga ? QByteArray() : std::move(riga), lunga});
        riga = QByteArray();
        lunga = false;
        if (lotto.righe.size() == RIGHE_LOTTO)
            spedisci();
    };
    // In pieces rather than lines: a pipe is drained as fast as a file, and a
    // NUL byte is just a byte.
    for (QByteArray pezzo; !(pezzo = registro.read(RIGA_MASSIMA)).isEmpty();) {
        qsizetype inizio = 0;
        for (qsizetype a_capo; (a_capo = pezzo.indexOf('\n', inizio)) >= 0; inizio = a_capo + 1) {
            riga += QByteArrayView(pezzo).sliced(inizio, a_capo - inizio);
            fine_riga();
        }
        riga += QByteArrayView(pezzo).sliced(inizio);
        if (riga.size() > RIGA_MASSIMA) {
            lunga = true;
            riga.clear();
        }
    }
    if (!riga.isEmpty() || lunga)
        fine_riga();
    if (!lotto.righe.isEmpty())
        spedisci();
    while (!in_volo.empty())
        raccogli();
    return scartate;
}

namespace {
LottoLetto leggi_lotto(const Lotto &lotto, bool valori, const Testo &testo)
{
    LottoLetto letto;
    for (const RigaLetta &r : lotto.righe) {
        if (r.lunga) {
            letto.scartate.append(r.numero);
        } else if (auto record = interpreta_record(r.testo, r.numero, valori)) {
            if (testo)
                letto.testi.append(testo(*record));
            letto.record.append(std::move(*record));
        } else if (!r.testo.trimmed().isEmpty() && !evento_registro(r.testo)) {
            letto.scartate.append(r.numero);
        }
    }
    return letto;
}
} // namespace

LetturaRegistro interpreta_registro(QIODevice &registro)
{
    LetturaRegistro letto;
    letto.scartate = scorri_registro(
        registro, [&](const RecordRegistro &r, const QByteArray &) { letto.record.append(r); });
    return letto;
}
