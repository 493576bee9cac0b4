// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// m5stazione's command line, checked whole before anything starts.

#include "controllo_valori.h"
#include "file_stazione.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <variant>

struct OpzioniStazione
{
    QString da_file;               // --from; empty: ask for one
    QList<PostoConfigurato> posti; // --slot; none: the station file
    QString registro;              // --log; empty: the station's own
    bool verifica = false;         // --verify
    QString operatore;             // --operator; empty: the login name
    bool muto = false;             // --mute
    bool aiuto = false;            // --help
    bool versione = false;         // --version
};

std::variant<OpzioniStazione, ErroreValore>
interpreta_opzioni_stazione(const QStringList &argomenti);

extern const char *const AIUTO_STAZIONE;
