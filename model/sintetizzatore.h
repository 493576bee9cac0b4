// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "blocco.h"

#include <optional>
#include <string>

// Receive frequency (MHz) to the synthesiser cells 1-3 and back. The
// synthesiser runs on the local oscillator: RX + 21.4 MHz in VHF, RX - 45 MHz
// in UHF, counted in 12.5 kHz steps N = 64*B + A.

constexpr double VHF_MIN = 100;
constexpr double VHF_MAX = 249;
constexpr double UHF_MIN = 250;
constexpr double UHF_MAX = 500;
constexpr double OFFSET_VHF = 21.4; // local oscillator = RX + 21.4
constexpr double OFFSET_UHF = -45;  // local oscillator = RX - 45

struct FqByte
{
    double FQ_Byte1; // B div 256
    double FQ_Byte2; // B mod 256
    double FQ_Byte3; // 2*A
};

// Cells 1-3 of a block, as on the wire.
FqByte fq_byte(const Blocco &celle);

struct Offset
{
    double s;         // local-oscillator frequency
    bool fuori_range; // RX in neither window: no offset applied
};

// Band offset decided by the RX value alone.
Offset applica_offset(double f);

// Whether the local-oscillator frequency suits the unit's band. With no
// known band there is nothing to check.
bool in_banda(double s, std::optional<Banda> banda);

// Whether the RX value lies in the unit's own window (VHF 100-249, UHF
// 250-500): a value of the other band's window would pass the check on its
// offset value and be programmed at another frequency.
bool rx_in_banda(double f, std::optional<Banda> banda);

// Steps onto the 12.5 kHz grid (a point 2.5 kHz or more above a grid point
// goes up) and splits N into the three cells.
FqByte calcola_fq_byte(double s);

struct FinestraRx
{
    double da;
    double a;
};
// The RX values a unit of the band takes: its own window, narrowed to where
// the oscillator value stays in the window too (VHF 100-227.6, UHF 295-500).
FinestraRx finestra_rx(Banda banda);
// That window as text: "100-227.6".
std::string testo_finestra_rx(Banda banda);

// Reverse conversion: the RX frequency of cells 1-3 as on the wire (cell 3
// holds 2*A, halved by a real division), or nullopt when the oscillator value
// lies in neither window.
std::optional<double> frequenza_da_celle(const FqByte &celle);
