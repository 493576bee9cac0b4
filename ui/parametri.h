// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's image of the receiver's block: its form-level variables.

#include "variante.h"

#include <optional>

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

    Variante Fabbrica;
    Variante stripVU;
    Variante fleg;
    Variante Tot_cks;
    Variante Cks;

    // The variable behind cell i (0-13), or nullptr for any other cell.
    Variante *variabile(int i);
    const Variante *variabile(int i) const;

    // Sum of cells 0-13 (unset counts as 0), then Tot_cks = (255 - S) AND 255.
    void calcola_checksum();

    // The reverse conversion of a read: FQ_Byte3 is halved in place (it then
    // holds the swallow counter A), and the RX frequency comes back, or
    // nullopt when the oscillator value lies in neither window.
    std::optional<double> frequenza_da_fq_byte();
};
