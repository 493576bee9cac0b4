// SPDX-License-Identifier: GPL-3.0-or-later
#include "casuale.h"

std::uint64_t Casuale::prossimo()
{
    std::uint64_t z = (m_stato += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double Casuale::reale(double minimo, double massimo)
{
    // 53 bits: every double in [0, 1) that the draw can give, none equal to 1.
    return minimo + (massimo - minimo) * static_cast<double>(prossimo() >> 11) * 0x1.0p-53;
}

int Casuale::tra(int minimo, int massimo)
{
    const auto ampiezza = static_cast<std::uint64_t>(static_cast<long long>(massimo) - minimo + 1);
    return minimo + static_cast<int>((prossimo() >> 32) * ampiezza >> 32);
}
