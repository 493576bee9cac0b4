// SPDX-License-Identifier: GPL-3.0-or-later
// A cycle's draws, all from the cycle's own seed.
#pragma once

#include "casuale.h"

#include <cstdint>

// The draws of one cycle, all from its own seed, so that a cycle replays
// alone and in any order.
class Estrazione
{
public:
    explicit Estrazione(std::uint64_t seme) : m_casuale(seme) {}

    // Uniform in minimo..massimo, both included: the remainder of a draw, as
    // the soak has always taken it, so that a seed keeps its cycles.
    int tra(int minimo, int massimo);
    double reale(double minimo, double massimo) { return m_casuale.reale(minimo, massimo); }
    bool con_probabilita(double p) { return m_casuale.con_probabilita(p); }
    // An index from 0 to quanti-1, drawn with these weights.
    int pesata(const int *pesi, int quanti);

    // The seed of cycle `ciclo` of a soak started with `seme`.
    static std::uint64_t seme_ciclo(std::uint64_t seme, int ciclo);

private:
    Casuale m_casuale;
};
