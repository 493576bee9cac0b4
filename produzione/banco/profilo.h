// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a station does to every unit: the values of a unit file, and program or verify.

#include "file_unita.h"
#include "incarico.h"

#include <QString>
#include <QStringList>

struct Profilo
{
    file_unita::Contenuto contenuto;
    bool verifica = false; // compare only; otherwise program with read-back

    // The first 8 hex digits of a SHA-256 of the values the profile writes,
    // in a fixed text form: the same values, the same fingerprint.
    QString impronta() const;
    Incarico incarico() const;
    // "codice 321", "frequenza 433.92 MHz (UHF)", ... in the order of the unit file.
    QStringList righe() const;
};
