// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// m5stazione's command line, checked whole before anything starts.

#include "controllo_valori.h"
#include "file_stazione.h"
#include "piano_codici.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

struct OpzioniStazione
{
    QString da_file;               // --from; empty: ask for one
    QList<PostoConfigurato> posti; // --slot; none: the station file
    QString registro;              // --log; empty: the station's own
    bool verifica = false;         // --verify
    QString operatore;             // --operator; empty: the login name
    bool muto = false;             // --mute
    // --codici A-B or --codici-da FILE: each unit the next free code of the plan.
    std::optional<PianoCodici> piano;
    QString origine_piano; // "A-B", or the file
    QString piano_da;      // the option that gave it, for the messages
    QString archivio;      // --archivio: a libpq connection string; empty: the station file's
    QString etichette;     // --etichette: a printer, or a folder of PDFs
    QSizeF misura_etichette{62, 29}; // mm
    bool misura_data = false;
    bool aiuto = false;    // --help
    bool versione = false; // --version
};

std::variant<OpzioniStazione, ErroreValore>
interpreta_opzioni_stazione(const QStringList &argomenti);

extern const char *const AIUTO_STAZIONE;
