// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a worker is shown of one slot: its state, why, its progress and its counts.

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

struct QuadroPosto
{
    Q_GADGET

public:
    enum class Aspetto {
        Mancante,   // no adapter, or one that cannot be used
        Attesa,     // ready: waiting for a unit
        Lavoro,     // a unit in its dialogue
        Riuscito,   // the last unit is good, until it is taken out
        Fallito,    // the last unit failed, until it is taken out
        DaTogliere, // the unit has not been taken out long after it ended
        Occupato,   // the adapter is there, but another program holds its port
        Doppio,     // another slot's name leads to the same device
        Pausa,      // a settings change waits: no new unit until it applies
        Esaurito    // the plan has no code left: no unit until a new plan
    };
    Q_ENUM(Aspetto)

    Aspetto aspetto = Aspetto::Mancante;
    QString motivo;       // what went wrong; empty when nothing did
    QStringList dettagli; // each value that differs, or who holds the port
    QString consiglio;    // what the worker should do now
    // The last unit's end, kept from its end until the next unit starts, so
    // that a late glance still finds it; empty when there is none.
    QString ultimo_esito;
    std::optional<int> codice; // Riuscito: the receiver code the unit holds, as read back
    QString etichetta;         // Riuscito: why its label was not printed; empty when it was
    int cella = 0;             // Lavoro: the cell reached, of ultima
    int ultima = 0;
    int unita = 0; // the slot's units in the figures kept
    int ok = 0;
    int fallite = 0;
    bool segnalato = false; // a failure rate that stands out: a bad cable or fixture
};
