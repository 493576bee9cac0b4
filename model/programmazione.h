// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The block a programming writes, from the values asked and the unit's first read.

#include "blocco.h"
#include "frequenza.h"
#include "valori_unita.h"

#include <array>

// Every value to write, as numbers: a front end's working values; the
// frequency as typed.
struct ValoriDaScrivere
{
    Frequenza frequenza;
    double codice = 0;
    double rele = 0;
    double impulsi = 0;
    std::array<double, NUM_GRUPPI> opzioni{}; // in the order of GRUPPI_OPZIONI
};

// Why nothing may be written.
enum class Rifiuto {
    Nessuno,
    FuoriBanda,       // the frequency is not in the unit's band
    ValoreFuoriRange, // a cell does not fit a byte
    // Only where the values are asked strictly (command line, station):
    BandaDiversa,    // the values are for a unit of the other band
    BandaIgnota,     // a frequency, but the unit reports no band to check it with
    FrequenzaIgnota, // no frequency asked, and the unit's own lies in neither window
};

struct Programmazione
{
    Rifiuto rifiuto = Rifiuto::Nessuno;
    // The frequency lies in neither window: the window warns, then goes on.
    bool fuori_range = false;
    Conversione frequenza;
    // What goes into cells 0-61, before rounding to bytes; then the bytes.
    std::array<double, CELLA_CKS + 1> valori{};
    Blocco celle{};

    bool da_scrivere() const { return rifiuto == Rifiuto::Nessuno; }
};

// The window's rules: cells 0 and 4-6 and the band letter come from prima,
// everything else from valori; only the band and the byte range refuse.
Programmazione prepara_programmazione(const ValoriDaScrivere &valori, const Blocco &prima);

// The strict rules: what is not asked stays as the unit has it; a frequency
// asked must be a channel of the unit's own band, and the values' band, when
// given, the unit's band.
Programmazione prepara_programmazione(const ValoriRichiesti &chieste, std::optional<Banda> banda,
                                      const Blocco &prima);
