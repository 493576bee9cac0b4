// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_unita.h"

#include "controllo_valori.h"
#include "esiti.h"
#include "file_atomico.h"
#include "file_json.h"
#include "ricevitore.h"
#include "riga_json.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace file_unita {

namespace {
const QString FORMATO = QStringLiteral("m5-unita");
constexpr int VERSIONE = 1;

using controllo_valori::citazione;
using controllo_valori::errore;
using esiti::FUORI_RANGE;
using esiti::USO;

QJsonValue opzione(const GruppoOpzioni &gruppo, int valore)
{
    if (valore == 0 || valore == 1)
        return QString::fromStdString(testo_opzione(gruppo, valore));
    return valore;
}

// A field the reader needs: there, and of the JSON type asked for.
std::optional<ErroreValore> campo(const QJsonObject &o, const char *nome, QJsonValue::Type tipo,
                                  QJsonValue &valore)
{
    const QString chiave = QLatin1String(nome);
    if (!o.contains(chiave))
        return errore(USO, chiave, QStringLiteral("missing"));
    valore = o.value(chiave);
    if (valore.type() != tipo) {
        static const char *const nomi[] = {"null",     "a boolean", "a number",
                                           "a string", "an array",  "an object"};
        const int t = static_cast<int>(tipo);
        return errore(USO, chiave,
                      QStringLiteral("wrong type; expected %1")
                          .arg(QLatin1String(t >= 0 && t < 6 ? nomi[t] : "a value")));
    }
    return std::nullopt;
}

std::optional<ErroreValore> intero(const QJsonObject &o, const char *nome, int minimo, int massimo,
                                   std::optional<int> &risultato)
{
    QJsonValue v;
    if (auto e = campo(o, nome, QJsonValue::Double, v))
        return e;
    const double d = v.toDouble();
    if (d != std::trunc(d))
        return errore(USO, QLatin1String(nome),
                      QStringLiteral("wrong type; expected a whole number"));
    if (d < minimo || d > massimo)
        return errore(FUORI_RANGE, QLatin1String(nome),
                      QStringLiteral("%1 is out of range; expected a whole number from %2 to %3")
                          .arg(d)
                          .arg(minimo)
                          .arg(massimo));
    risultato = static_cast<int>(d);
    return std::nullopt;
}

std::optional<ErroreValore> testo(const QJsonObject &o, const char *nome, QString &risultato)
{
    QJsonValue v;
    if (auto e = campo(o, nome, QJsonValue::String, v))
        return e;
    risultato = v.toString();
    return std::nullopt;
}

std::optional<ErroreValore> intestazione(const QJsonObject &o)
{
    QString formato;
    if (auto e = testo(o, "formato", formato))
        return e;
    if (formato != FORMATO)
        return errore(USO, QStringLiteral("formato"),
                      QStringLiteral("%1 is not a unit file; expected \"%2\"")
                          .arg(citazione(formato), FORMATO));
    QJsonValue versione;
    if (auto e = campo(o, "versione", QJsonValue::Double, versione))
        return e;
    if (versione.toDouble() != VERSIONE)
        return errore(
            USO, QStringLiteral("versione"),
            QStringLiteral("%1 is not known; expected %2").arg(versione.toDouble()).arg(VERSIONE));
    return std::nullopt;
}

// checksum_ok and celle are informative, but a file from a bad read is no
// file to program units from.
std::optional<ErroreValore> facoltativi(const QJsonObject &o)
{
    QJsonValue v;
    if (o.contains(QStringLiteral("checksum_ok"))) {
        if (auto e = campo(o, "checksum_ok", QJsonValue::Bool, v))
            return e;
        if (!v.toBool())
            return errore(USO, QStringLiteral("checksum_ok"),
                          QStringLiteral("false: the file comes from a read that failed its "
                                         "checksum"));
    }
    if (o.contains(QStringLiteral("celle"))) {
        if (auto e = campo(o, "celle", QJsonValue::Array, v))
            return e;
        for (const QJsonValue c : v.toArray()) {
            const double d = c.toDouble(-1);
            if (!c.isDouble() || d != std::trunc(d) || d < 0 || d > 255)
                return errore(USO, QStringLiteral("celle"),
                              QStringLiteral("wrong type; expected whole numbers from 0 to 255"));
        }
    }
    return std::nullopt;
}

std::optional<ErroreValore> valori(const QJsonObject &o, Contenuto &c)
{
    ValoriRichiesti &i = c.richiesti;
    if (auto e = intero(o, "codice", 1, 4096, i.codice))
        return e;
    QString frequenza;
    if (auto e = testo(o, "frequenza", frequenza))
        return e;
    const auto f = controllo_valori::frequenza(QStringLiteral("frequenza"), frequenza);
    if (const auto *e = std::get_if<ErroreValore>(&f))
        return *e;
    i.frequenza = std::get<Frequenza>(f);
    if (auto e = intero(o, "rele", 1, 255, i.rele))
        return e;
    if (auto e = intero(o, "impulsi", 1, 255, i.impulsi))
        return e;
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        const GruppoOpzioni &gruppo = GRUPPI_OPZIONI[g];
        QString nome;
        if (auto e = testo(o, gruppo.nome, nome))
            return e;
        i.opzioni[g] = valore_opzione(gruppo, nome.toStdString());
        if (!i.opzioni[g])
            return errore(
                USO, QLatin1String(gruppo.nome),
                QStringLiteral("%1 is not valid; expected %2 or %3")
                    .arg(citazione(nome), QLatin1String(gruppo.uno), QLatin1String(gruppo.zero)));
    }
    QString banda;
    if (auto e = testo(o, "banda", banda))
        return e;
    const auto b = banda_da_nome(banda.toStdString());
    if (!b)
        return errore(USO, QStringLiteral("banda"),
                      QStringLiteral("%1 is not valid; expected UHF or VHF").arg(citazione(banda)));
    c.banda = *b;
    return std::nullopt;
}
} // namespace

