// SPDX-License-Identifier: GPL-3.0-or-later
#include "proprieta.h"
#include "testo_numero.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Number text: any text reads as its leading decimal number and nothing past
// it; any finite value written reads back within its 15 digits; the window's
// texts never depend on a comma-decimal locale.
namespace {
void locale_virgola()
{
    for (const char *nome : {"it_IT.UTF-8", "it_IT.utf8", "de_DE.UTF-8", "de_DE.utf8"}) {
        if (std::setlocale(LC_ALL, nome) && std::string(std::localeconv()->decimal_point) == ",")
            return;
    }
    std::fprintf(stderr, "no comma-decimal locale installed: the C locale is used\n");
}

bool numerico(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == ' ' || c == '\t';
}

void lettura(std::string_view testo)
{
    const double valore = valore_testo(testo);
    esigi(!std::isnan(valore), "valore_testo gives a number");
    std::size_t fine = 0;
    while (fine < testo.size() && numerico(testo[fine]))
        ++fine;
    // A comma, an exponent or any letter ends the number.
    esigi(valore_testo(testo.substr(0, fine)) == valore, "nothing past the number is read");
}

void scrittura(double valore)
{
    const std::string testo = testo_numero(valore);
    esigi(testo.find(',') == std::string::npos, "no comma");
    if (!std::isfinite(valore) || std::fabs(valore) > 1.79769313486231e308)
        return;
    esigi(testo.find_first_of("eE") == std::string::npos, "no exponent");
    const double letto = valore_testo(testo);
    const double scarto = std::fabs(letto - valore);
    esigi(scarto <= 5.2e-15 * std::fmax(std::fabs(valore), std::fabs(letto)),
          "read back within 15 digits");
    esigi(testo_numero(letto) == testo, "the text read back writes the same text");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    static const bool locale = (locale_virgola(), true);
    (void)locale;
    const std::string_view testo(reinterpret_cast<const char *>(dati), dimensione);
    lettura(testo);
    scrittura(valore_testo(testo));
    if (dimensione >= sizeof(double)) {
        double valore;
        std::memcpy(&valore, dati, sizeof valore);
        scrittura(valore);
    }
    return 0;
}
