// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a station does to every unit: the values of a unit file, and program or verify.

#include "file_unita.h"
#include "incarico.h"
#include "piano_codici.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

struct Profilo
{
    Q_DECLARE_TR_FUNCTIONS(Profilo)

public:
    file_unita::Contenuto contenuto;
    bool verifica = false; // compare only; otherwise program with read-back
    // Each unit the next free code of a plan, instead of the file's code.
    std::optional<PianoCodici> piano;
    QString origine_piano; // "A-B", or the file of the codes

    // The first 8 hex digits of a SHA-256 of the values the profile writes,
    // in a fixed text form: the same values, the same fingerprint.
    QString impronta() const;
    Incarico incarico() const;
    // "codice 321", "frequenza 433.92 MHz (UHF)", ... in the order of the unit file,
    // each name in the window's language.
    QStringList righe() const;
    // A value's name in the unit file ("codice", "toni") in the window's language.
    static QString nome_campo(const QString &campo);
};
