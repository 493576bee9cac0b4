// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One unit on one port, as m5ctl's single command: the unit, and on a terminal its progress.

#include "dialogo_unita.h"
#include "incarico.h"

#include <QString>

class Traccia;

struct UnitaSingola
{
    EsitoUnita esito;
    QString porta; // "Com N", or the path given
};

// Until the unit's dialogue ends, the wait runs out, or Ctrl-C.
UnitaSingola esegui_unita_singola(const QString &percorso, int com, const Incarico &incarico,
                                  Traccia *traccia);