QByteArray testo(const QByteArray &celle)
{
    if (celle.isEmpty())
        return QByteArray();
    const Blocco b = blocco_letto(celle);
    const ValoriUnita v = decodifica_blocco(b);
    QJsonArray tutte;
    for (const char c : celle)
        tutte.append(static_cast<std::uint8_t>(c));

    RigaJson r;
    r.aggiungi(QStringLiteral("formato"), FORMATO)
        .aggiungi(QStringLiteral("versione"), VERSIONE)
        .aggiungi(QStringLiteral("codice"), v.codice)
        .aggiungi(QStringLiteral("frequenza"),
                  v.frequenza ? QJsonValue(QString::fromStdString(*v.frequenza))
                              : QJsonValue(QJsonValue::Null))
        .aggiungi(QStringLiteral("rele"), v.rele)
        .aggiungi(QStringLiteral("impulsi"), v.impulsi);
    for (int g = 0; g < NUM_GRUPPI; ++g)
        r.aggiungi(QLatin1String(GRUPPI_OPZIONI[g].nome), opzione(GRUPPI_OPZIONI[g], v.opzioni[g]));
    r.aggiungi(QStringLiteral("banda"), v.banda ? QJsonValue(QLatin1String(nome_banda(*v.banda)))
                                                : QJsonValue(QJsonValue::Null))
        .aggiungi(QStringLiteral("checksum_ok"), checksum_valido(b))
        .aggiungi(QStringLiteral("celle"), tutte);
    return r.testo();
}

std::variant<Contenuto, ErroreValore> interpreta(const QByteArray &testo)
{
    const auto documento =
        file_json::oggetto(testo, ErroreValore{USO, QStringLiteral("not a JSON object")});
    if (const auto *e = std::get_if<ErroreValore>(&documento))
        return *e;
    const QJsonObject &o = std::get<QJsonObject>(documento);
    Contenuto c;
    if (auto e = intestazione(o))
        return *e;
    if (auto e = valori(o, c))
        return *e;
    if (auto e = facoltativi(o))
        return *e;
    return c;
}

std::variant<Contenuto, ErroreValore> carica(const QString &percorso)
{
    const auto testo = file_json::carica(percorso, QStringLiteral("a unit file"));
    if (const auto *e = std::get_if<ErroreValore>(&testo))
        return *e;
    return interpreta(std::get<QByteArray>(testo));
}

bool salva(const QString &percorso, const QByteArray &testo, QString &errore)
{
    const QByteArray riga = testo + '\n';
    std::string motivo;
    if (salva_file_atomico(QFile::encodeName(percorso).toStdString(), riga.constData(),
                           static_cast<std::size_t>(riga.size()), motivo))
        return true;
    errore = QString::fromLocal8Bit(motivo.c_str());
    return false;
}

QString testo_intero(const std::optional<int> &n)
{
    return n ? QString::number(*n) : QStringLiteral("-");
}

QString testo_frequenza(const std::optional<Frequenza> &f)
{
    return f ? QString::fromStdString(f->testo()) : QStringLiteral("-");
}

QString testo_gruppo(int g, const std::optional<int> &valore)
{
    if (!valore)
        return QStringLiteral("-");
    return QString::fromStdString(testo_opzione(GRUPPI_OPZIONI[g], *valore));
}

QString impronta(const ValoriRichiesti &i, std::optional<Banda> banda)
{
    QStringList campi{QStringLiteral("banda=") +
                          (banda ? QString::fromLatin1(nome_banda(*banda)) : QStringLiteral("-")),
                      QStringLiteral("codice=") + testo_intero(i.codice),
                      QStringLiteral("frequenza=") + testo_frequenza(i.frequenza),
                      QStringLiteral("rele=") + testo_intero(i.rele),
                      QStringLiteral("impulsi=") + testo_intero(i.impulsi)};
    for (int g = 0; g < NUM_GRUPPI; ++g)
        campi << QLatin1String(GRUPPI_OPZIONI[g].nome) + QLatin1Char('=') +
                     testo_gruppo(g, i.opzioni[g]);
    const QByteArray testo = campi.join(QLatin1Char('\n')).toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(testo, QCryptographicHash::Sha256).toHex().left(8));
}

} // namespace file_unita
