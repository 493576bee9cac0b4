// SPDX-License-Identifier: GPL-3.0-or-later
#include "sintetizzatore.h"

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

FqByte fq_byte(const Blocco &celle)
{
    return {double(celle[CELLA_FQ1]), double(celle[CELLA_FQ2]), double(celle[CELLA_FQ3])};
}

Offset applica_offset(double f)
{
    if (in_vhf(f))
        return {f + OFFSET_VHF, false};
    if (in_uhf(f))
        return {f + OFFSET_UHF, false};
    return {f, true};
}

bool in_banda(double s, std::optional<Banda> banda)
{
    if (!banda)
        return true;
    return *banda == Banda::UHF ? in_uhf(s) : in_vhf(s);
}

bool rx_in_banda(double f, std::optional<Banda> banda)
{
    // The windows are the same as those of the offset value.
    return in_banda(f, banda);
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

std::optional<double> frequenza_da_celle(const FqByte &celle)
{
    const double A = celle.FQ_Byte3 / 2;
    const double B = 256 * celle.FQ_Byte1 + celle.FQ_Byte2;
    const double F = (B * 64 + A) * 0.0125;
    if (in_vhf(F))
        return F - OFFSET_VHF;
    if (in_uhf(F))
        return F - OFFSET_UHF;
    return std::nullopt;
}
