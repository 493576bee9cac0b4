// SPDX-License-Identifier: GPL-3.0-or-later
#include "parametri.h"

#include <cmath>

Variante *Parametri::variabile(int i)
{
    return const_cast<Variante *>(static_cast<const Parametri *>(this)->variabile(i));
}

const Variante *Parametri::variabile(int i) const
{
    switch (i) {
    case CELLA_TIPO:
        return &Tipo_M5;
    case CELLA_FQ1:
        return &FQ_Byte1;
    case CELLA_FQ2:
        return &FQ_Byte2;
    case CELLA_FQ3:
        return &FQ_Byte3;
    case CELLA_BASE1:
        return &BaseD1;
    case CELLA_BASE2:
        return &BaseD2;
    case CELLA_BASE3:
        return &BaseD3;
    case CELLA_COD_H:
        return &Cod_H;
    case CELLA_COD_L:
        return &Cod_L;
    case CELLA_TONI:
        return &Toni_HL;
    case CELLA_USCITE:
        return &Mem_Ipul;
    case CELLA_RELE:
        return &Tempo_Rele;
    case CELLA_IMPULSI:
        return &Tempo_Imp;
    case CELLA_TRASMETTITORI:
        return &RxP88;
    default:
        return nullptr;
    }
}

void Parametri::calcola_checksum()
{
    double somma = 0;
    for (int i = 0; i <= ULTIMA_CELLA_CONTATA; ++i)
        somma += variabile(i)->valore();
    // The AND works on the integer the difference rounds to.
    const long long differenza = std::llrint(255.0 - somma);
    Tot_cks = static_cast<double>(differenza & 255);
}

double Parametri::valore_da_inviare(int i) const
{
    if (const Variante *v = variabile(i))
        return v->valore();
    if (i == CELLA_CKS)
        return Tot_cks.valore();
    return 0;
}

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

std::uint8_t checksum_celle(const Blocco &celle)
{
    unsigned somma = 0;
    for (int i = 0; i <= ULTIMA_CELLA_CONTATA; ++i)
        somma += celle[i];
    return static_cast<std::uint8_t>((255 - somma) & 255);
}
