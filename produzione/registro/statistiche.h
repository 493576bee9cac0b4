// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lettura_registro.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The figures of a production run, per port and in all, from the records of
// its log or from those a station holds.

struct StatistichePorta
{
    QString porta;      // empty for the total
    int unita = 0;      // records
    int ok = 0;         // esito 0
    int fallite = 0;    // any other esito but interrupted
    int interrotte = 0; // esito 130: neither good nor bad, out of the yield
    QDateTime prima;    // the end of the first unit
    QDateTime ultima;   // the end of the last unit

    // First-pass yield: ok / (ok + fallite); none without either.
    std::optional<double> resa() const;
    // From the end of the first unit to the end of the last, in ms.
    qint64 durata_ms() const;
    // unita over the time span in hours; none for a span under a minute.
    std::optional<double> unita_ora() const;
};

// What became of the codes of one plan, as the records tell it.
struct CodiciPiano
{
    QString piano; // the plan's fingerprint
    int dati = 0;
    int spesi = 0;
    int restituiti = 0;
};

struct Statistiche
{
    QList<StatistichePorta> porte; // in the order of their first record
    StatistichePorta totale;
    QList<CodiciPiano> piani; // in the order of their first record
};

Statistiche statistiche(const QList<RecordRegistro> &record);
// The same count, one record at a time, for figures kept as units end.
void conta_record(Statistiche &s, const RecordRegistro &r);

// The units that ended in the hour up to adesso, as many as there were: a
// figure that a new station cannot inflate from its first few minutes.
int unita_ultima_ora(const QList<RecordRegistro> &record, const QDateTime &adesso);

// The ports whose failures stand out from the rest, a bad cable or fixture:
// at least 3 failures, at 3 times the failure rate of the whole or more.
QStringList porte_sospette(const Statistiche &s);
