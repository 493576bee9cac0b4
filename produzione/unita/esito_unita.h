// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What became of one unit.

#include "esiti.h"
#include "valori_unita.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include <vector>

struct EsitoUnita
{
    int esito = esiti::SUCCESSO;
    QString messaggio;    // one line naming what went wrong; "OK" when done
    QStringList dettagli; // verify: one line per differing value
    // verify, or a read-back that differs: each value, expected and found
    std::vector<Differenza> differenze;
    QStringList avvertimenti;      // the unit went on all the same
    QByteArray celle_prima;        // the first read, as received
    QByteArray celle_dopo;         // the read-back after writing
    QByteArray celle_mostrate;     // the read whose values the record shows; empty for none
    bool iniziata = false;         // the unit announced itself and the dialogue began
    bool scritta_in_parte = false; // some cells were written, not all of them
    // The first write went out: whatever came after, the unit may hold its values.
    bool scrittura_avviata = false;
    std::optional<int> codice; // the code a plan gave the unit, when one did
    qint64 attesa_ms = 0;      // from the start to the unit's announcement
    qint64 durata_ms = 0;      // from the announcement to the end of the dialogue

    bool riuscita() const { return esito == esiti::SUCCESSO; }
};
