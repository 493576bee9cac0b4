// SPDX-License-Identifier: GPL-3.0-or-later
#include "blocco.h"
#include "proprieta.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// One cell on the wire and the receiver code's two cells. The input's first
// eight bytes are a double, its first two a code as the cells hold it.
namespace {
void cella(double valore)
{
    const auto byte = codifica_cella(valore);
    esigi(byte.has_value() == (valore >= -0.5 && valore < 255.5),
          "a cell takes what rounds to 0-255");
    if (!byte)
        return;
    const double scarto = std::fabs(valore - *byte);
    esigi(scarto <= 0.5, "to the nearest whole number");
    esigi(scarto < 0.5 || *byte % 2 == 0, "half to even");
}

void divisione(double codice)
{
    const Codice c = dividi_codice(codice);
    if (!std::isfinite(codice))
        return;
    esigi(unisci_codice(c.Cod_H, c.Cod_L) == codice, "the two parts join to the code");
    esigi(c.Cod_H == std::trunc(c.Cod_H), "Cod_H is a whole number");
    esigi(std::fabs(c.Cod_L) < 256, "Cod_L is below 256");
    if (codice >= 0)
        esigi(c.Cod_H >= 0 && c.Cod_L >= 0, "a code from 0 up splits into parts from 0 up");
}

void codice_intero(unsigned codice)
{
    const Codice c = dividi_codice(codice);
    const auto alto = codifica_cella(c.Cod_H);
    const auto basso = codifica_cella(c.Cod_L);
    esigi(alto && basso, "a code 0-65535 fits its cells");
    esigi(unisci_codice(*alto, *basso) == codice, "and reads back from them");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    if (dimensione >= 2)
        codice_intero(dati[0] * 256u + dati[1]);
    if (dimensione < sizeof(double))
        return 0;
    double valore;
    std::memcpy(&valore, dati, sizeof valore);
    cella(valore);
    divisione(valore);
    return 0;
}
