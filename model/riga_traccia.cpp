// SPDX-License-Identifier: GPL-3.0-or-later
#include "riga_traccia.h"

#include <charconv>
#include <cstdio>
#include <limits>

std::string testo_riga_traccia(const ByteTraccia &b)
{
    char testo[48];
    const int n = std::snprintf(
        testo, sizeof testo, "%lld.%06lld %s %02X", static_cast<long long>(b.us / 1'000'000),
        static_cast<long long>(b.us % 1'000'000), b.entrata ? "in" : "out", b.byte);
    return std::string(testo, static_cast<std::size_t>(n));
}

namespace {

bool solo_cifre(std::string_view s, bool esadecimale)
{
    for (const char c : s) {
        const bool cifra = (c >= '0' && c <= '9') || (esadecimale && c >= 'A' && c <= 'F');
        if (!cifra)
            return false;
    }
    return !s.empty();
}

// A time past the clock's range is no line the simulator wrote.
bool nel_range(long long secondi, long long micro)
{
    constexpr std::int64_t massimo = std::numeric_limits<std::int64_t>::max();
    return secondi < massimo / 1'000'000 ||
           (secondi == massimo / 1'000'000 && micro <= massimo % 1'000'000);
}

} // namespace

std::optional<ByteTraccia> interpreta_riga_traccia(std::string_view riga)
{
    const auto punto = riga.find('.');
    const auto spazio = riga.find(' ');
    const auto spazio2 = spazio == std::string_view::npos ? spazio : riga.find(' ', spazio + 1);
    if (punto == std::string_view::npos || spazio2 == std::string_view::npos || punto > spazio)
        return std::nullopt;
    const std::string_view s = riga.substr(0, punto);
    const std::string_view us = riga.substr(punto + 1, spazio - punto - 1);
    const std::string_view verso = riga.substr(spazio + 1, spazio2 - spazio - 1);
    const std::string_view esa = riga.substr(spazio2 + 1);
    if (!solo_cifre(s, false) || us.size() != 6 || !solo_cifre(us, false) || esa.size() != 2 ||
        !solo_cifre(esa, true) || (verso != "in" && verso != "out"))
        return std::nullopt;

    long long secondi = 0, micro = 0;
    unsigned valore = 0;
    if (std::from_chars(s.data(), s.data() + s.size(), secondi).ec != std::errc{})
        return std::nullopt;
    std::from_chars(us.data(), us.data() + us.size(), micro);
    if (!nel_range(secondi, micro))
        return std::nullopt;
    std::from_chars(esa.data(), esa.data() + esa.size(), valore, 16);
    return ByteTraccia{secondi * 1'000'000 + micro, verso == "in",
                       static_cast<std::uint8_t>(valore)};
}
