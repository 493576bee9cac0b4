// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The receiver's 64 cells as bytes: a cell's encoding, the code split, the
// checksum and the factory blocks.

#include "celle.h"

#include <array>
#include <cstdint>
#include <optional>

using Blocco = std::array<std::uint8_t, NUM_CELLE>;

enum class Banda { UHF, VHF };

// One cell on the wire: the value rounded half to even. nullopt when the
// rounded value does not fit a byte (or is not a number at all).
std::optional<std::uint8_t> codifica_cella(double valore);

struct Codice
{
    double Cod_H;
    double Cod_L;
};
// Cod_H the whole multiples of 256, Cod_L the rest (0 to under 256 for a code
// from 0 up, the code's sign below 0): unisci_codice gives any finite code back.
Codice dividi_codice(double codice);
double unisci_codice(double Cod_H, double Cod_L);

const Blocco &blocco_fabbrica(Banda banda);

// The checksum of cells 0-13 as numbers not yet rounded to bytes (a front
// end's working values may be fractional or out of a byte's range): the AND
// works on the integer that 255 minus their sum rounds to.
double checksum_valori(const std::array<double, ULTIMA_CELLA_CONTATA + 1> &valori);
// The checksum a block's cell 61 must hold: that of its cells 0-13.
std::uint8_t checksum_celle(const Blocco &celle);
// Cell 61 holds that checksum.
bool checksum_valido(const Blocco &celle);
