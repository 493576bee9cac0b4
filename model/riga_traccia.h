// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One byte that crossed the line, as m5sim --trace writes it on stderr:
// "<s>.<6-digit us> in|out HH", "in" being what the simulator received.
struct ByteTraccia
{
    std::int64_t us; // the simulator's monotonic clock since it started
    bool entrata;
    std::uint8_t byte;
};

std::string testo_riga_traccia(const ByteTraccia &b);
// nullopt for anything else the simulator prints (its diagnostics).
std::optional<ByteTraccia> interpreta_riga_traccia(std::string_view riga);
