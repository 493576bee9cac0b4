// SPDX-License-Identifier: GPL-3.0-or-later
#include "rapporto.h"

#include "testo_numero.h"

#include <QStringList>

#include <algorithm>

namespace rapporto {

namespace {
constexpr int NUMERI_MOSTRATI = 10;

QString ora(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODate) : QStringLiteral("-");
}

QString durata(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QStringList colonne(const QString &nome, const StatistichePorta &p)
{
    const auto resa = p.resa();
    const auto unita_ora = p.unita_ora();
    return {nome,
            QString::number(p.unita),
            QString::number(p.ok),
            QString::number(p.fallite),
            QString::number(p.interrotte),
            rapporto::resa(resa),
            unita_ora ? QString::number(*unita_ora, 'f', 1) : QStringLiteral("-"),
            ora(p.prima),
            ora(p.ultima),
            p.unita > 0 ? durata(p.durata_ms()) : QStringLiteral("-")};
}

template <typename T> QString facoltativo(const std::optional<T> &v)
{
    return v ? QString::number(*v) : QString();
}

// What is free is no fact of a log: only the store of codes knows it.
QByteArray tabella_piani(const QList<CodiciPiano> &piani, const QHash<QString, int> &liberi)
{
    QList<QStringList> righe = {{"PLAN", "GIVEN", "SPENT", "RETURNED", "FREE"}};
    for (const CodiciPiano &p : piani) {
        const auto libero = liberi.constFind(p.piano);
        righe.append(
            {p.piano, QString::number(p.dati), QString::number(p.spesi),
             QString::number(p.restituiti),
             libero == liberi.constEnd() ? QStringLiteral("-") : QString::number(*libero)});
    }
    return allinea(righe);
}
} // namespace

QByteArray allinea(const QList<QStringList> &righe)
{
    QList<qsizetype> larghezze(righe.first().size(), 0);
    for (const QStringList &r : righe)
        for (qsizetype i = 0; i < r.size(); ++i)
            larghezze[i] = std::max(larghezze[i], r[i].size());
    QByteArray testo;
    for (const QStringList &r : righe) {
        QString riga = r.first().leftJustified(larghezze.first());
        for (qsizetype i = 1; i < r.size(); ++i)
            riga += QStringLiteral("  ") + r[i].rightJustified(larghezze[i]);
        testo += riga.toUtf8() + '\n';
    }
    return testo;
}

QString resa(std::optional<double> resa)
{
    return resa ? QStringLiteral("%1%").arg(*resa * 100, 0, 'f', 1) : QStringLiteral("-");
}

QString campo(const QString &testo)
{
    if (!testo.contains(QLatin1Char(',')) && !testo.contains(QLatin1Char('"')) &&
        !testo.contains(QLatin1Char('\n')) && !testo.contains(QLatin1Char('\r')))
        return testo;
    return QLatin1Char('"') + QString(testo).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QByteArray tabella(const Statistiche &s, const RigheScartate &scartate,
                   const QHash<QString, int> &liberi)
{
    QList<QStringList> righe = {{"PORT", "UNITS", "OK", "FAILED", "INTERRUPTED", "YIELD", "UNITS/H",
                                 "FIRST", "LAST", "SPAN"}};
    for (const StatistichePorta &p : s.porte)
        righe.append(colonne(p.porta, p));
    righe.append(colonne(QStringLiteral("total"), s.totale));
    QByteArray testo = allinea(righe);
    if (!s.piani.isEmpty())
        testo += '\n' + tabella_piani(s.piani, liberi);
    if (!scartate.isEmpty())
        testo += rapporto::scartate(scartate).toUtf8() + '\n';
    return testo;
}

QByteArray intestazione_csv()
{
    // New columns go at the end: a sheet made from an older export keeps its meaning.
    return "ora,porta,unita,comando,esito,messaggio,codice,frequenza,durata_s,"
           "posto,presa,operatore,profilo,id,stazione,piano,codice_stato\n";
}

QByteArray riga_csv(const RecordRegistro &r)
{
    const QStringList campi = {
        r.ora.toUTC().toString(Qt::ISODateWithMs),
        campo(r.porta),
        facoltativo(r.unita),
        campo(r.comando),
        QString::number(r.esito),
        campo(r.messaggio),
        facoltativo(r.codice),
        r.frequenza,
        r.durata_s ? QString::fromStdString(testo_numero(*r.durata_s)) : QString(),
        facoltativo(r.posto),
        campo(r.presa),
        campo(r.operatore),
        campo(r.profilo),
        campo(r.id),
        campo(r.stazione),
        campo(r.piano),
        campo(r.codice_stato),
    };
    return campi.join(QLatin1Char(',')).toUtf8() + '\n';
}

QString scartate(const RigheScartate &righe)
{
    QStringList numeri;
    for (qsizetype i = 0; i < righe.prime.size() && i < NUMERI_MOSTRATI; ++i)
        numeri << QString::number(righe.prime[i]);
    if (righe.quante > NUMERI_MOSTRATI)
        numeri << QStringLiteral("...");
    return righe.quante == 1
               ? QStringLiteral("1 torn or malformed line skipped (line %1)").arg(numeri.first())
               : QStringLiteral("%1 torn or malformed lines skipped (lines %2)")
                     .arg(righe.quante)
                     .arg(numeri.join(QStringLiteral(", ")));
}

} // namespace rapporto
