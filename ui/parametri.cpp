// SPDX-License-Identifier: GPL-3.0-or-later
#include "parametri.h"

#include "celle.h"
#include "sintetizzatore.h"

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

std::optional<double> Parametri::frequenza_da_fq_byte()
{
    const FqByte letti{FQ_Byte1.valore(), FQ_Byte2.valore(), FQ_Byte3.valore()};
    FQ_Byte3 = letti.FQ_Byte3 / 2;
    return frequenza_da_celle(letti);
}
