// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "celle.h"
#include "variante.h"

#include <array>
#include <cstdint>
#include <optional>

constexpr double LETTERA_UHF = lettera::UHF;
constexpr double LETTERA_VHF = lettera::VHF;

using Blocco = std::array<std::uint8_t, NUM_CELLE>;

enum class Banda { UHF, VHF };

// The receiver's cells 0-13 and the working values that go with them.
struct Parametri
{
    Variante Tipo_M5;
    Variante FQ_Byte1;
    Variante FQ_Byte2;
    Variante FQ_Byte3;
    Variante BaseD1;
    Variante BaseD2;
    Variante BaseD3;
    Variante Cod_H;
    Variante Cod_L;
    Variante Toni_HL;
    Variante Mem_Ipul;
    Variante Tempo_Rele;
    Variante Tempo_Imp;
    Variante RxP88;

    Variante t;
    Variante Fabbrica;
    Variante FEe;
    Variante stripVU;
    Variante fleg;
    Variante Tot_cks;
    Variante Cks;

    // The variable behind cell i (0-13), or nullptr for any other cell.
    Variante *variabile(int i);
    const Variante *variabile(int i) const;

    // Sum of cells 0-13 (unset counts as 0), then Tot_cks = (255 - S) AND 255.
    void calcola_checksum();

    // What the programming sends in cell i (0-61): cells 0-13 from their
    // variables, 14-60 zero, 61 the checksum.
    double valore_da_inviare(int i) const;
};

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

// The checksum a block's cell 61 must hold: that of its cells 0-13.
std::uint8_t checksum_celle(const Blocco &celle);
