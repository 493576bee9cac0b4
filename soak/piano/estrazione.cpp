// SPDX-License-Identifier: GPL-3.0-or-later
// A cycle's draws, all from the cycle's own seed.
#include "estrazione.h"

int Estrazione::tra(int minimo, int massimo)
{
    const auto ampiezza = static_cast<std::uint64_t>(static_cast<long long>(massimo) - minimo + 1);
    return minimo + static_cast<int>(m_casuale.prossimo() % ampiezza);
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
    Casuale c(seme ^ (static_cast<std::uint64_t>(ciclo) * 0xD1B54A32D192ED03ULL));
    return c.prossimo();
}
