// SPDX-License-Identifier: GPL-3.0-or-later
// The arguments and unit files a cycle gives m5ctl so that it must refuse them.
#pragma once

#include "estrazione.h"
#include "valori_unita.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

// What a refused programming puts in its cycle.
struct CasoRifiuto
{
    QStringList argomenti; // m5ctl's value options
    QByteArray file;       // the unit file for --from; empty for none
    // What reaches the unit when the refusal comes only after its read (band cases).
    ValoriRichiesti richiesti;
    std::optional<Banda> banda_file;
};

// Arguments m5ctl must refuse, with nothing written: 2 and 7 before the port
// is opened, 6 once the unit's band is known.
struct Rifiuto
{
    const char *nome;
    int esito;
    void (*prepara)(Estrazione &e, Banda banda_unita, CasoRifiuto &c);
};

extern const Rifiuto RIFIUTI[];
extern const int NUM_RIFIUTI;
