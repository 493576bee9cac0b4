// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a unit's label tells its installer.

#include <QDateTime>
#include <QString>
#include <QUuid>

struct Etichetta
{
    int codice = 0;    // 1-4096
    QString frequenza; // as the installer reads it: "433.920 MHz"
    QString banda;     // "UHF" or "VHF"
    QDateTime ora;     // shown as its date only
    QString piano;     // the code plan's fingerprint, 8 hex digits
    QString profilo;   // the profile's fingerprint, 8 hex digits
    QString stazione;  // the station that programmed the unit
    QUuid id;          // the unit's record
};

struct Resoconto;

// The label of a unit that ended OK, its values as read back after writing.
Etichetta etichetta_di(const Resoconto &r, const QString &piano, const QString &profilo,
                       const QString &stazione);
