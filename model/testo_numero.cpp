// SPDX-License-Identifier: GPL-3.0-or-later
#include "testo_numero.h"

#include <charconv>
#include <cmath>
#include <system_error>

double valore_testo(std::string_view testo)
{
    std::size_t i = 0;
    while (i < testo.size() && (testo[i] == ' ' || testo[i] == '\t'))
        ++i;
    bool negativo = false;
    if (i < testo.size() && (testo[i] == '+' || testo[i] == '-'))
        negativo = testo[i++] == '-';

    const std::size_t inizio = i;
    bool punto = false;
    bool cifre = false;
    for (; i < testo.size(); ++i) {
        const char c = testo[i];
        if (c >= '0' && c <= '9')
            cifre = true;
        else if (c == '.' && !punto)
            punto = true;
        else
            break;
    }
    if (!cifre)
        return 0;

    double valore = 0;
    const auto [fine, errore] =
        std::from_chars(testo.data() + inizio, testo.data() + i, valore, std::chars_format::fixed);
    if (errore == std::errc::result_out_of_range) {
        // Digits are all non-negative, so out of range is either huge or tiny.
        const std::string_view intera = testo.substr(inizio, i - inizio);
        const std::size_t non_zero = intera.find_first_not_of('0');
        valore = non_zero != std::string_view::npos && intera[non_zero] != '.' ? HUGE_VAL : 0.0;
    }
    return negativo ? -valore : valore;
}

namespace {
// Significant digits d1 d2 ... with the value d1.d2... * 10^esponente, in
// plain decimal form: an exponent would read back as its mantissa alone.
std::string in_chiaro(const std::string &cifre, int esponente)
{
    if (esponente < 0)
        return "0." + std::string(static_cast<std::size_t>(-esponente - 1), '0') + cifre;
    const auto interi = static_cast<std::size_t>(esponente) + 1;
    if (cifre.size() <= interi)
        return cifre + std::string(interi - cifre.size(), '0');
    return cifre.substr(0, interi) + '.' + cifre.substr(interi);
}
} // namespace

std::string testo_numero(double valore)
{
    // "d.dddddddddddddde+x": the 15 digits rounded once, whatever the magnitude.
    char buf[32];
    const auto [fine, errore] =
        std::to_chars(buf, buf + sizeof buf, valore, std::chars_format::scientific, 14);
    if (errore != std::errc())
        return {};
    if (!std::isfinite(valore))
        return std::string(buf, fine);

    const std::string_view testo(buf, static_cast<std::size_t>(fine - buf));
    const bool negativo = testo.front() == '-';
    const std::size_t inizio = negativo ? 1 : 0;
    const std::size_t e = testo.find('e');
    std::string cifre = testo[inizio] + std::string(testo.substr(inizio + 2, e - inizio - 2));
    cifre.erase(cifre.find_last_not_of('0') + 1);
    if (cifre.empty())
        return "0";
    int esponente = 0;
    const std::size_t dopo_segno = testo[e + 1] == '+' ? e + 2 : e + 1;
    std::from_chars(testo.data() + dopo_segno, testo.data() + testo.size(), esponente);
    return (negativo ? "-" : "") + in_chiaro(cifre, esponente);
}
