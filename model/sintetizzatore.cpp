// SPDX-License-Identifier: GPL-3.0-or-later
#include "sintetizzatore.h"

#include "testo_numero.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

namespace {
// Tenths of a kHz: a channel is 125 of them.
constexpr std::uint64_t DECIMI_PER_MHZ = 10000;
constexpr std::uint64_t CANALE_DECIMI = 125;
constexpr std::size_t CIFRE_INTERE_MASSIME = 12;

std::string testo_decimi(std::uint64_t decimi)
{
    std::string frazione = std::to_string(decimi % DECIMI_PER_MHZ);
    frazione.insert(0, 4 - frazione.size(), '0');
    frazione.erase(frazione.find_last_not_of('0') + 1);
    const std::string intera = std::to_string(decimi / DECIMI_PER_MHZ);
    return frazione.empty() ? intera : intera + '.' + frazione;
}

bool solo_cifre(std::string_view t)
{
    return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
}
} // namespace

PostoInGriglia posto_in_griglia(std::string_view testo)
{
    PostoInGriglia p;
    const std::size_t punto = testo.find('.');
    std::string_view intera = testo.substr(0, punto);
    const std::string_view frazione =
        punto == std::string_view::npos ? std::string_view() : testo.substr(punto + 1);
    if (!solo_cifre(intera) || (punto != std::string_view::npos && !solo_cifre(frazione)))
        return p;
    intera.remove_prefix(std::min(intera.find_first_not_of('0'), intera.size()));
    if (intera.size() > CIFRE_INTERE_MASSIME)
        return p;
    p.leggibile = true;

    std::uint64_t decimi = 0;
    for (const char c : intera)
        decimi = decimi * 10 + static_cast<std::uint64_t>(c - '0');
    for (std::size_t i = 0; i < 4; ++i)
        decimi =
            decimi * 10 + (i < frazione.size() ? static_cast<std::uint64_t>(frazione[i] - '0') : 0);
    // Digits past the tenth of a kHz put the value between two channels.
    const bool oltre =
        frazione.size() > 4 && frazione.substr(4).find_first_not_of('0') != std::string_view::npos;
    const std::uint64_t resto = decimi % CANALE_DECIMI;
    p.canale = resto == 0 && !oltre;
    if (!p.canale) {
        p.sotto = testo_decimi(decimi - resto);
        p.sopra = testo_decimi(decimi - resto + CANALE_DECIMI);
    }
    return p;
}

Conversione converti_frequenza(std::string_view testo, std::optional<Banda> banda)
{
    Conversione c;
    c.rx = valore_testo(testo);
    const Offset o = applica_offset(c.rx);
    c.s = o.s;
    c.fuori_range = o.fuori_range;
    c.fuori_banda = !in_banda(c.s, banda) || !rx_in_banda(c.rx, banda);
    if (c.fuori_banda)
        return c;
    c.celle = calcola_fq_byte(c.s);
    c.codificabile = codifica_cella(c.celle.FQ_Byte1) && codifica_cella(c.celle.FQ_Byte2) &&
                     codifica_cella(c.celle.FQ_Byte3);
    return c;
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
