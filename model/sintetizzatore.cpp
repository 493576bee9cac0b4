// SPDX-License-Identifier: GPL-3.0-or-later
#include "sintetizzatore.h"

#include "parametri.h"
#include "testo_numero.h"

#include <cmath>

namespace {
constexpr double PASSO = 12.5 / 1000;

bool in_vhf(double x)
{
    return x >= VHF_MIN && x <= VHF_MAX;
}
bool in_uhf(double x)
{
    return x >= UHF_MIN && x <= UHF_MAX;
}
} // namespace

Offset applica_offset(double f)
{
    if (in_vhf(f))
        return {f + OFFSET_VHF, false};
    if (in_uhf(f))
        return {f + OFFSET_UHF, false};
    return {f, true};
}

bool in_banda(double s, const Variante &stripVU)
{
    if (stripVU.uguale(LETTERA_UHF))
        return in_uhf(s);
    if (stripVU.uguale(LETTERA_VHF))
        return in_vhf(s);
    return true;
}

bool rx_in_banda(double f, const Variante &stripVU)
{
    // The windows are the same as those of the offset value.
    return in_banda(f, stripVU);
}

FinestraRx finestra_rx(Banda banda)
{
    if (banda == Banda::VHF)
        return {VHF_MIN, VHF_MAX - OFFSET_VHF};
    return {UHF_MIN - OFFSET_UHF, UHF_MAX};
}

std::string testo_finestra_rx(Banda banda)
{
    const FinestraRx f = finestra_rx(banda);
    return testo_numero(f.da) + '-' + testo_numero(f.a);
}

FqByte calcola_fq_byte(double s)
{
    const double N = std::floor((s + 0.01) / PASSO + 0.000001);
    // The swallow search over A = 0..127 always lands on N mod 64 for the
    // reachable N, so the split is taken directly.
    const double B = std::floor(N / 64);
    const double A = N - 64 * B;
    const double alto = std::floor(B / 256);
    return {alto, B - 256 * alto, 2 * A};
}

Conversione converti_frequenza(std::string_view testo, const Variante &stripVU)
{
    Conversione c;
    c.FEe = valore_testo(testo);
    const Offset o = applica_offset(c.FEe);
    c.s = o.s;
    c.fuori_range = o.fuori_range;
    c.fuori_banda = !in_banda(c.s, stripVU) || !rx_in_banda(c.FEe, stripVU);
    if (c.fuori_banda)
        return c;
    c.celle = calcola_fq_byte(c.s);
    c.codificabile = codifica_cella(c.celle.FQ_Byte1) && codifica_cella(c.celle.FQ_Byte2) &&
                     codifica_cella(c.celle.FQ_Byte3);
    return c;
}

std::optional<double> frequenza_da_fq_byte(const Variante &FQ_Byte1, const Variante &FQ_Byte2,
                                           Variante &FQ_Byte3)
{
    FQ_Byte3 = FQ_Byte3.valore() / 2;
    const double B = 256 * FQ_Byte1.valore() + FQ_Byte2.valore();
    const double F = (B * 64 + FQ_Byte3.valore()) * 0.0125;
    if (in_vhf(F))
        return F - OFFSET_VHF;
    if (in_uhf(F))
        return F - OFFSET_UHF;
    return std::nullopt;
}
