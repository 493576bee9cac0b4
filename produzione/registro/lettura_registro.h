// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>

#include <optional>

// Reading back the log that m5ctl --log writes: its records, and the lines
// that are none (torn by a run that died writing them, or not m5ctl's).

// One unit as its record tells it. A record has at least "ora", "porta" and
// "esito"; the other fields may be missing, and fields unknown here are
// passed over.
struct RecordRegistro
{
    int riga = 0;  // its line in the log, from 1
    QDateTime ora; // when the unit ended, UTC
    QString porta;
    std::optional<int> unita;
    QString comando;
    int esito = 0;
    QString messaggio;
    // From cells 7 and 8 of the cells read back, else of the first read.
    std::optional<int> codice;
    // From the same cells, as the unit file writes it; empty when unknown.
    QString frequenza;
    std::optional<double> durata_s;
    // A station's records carry these as well; empty, or nullopt, elsewhere.
    std::optional<int> posto;
    QString presa;
    QString operatore;
    QString profilo;
};

struct LetturaRegistro
{
    QList<RecordRegistro> record;
    QList<int> scartate; // the lines, from 1, that are no record; blank lines are passed over
};

// A line of the log; nullopt when it is no record.
std::optional<RecordRegistro> interpreta_record(const QByteArray &riga, int numero);
// A line that records no unit but an event of a station, such as a change
// of its settings: it has "evento". Neither a record nor a torn line.
bool evento_registro(const QByteArray &riga);

// Every line of a log, from its start.
LetturaRegistro interpreta_registro(QIODevice &registro);
