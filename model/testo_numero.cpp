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

std::string testo_numero(double valore)
{
    char buf[64];
    const auto [fine, errore] =
        std::to_chars(buf, buf + sizeof buf, valore, std::chars_format::general, 15);
    if (errore != std::errc())
        return {};
    std::string testo(buf, fine);
    if (testo == "-0")
        testo = "0";
    return testo;
}
