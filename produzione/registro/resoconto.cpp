// SPDX-License-Identifier: GPL-3.0-or-later
#include "resoconto.h"

#include "file_unita.h"
#include "riga_json.h"

#include <QJsonArray>

namespace {
QJsonValue celle(const QByteArray &c)
{
    if (c.isEmpty())
        return QJsonValue::Null;
    QJsonArray a;
    for (const char b : c)
        a.append(static_cast<std::uint8_t>(b));
    return a;
}

RigaJson comune(const Resoconto &r)
{
    RigaJson riga;
    riga.aggiungi(QStringLiteral("porta"), r.porta)
        .aggiungi(QStringLiteral("unita"), r.numero)
        .aggiungi(QStringLiteral("esito"), r.esito.esito)
        .aggiungi(QStringLiteral("messaggio"), r.esito.messaggio);
    return riga;
}
} // namespace

QByteArray riga_unita(const Resoconto &r)
{
    return comune(r)
        .aggiungi_testo(QStringLiteral("valori"), file_unita::testo(r.esito.celle_mostrate))
        .testo();
}

QByteArray riga_registro(const Resoconto &r)
{
    RigaJson riga;
    riga.aggiungi(QStringLiteral("ora"), r.ora.toUTC().toString(Qt::ISODateWithMs))
        .aggiungi(QStringLiteral("porta"), r.porta)
        .aggiungi(QStringLiteral("comando"), r.comando)
        .aggiungi(QStringLiteral("unita"), r.numero)
        .aggiungi(QStringLiteral("esito"), r.esito.esito)
        .aggiungi(QStringLiteral("messaggio"), r.esito.messaggio)
        .aggiungi(QStringLiteral("celle_prima"), celle(r.esito.celle_prima))
        .aggiungi(QStringLiteral("celle_dopo"), celle(r.esito.celle_dopo))
        .aggiungi(QStringLiteral("durata_s"), static_cast<double>(r.esito.durata_ms) / 1000)
        .aggiungi(QStringLiteral("attesa_s"), static_cast<double>(r.esito.attesa_ms) / 1000)
        .aggiungi(QStringLiteral("id"), r.id.toString(QUuid::WithoutBraces));
    for (const auto &[chiave, valore] : r.aggiunte)
        riga.aggiungi(chiave, valore);
    return riga.testo();
}

QString riga_umana(const Resoconto &r)
{
    const QString esito = r.esito.esito == esiti::SUCCESSO
                              ? QStringLiteral("OK")
                              : QStringLiteral("errore %1").arg(r.esito.esito);
    QString riga = QStringLiteral("%1 · unità %2 · %3 %4 s")
                       .arg(r.porta)
                       .arg(r.numero)
                       .arg(esito)
                       .arg(static_cast<double>(r.esito.durata_ms) / 1000, 0, 'f', 1);
    if (r.esito.esito != esiti::SUCCESSO)
        riga += QStringLiteral(" · ") + r.esito.messaggio;
    return riga;
}
