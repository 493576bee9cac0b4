// SPDX-License-Identifier: GPL-3.0-or-later
#include "parametri.h"

#include "blocco.h"
#include "celle.h"
#include "sintetizzatore.h"

#include <array>

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
    std::array<double, ULTIMA_CELLA_CONTATA + 1> valori{};
    for (int i = 0; i <= ULTIMA_CELLA_CONTATA; ++i)
        valori[std::size_t(i)] = variabile(i)->valore();
    Tot_cks = checksum_valori(valori);
}

std::optional<double> Parametri::frequenza_da_fq_byte()
{
    const FqByte letti{FQ_Byte1.valore(), FQ_Byte2.valore(), FQ_Byte3.valore()};
    FQ_Byte3 = letti.FQ_Byte3 / 2;
    return frequenza_da_celle(letti);
}
