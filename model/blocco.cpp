// SPDX-License-Identifier: GPL-3.0-or-later
#include "blocco.h"

#include <algorithm>
#include <cmath>

std::optional<std::uint8_t> codifica_cella(double valore)
{
    if (!std::isfinite(valore))
        return std::nullopt;
    const double arrotondato = std::nearbyint(valore); // round-to-nearest-even mode
    if (arrotondato < 0 || arrotondato > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(arrotondato);
}

Codice dividi_codice(double codice)
{
    // Toward zero, so that the remainder is exact: a floor would leave a
    // negative code's low part to be rounded, up to 256 for one just below 0.
    const double alto = std::trunc(codice / 256);
    return {alto, codice - 256 * alto};
}

double unisci_codice(double Cod_H, double Cod_L)
{
    return Cod_H * 256 + Cod_L;
}

namespace {
Blocco crea_blocco(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t cks,
                   std::uint8_t lettera)
{
    Blocco b{};
    const std::uint8_t testa[14] = {0, b1, b2, b3, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0};
    for (int i = 0; i < 14; ++i)
        b[i] = testa[i];
    b[CELLA_CKS] = cks;
    b[CELLA_BANDA] = lettera;
    b[CELLA_MARCA] = lettera::MARCA;
    return b;
}
} // namespace

const Blocco &blocco_fabbrica(Banda banda)
{
    static const Blocco uhf = crea_blocco(2, 6, 96, 235, lettera::UHF);
    static const Blocco vhf = crea_blocco(0, 228, 0, 111, lettera::VHF);
    return banda == Banda::UHF ? uhf : vhf;
}

double checksum_valori(const std::array<double, ULTIMA_CELLA_CONTATA + 1> &valori)
{
    double somma = 0;
    for (const double v : valori)
        somma += v;
    return static_cast<double>(std::llrint(255.0 - somma) & 255);
}

std::uint8_t checksum_celle(const Blocco &celle)
{
    std::array<double, ULTIMA_CELLA_CONTATA + 1> valori{};
    std::copy_n(celle.begin(), valori.size(), valori.begin());
    return static_cast<std::uint8_t>(checksum_valori(valori));
}

bool checksum_valido(const Blocco &celle)
{
    return checksum_celle(celle) == celle[CELLA_CKS];
}
