// SPDX-License-Identifier: GPL-3.0-or-later
#include "lettura_registro.h"

#include "valori_unita.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {
std::optional<int> intero(const QJsonValue &v)
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
        const auto c = intero(a.at(i));
        if (!c || *c < 0 || *c > 255)
            return std::nullopt;
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*c);
    }
    return b;
}

void valori(const QJsonObject &o, RecordRegistro &r)
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
} // namespace

std::optional<RecordRegistro> leggi_record(const QByteArray &riga, int numero)
{
    QJsonParseError analisi;
    const QJsonDocument documento = QJsonDocument::fromJson(riga, &analisi);
    if (analisi.error != QJsonParseError::NoError || !documento.isObject())
        return std::nullopt;
    const QJsonObject o = documento.object();
    const QDateTime ora =
        QDateTime::fromString(o.value(QStringLiteral("ora")).toString(), Qt::ISODateWithMs);
    const QJsonValue porta = o.value(QStringLiteral("porta"));
    const auto esito = intero(o.value(QStringLiteral("esito")));
    if (!ora.isValid() || !porta.isString() || !esito)
        return std::nullopt;

    RecordRegistro r;
    r.riga = numero;
    r.ora = ora.toUTC();
    r.porta = porta.toString();
    r.unita = intero(o.value(QStringLiteral("unita")));
    r.comando = o.value(QStringLiteral("comando")).toString();
    r.esito = *esito;
    r.messaggio = o.value(QStringLiteral("messaggio")).toString();
    const QJsonValue durata = o.value(QStringLiteral("durata_s"));
    if (durata.isDouble())
        r.durata_s = durata.toDouble();
    valori(o, r);
    return r;
}

LetturaRegistro leggi_registro(QIODevice &registro)
{
    LetturaRegistro letto;
    int numero = 0;
    while (!registro.atEnd()) {
        const QByteArray riga = registro.readLine();
        ++numero;
        if (riga.trimmed().isEmpty())
            continue;
        if (auto r = leggi_record(riga, numero))
            letto.record.append(std::move(*r));
        else
            letto.scartate.append(numero);
    }
    return letto;
}
