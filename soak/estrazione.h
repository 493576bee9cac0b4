// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The draws of one cycle, all from its own seed, so that a cycle replays
// alone and in any order: splitmix64, the same numbers on every machine.
class Estrazione
{
public:
    explicit Estrazione(std::uint64_t seme) : m_stato(seme) {}

    std::uint64_t prossimo();
    // Uniform in minimo..massimo, both included.
    int tra(int minimo, int massimo);
    double reale(double minimo, double massimo);
    bool con_probabilita(double p);
    // An index from 0 to quanti-1, drawn with these weights.
    int pesata(const int *pesi, int quanti);

    // The seed of cycle `ciclo` of a soak started with `seme`.
    static std::uint64_t seme_ciclo(std::uint64_t seme, int ciclo);

private:
    std::uint64_t m_stato;
};
