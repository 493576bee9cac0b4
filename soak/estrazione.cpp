// SPDX-License-Identifier: GPL-3.0-or-later
#include "estrazione.h"

std::uint64_t Estrazione::prossimo()
{
    std::uint64_t z = (m_stato += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int Estrazione::tra(int minimo, int massimo)
{
    const auto ampiezza = static_cast<std::uint64_t>(static_cast<long long>(massimo) - minimo + 1);
    return minimo + static_cast<int>(prossimo() % ampiezza);
}

double Estrazione::reale(double minimo, double massimo)
{
    return minimo + (massimo - minimo) * static_cast<double>(prossimo() >> 11) * 0x1.0p-53;
}

bool Estrazione::con_probabilita(double p)
{
    return reale(0, 1) < p;
}

int Estrazione::pesata(const int *pesi, int quanti)
{
    int totale = 0;
    for (int i = 0; i < quanti; ++i)
        totale += pesi[i];
    int x = tra(0, totale - 1);
    for (int i = 0; i < quanti; ++i) {
        if (x < pesi[i])
            return i;
        x -= pesi[i];
    }
    return quanti - 1;
}

std::uint64_t Estrazione::seme_ciclo(std::uint64_t seme, int ciclo)
{
    Estrazione e(seme ^ (static_cast<std::uint64_t>(ciclo) * 0xD1B54A32D192ED03ULL));
    return e.prossimo();
}
