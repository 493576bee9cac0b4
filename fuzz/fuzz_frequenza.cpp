// SPDX-License-Identifier: GPL-3.0-or-later
#include "parametri.h"
#include "proprieta.h"
#include "sintetizzatore.h"
#include "testo_numero.h"

#include <cmath>
#include <cstdint>
#include <string_view>

// The frequency both ways. The first byte picks the unit's band letter (none,
// UHF, VHF or another), the rest is the text typed; the first three bytes are
// also taken as synthesiser cells read from a unit.
namespace {
constexpr double PASSO = 0.0125;
// The split onto the grid absorbs a millionth of a step of rounding.
constexpr double TOLLERANZA = PASSO * 1e-6 + 1e-9;

Variante lettera_da(std::uint8_t scelta)
{
    switch (scelta % 4) {
    case 0:
        return Variante();
    case 1:
        return LETTERA_UHF;
    case 2:
        return LETTERA_VHF;
    default:
        return scelta;
    }
}

bool lettera_nota(const Variante &lettera)
{
    return lettera.uguale(LETTERA_UHF) || lettera.uguale(LETTERA_VHF);
}

std::uint8_t cella(double valore)
{
    const auto byte = codifica_cella(valore);
    esigi(byte.has_value() && *byte == valore, "an encodable cell is a whole number 0-255");
    return *byte;
}

bool stesse_celle(const FqByte &a, const FqByte &b)
{
    return a.FQ_Byte1 == b.FQ_Byte1 && a.FQ_Byte2 == b.FQ_Byte2 && a.FQ_Byte3 == b.FQ_Byte3;
}

// What a read of these cells shows, typed again, programs the same cells.
void rilettura(const FqByte &celle, const Variante &lettera)
{
    Variante fq3 = celle.FQ_Byte3;
    const auto rx = frequenza_da_fq_byte(celle.FQ_Byte1, celle.FQ_Byte2, fq3);
    if (!rx)
        return;
    const Conversione di_nuovo = converti_frequenza(testo_numero(*rx), lettera);
    if (di_nuovo.fuori_range || di_nuovo.fuori_banda)
        return;
    esigi(di_nuovo.codificabile && stesse_celle(di_nuovo.celle, celle),
          "a read frequency programs the cells it was read from");
}

void andata_e_ritorno(const Conversione &c, const Variante &lettera)
{
    const FqByte sul_filo{double(cella(c.celle.FQ_Byte1)), double(cella(c.celle.FQ_Byte2)),
                          double(cella(c.celle.FQ_Byte3))};
    esigi(int(sul_filo.FQ_Byte3) % 2 == 0 && sul_filo.FQ_Byte3 < 128, "FQ_Byte3 is 2*A, A < 64");
    if (!lettera_nota(lettera))
        return;
    Variante fq3 = sul_filo.FQ_Byte3;
    const auto rx = frequenza_da_fq_byte(sul_filo.FQ_Byte1, sul_filo.FQ_Byte2, fq3);
    esigi(rx.has_value(), "a frequency programmed in band reads back");
    const double passi = *rx / PASSO;
    esigi(std::fabs(passi - std::round(passi)) < 1e-6, "it reads back on the 12.5 kHz grid");
    // 2.5 kHz or more above a grid point goes up to the next one.
    const double scarto = *rx - c.FEe;
    esigi(scarto > -0.0025 - TOLLERANZA && scarto <= 0.010 + TOLLERANZA,
          "it reads back within the grid step");
    rilettura(sul_filo, lettera);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    if (dimensione == 0)
        return 0;
    const Variante lettera = lettera_da(dati[0]);
    const std::string_view testo(reinterpret_cast<const char *>(dati + 1), dimensione - 1);

    const Conversione c = converti_frequenza(testo, lettera);
    esigi(!(lettera_nota(lettera) && !c.fuori_banda && c.fuori_range),
          "with a known band letter, a value out of range is out of band");
    if (!c.fuori_banda && c.codificabile)
        andata_e_ritorno(c, lettera);

    if (dimensione >= 3) {
        const FqByte letti{double(dati[0]), double(dati[1]), double(dati[2])};
        Variante fq3 = letti.FQ_Byte3;
        const auto rx = frequenza_da_fq_byte(letti.FQ_Byte1, letti.FQ_Byte2, fq3);
        esigi(fq3.valore() == letti.FQ_Byte3 / 2, "FQ_Byte3 is halved in place");
        esigi(!rx || (*rx >= VHF_MIN - 21.4 && *rx <= UHF_MAX + 45),
              "a read frequency is finite and near a window");
        // Cells as the programming writes them: A = FQ_Byte3 / 2 below 64.
        if (letti.FQ_Byte3 < 128 && int(letti.FQ_Byte3) % 2 == 0)
            rilettura(letti, lettera);
    }
    return 0;
}
