// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A receive frequency as a user writes it, read once from its text.

#include "sintetizzatore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where a frequency lies against the 12.5 kHz channel grid.
struct PostoInGriglia
{
    bool leggibile = false; // a plain decimal text, with at most 12 whole digits
    bool canale = false;    // exactly a channel
    std::string sotto;      // when off the grid: the nearest channels either side
    std::string sopra;
};

struct Conversione
{
    double rx = 0; // the RX frequency the text reads as
    double s = 0;
    bool fuori_range = false; // warn, then go on
    bool fuori_banda = false; // refuse: nothing may be sent
    FqByte celle{};
    bool codificabile = true; // every cell fits in one byte
};

// Its number is what the window reads in the text (valore_testo). Its grid
// place is judged on the digits as given ("160.91": digits, or digits, a
// point and digits), so that no double rounds 160.9125 or 440.9125 onto the
// grid or off it. The RX grid is the oscillator's, since both offsets are
// whole channels (1712 and -3600).
class Frequenza
{
public:
    Frequenza() = default;
    explicit Frequenza(std::string_view testo);

    const std::string &testo() const { return m_testo; }
    double rx() const { return m_rx; }

    // The band whose window takes it; none between the two windows or outside them.
    std::optional<Banda> banda() const;
    PostoInGriglia griglia() const;
    // The synthesiser cells for a unit of that band; with no known band there
    // is no band to check.
    Conversione conversione(std::optional<Banda> banda) const;

    bool operator==(const Frequenza &altra) const { return m_testo == altra.m_testo; }
    bool operator!=(const Frequenza &altra) const { return !(*this == altra); }

private:
    std::string m_testo;
    double m_rx = 0;
    // Tenths of a kHz, for a plain decimal text; oltre: digits past the
    // tenth of a kHz that are not all zero.
    std::optional<std::uint64_t> m_decimi;
    bool m_oltre = false;
};
