// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// splitmix64: the same numbers from the same seed on every machine and
// library, so that a seed replays a faulty line byte for byte, or a soak's
// cycle.
class Casuale
{
public:
    explicit Casuale(std::uint64_t seme) : m_stato(seme) {}

    std::uint64_t prossimo();
    // In minimo..massimo, massimo excluded, from 53 bits of a draw.
    double reale(double minimo, double massimo);
    // True with probability p (0 never, 1 always).
    bool con_probabilita(double p) { return reale(0, 1) < p; }
    // Uniform in minimo..massimo, both included.
    int tra(int minimo, int massimo);
    std::uint8_t byte() { return static_cast<std::uint8_t>(prossimo() >> 56); }

private:
    std::uint64_t m_stato;
};
