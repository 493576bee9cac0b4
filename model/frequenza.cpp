// SPDX-License-Identifier: GPL-3.0-or-later
#include "frequenza.h"

#include "testo_numero.h"

#include <algorithm>

namespace {
// Tenths of a kHz: a channel is 125 of them.
constexpr std::uint64_t DECIMI_PER_MHZ = 10000;
constexpr std::uint64_t CANALE_DECIMI = 125;
constexpr std::size_t CIFRE_FRAZIONE = 4;
constexpr std::size_t CIFRE_INTERE_MASSIME = 12;

std::string testo_decimi(std::uint64_t decimi)
{
    std::string frazione = std::to_string(decimi % DECIMI_PER_MHZ);
    frazione.insert(0, CIFRE_FRAZIONE - frazione.size(), '0');
    frazione.erase(frazione.find_last_not_of('0') + 1);
    const std::string intera = std::to_string(decimi / DECIMI_PER_MHZ);
    return frazione.empty() ? intera : intera + '.' + frazione;
}

bool solo_cifre(std::string_view t)
{
    return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
}
} // namespace

Frequenza::Frequenza(std::string_view testo) : m_testo(testo), m_rx(valore_testo(testo))
{
    const std::size_t punto = testo.find('.');
    std::string_view intera = testo.substr(0, punto);
    const std::string_view frazione =
        punto == std::string_view::npos ? std::string_view() : testo.substr(punto + 1);
    if (!solo_cifre(intera) || (punto != std::string_view::npos && !solo_cifre(frazione)))
        return;
    intera.remove_prefix(std::min(intera.find_first_not_of('0'), intera.size()));
    if (intera.size() > CIFRE_INTERE_MASSIME)
        return;

    std::uint64_t decimi = 0;
    for (const char c : intera)
        decimi = decimi * 10 + static_cast<std::uint64_t>(c - '0');
    for (std::size_t i = 0; i < CIFRE_FRAZIONE; ++i)
        decimi =
            decimi * 10 + (i < frazione.size() ? static_cast<std::uint64_t>(frazione[i] - '0') : 0);
    m_decimi = decimi;
    m_oltre = frazione.size() > CIFRE_FRAZIONE &&
              frazione.substr(CIFRE_FRAZIONE).find_first_not_of('0') != std::string_view::npos;
}

std::optional<Banda> Frequenza::banda() const
{
    for (const Banda b : {Banda::VHF, Banda::UHF}) {
        if (!conversione(b).fuori_banda)
            return b;
    }
    return std::nullopt;
}

PostoInGriglia Frequenza::griglia() const
{
    PostoInGriglia p;
    if (!m_decimi)
        return p;
    p.leggibile = true;
    const std::uint64_t resto = *m_decimi % CANALE_DECIMI;
    // Digits past the tenth of a kHz put the value between two channels.
    p.canale = resto == 0 && !m_oltre;
    if (!p.canale) {
        p.sotto = testo_decimi(*m_decimi - resto);
        p.sopra = testo_decimi(*m_decimi - resto + CANALE_DECIMI);
    }
    return p;
}

Conversione Frequenza::conversione(std::optional<Banda> banda) const
{
    Conversione c;
    c.rx = m_rx;
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
