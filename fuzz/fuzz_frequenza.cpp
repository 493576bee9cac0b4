// SPDX-License-Identifier: GPL-3.0-or-later
#include "blocco.h"
#include "frequenza.h"
#include "proprieta.h"
#include "sintetizzatore.h"
#include "testo_numero.h"
#include "valori_unita.h"

#include <cmath>
#include <cstdint>
#include <string_view>

// The frequency both ways. The first byte picks the unit's band (none, UHF,
// VHF, or that of another letter), the rest is the text typed; the first three bytes are
// also taken as synthesiser cells read from a unit.
namespace {
constexpr double PASSO = 0.0125;
// The split onto the grid absorbs a millionth of a step of rounding.
constexpr double TOLLERANZA = PASSO * 1e-6 + 1e-9;

std::optional<Banda> banda_da(std::uint8_t scelta)
{
    switch (scelta % 4) {
    case 0:
        return std::nullopt;
    case 1:
        return Banda::UHF;
    case 2:
        return Banda::VHF;
    default:
        return banda_da_lettera(scelta);
    }
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
void rilettura(const FqByte &celle, std::optional<Banda> banda)
{
    const auto rx = frequenza_da_celle(celle);
    if (!rx)
        return;
    const Conversione di_nuovo = Frequenza(testo_numero(*rx)).conversione(banda);
    if (di_nuovo.fuori_range || di_nuovo.fuori_banda)
        return;
    esigi(di_nuovo.codificabile && stesse_celle(di_nuovo.celle, celle),
          "a read frequency programs the cells it was read from");
}

void andata_e_ritorno(const Conversione &c, std::optional<Banda> banda)
{
    const FqByte sul_filo{double(cella(c.celle.FQ_Byte1)), double(cella(c.celle.FQ_Byte2)),
                          double(cella(c.celle.FQ_Byte3))};
    esigi(int(sul_filo.FQ_Byte3) % 2 == 0 && sul_filo.FQ_Byte3 < 128, "FQ_Byte3 is 2*A, A < 64");
    if (!banda)
        return;
    const auto rx = frequenza_da_celle(sul_filo);
    esigi(rx.has_value(), "a frequency programmed in band reads back");
    const double passi = *rx / PASSO;
    esigi(std::fabs(passi - std::round(passi)) < 1e-6, "it reads back on the 12.5 kHz grid");
    // 2.5 kHz or more above a grid point goes up to the next one.
    const double scarto = *rx - c.rx;
    esigi(scarto > -0.0025 - TOLLERANZA && scarto <= 0.010 + TOLLERANZA,
          "it reads back within the grid step");
    rilettura(sul_filo, banda);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    if (dimensione == 0)
        return 0;
    const std::optional<Banda> banda = banda_da(dati[0]);
    const std::string_view testo(reinterpret_cast<const char *>(dati + 1), dimensione - 1);

    const Conversione c = Frequenza(testo).conversione(banda);
    esigi(!(banda && !c.fuori_banda && c.fuori_range),
          "with a known band, a value out of range is out of band");
    if (!c.fuori_banda && c.codificabile)
        andata_e_ritorno(c, banda);

    if (dimensione >= 3) {
        const FqByte letti{double(dati[0]), double(dati[1]), double(dati[2])};
        const auto rx = frequenza_da_celle(letti);
        esigi(!rx || (*rx >= VHF_MIN - 21.4 && *rx <= UHF_MAX + 45),
              "a read frequency is finite and near a window");
        // Cells as the programming writes them: A = FQ_Byte3 / 2 below 64.
        if (letti.FQ_Byte3 < 128 && int(letti.FQ_Byte3) % 2 == 0)
            rilettura(letti, banda);
    }
    return 0;
}
