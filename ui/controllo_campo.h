// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "elementi.h"

#include <QString>

// The character and limit checks of the four entry fields. They never alter
// the text: a fault shows as beeps, the selection of the offending character
// and the focus.
struct EsitoControllo
{
    int beep = 0;
    int inizio = -1; // selection of the last report, -1 when none
    int lunghezza = 0;
    bool carattere_errato = false;
    bool oltre_limite = false;

    bool difettoso() const { return beep > 0; }
};

enum class TipoCampo { Codice, Frequenza, Tempo };

EsitoControllo controlla_campo(TipoCampo tipo, const QString &testo);
EsitoControllo controlla_campo(Elementi::Campo campo, const QString &testo);
