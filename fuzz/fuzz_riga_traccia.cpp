// SPDX-License-Identifier: GPL-3.0-or-later
#include "proprieta.h"
#include "riga_traccia.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

// The trace line. Any input is read as a line; its first ten bytes are also a
// byte of a trace (its time, its direction, its value), written and read back.
namespace {
bool uguali(const ByteTraccia &a, const ByteTraccia &b)
{
    return a.us == b.us && a.entrata == b.entrata && a.byte == b.byte;
}

void scritta_e_riletta(const ByteTraccia &b)
{
    const auto letta = interpreta_riga_traccia(testo_riga_traccia(b));
    esigi(letta && uguali(*letta, b), "a line written reads back to its byte");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    const std::string_view riga(reinterpret_cast<const char *>(dati), dimensione);
    if (const auto b = interpreta_riga_traccia(riga)) {
        esigi(b->us >= 0, "times from the start are not negative");
        scritta_e_riletta(*b);
    }
    if (dimensione >= 10) {
        std::int64_t us;
        std::memcpy(&us, dati, sizeof us);
        // The simulator's clock counts from its start.
        us &= std::numeric_limits<std::int64_t>::max();
        scritta_e_riletta({us, (dati[8] & 1) != 0, dati[9]});
    }
    return 0;
}
