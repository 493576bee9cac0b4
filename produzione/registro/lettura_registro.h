// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>

#include <functional>
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
    QString id; // the record's UUID; empty in a log written before it had one
    QString stazione;
    // A run with a plan of codes: the plan's fingerprint, and what became of
    // the unit's code ("dato", "speso", "restituito"; empty when it took none).
    QString piano;
    QString codice_stato;
};

// The lines of a log that are no record, from 1; blank lines are passed
// over. However many, it holds their count and the first few numbers alone.
struct RigheScartate
{
    static constexpr int TENUTE = 11; // the ten a message shows, and one to tell there are more
    qsizetype quante = 0;
    QList<int> prime;

    void aggiungi(int riga)
    {
        ++quante;
        if (prime.size() < TENUTE)
            prime.append(riga);
    }
    bool isEmpty() const { return quante == 0; }
};

struct LetturaRegistro
{
    QList<RecordRegistro> record;
    RigheScartate scartate;
};

// A line of the log; nullopt when it is no record. Without valori, codice
// and frequenza are left out: decoding the cells is most of the work.
std::optional<RecordRegistro> interpreta_record(const QByteArray &riga, int numero,
                                                bool valori = true);
// A line that records no unit but an event of a station, such as a change
// of its settings: it has "evento". Neither a record nor a torn line.
bool evento_registro(const QByteArray &riga);

// Every line of a log, from its start, one record at a time to ricevi, in
// the log's order and on the caller's thread: what is held does not grow
// with the log. The lines are read into records on other threads, a few
// blocks ahead, and testo, when given, is worked out there too and handed to
// ricevi with its record. Gives the lines that are no record.
using Ricevi = std::function<void(const RecordRegistro &, const QByteArray &testo)>;
using Testo = std::function<QByteArray(const RecordRegistro &)>;
RigheScartate scorri_registro(QIODevice &registro, const Ricevi &ricevi, bool valori = true,
                              const Testo &testo = {});
// Every line of a log, from its start, all its records at once.
LetturaRegistro interpreta_registro(QIODevice &registro);
