// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_unita.h"
#include "proprieta.h"
#include "ricevitore.h"
#include "sintetizzatore.h"

#include <cstdint>
#include <optional>
#include <string>

// The unit file. Any input is read as a file: one accepted holds only values
// in range. Its first 63 bytes are also taken as the cells of a read, with the
// value cells brought into range and the checksum made right: the file
// written for them reads back to the same values, or, when an odd swallow
// cell puts the frequency between two channels, is refused as out of range.
namespace {
bool tra(const std::optional<int> &v, int minimo, int massimo)
{
    return v && *v >= minimo && *v <= massimo;
}

void accettato(const file_unita::Contenuto &c)
{
    const ValoriRichiesti &i = c.richiesti;
    esigi(tra(i.codice, 1, 4096), "codice 1-4096");
    esigi(tra(i.rele, 1, 255) && tra(i.impulsi, 1, 255), "times 1-255");
    for (const auto &o : i.opzioni)
        esigi(tra(o, 0, 1), "options 0 or 1");
    esigi(i.frequenza.has_value(), "a frequency");
    esigi(i.frequenza->testo().find_first_not_of("0123456789.") == std::string::npos,
          "the frequency is a plain decimal number");
    esigi(!applica_offset(i.frequenza->rx()).fuori_range, "the frequency lies in a window");
    esigi(i.frequenza->griglia().canale, "the frequency is a channel");
    esigi(c.banda == Banda::UHF || c.banda == Banda::VHF, "a band");
}

// The value cells, brought into range the way a unit could hold them.
QByteArray celle_in_range(const std::uint8_t *dati)
{
    QByteArray celle(reinterpret_cast<const char *>(dati), CELLA_BANDA + 1);
    auto metti = [&celle](int i, int valore) { celle[i] = static_cast<char>(valore); };
    metti(CELLA_FQ1, dati[CELLA_FQ1] % 3);
    metti(CELLA_COD_H, dati[CELLA_COD_H] % 17);
    metti(CELLA_RELE, dati[CELLA_RELE] == 0 ? 1 : dati[CELLA_RELE]);
    metti(CELLA_IMPULSI, dati[CELLA_IMPULSI] == 0 ? 1 : dati[CELLA_IMPULSI]);
    for (const GruppoOpzioni &g : GRUPPI_OPZIONI)
        metti(g.cella, dati[g.cella] & 1);
    metti(CELLA_BANDA, dati[CELLA_BANDA] & 1 ? lettera::UHF : lettera::VHF);
    metti(CELLA_CKS, checksum_celle(blocco_letto(celle)));
    return celle;
}

void scritto_e_riletto(const QByteArray &celle)
{
    const ValoriUnita v = decodifica_blocco(blocco_letto(celle));
    if (v.codice < 1 || v.codice > 4096 || !v.frequenza)
        return;
    const Frequenza frequenza(*v.frequenza);
    if (applica_offset(frequenza.rx()).fuori_range)
        return;
    const auto letto = file_unita::interpreta(file_unita::testo(celle));
    if (!frequenza.griglia().canale) {
        const auto *e = std::get_if<ErroreValore>(&letto);
        esigi(e != nullptr && e->esito == 7, "a file off the channel grid is refused with 7");
        return;
    }
    const auto *c = std::get_if<file_unita::Contenuto>(&letto);
    esigi(c != nullptr, "the file written for cells in range is accepted");
    const ValoriRichiesti &i = c->richiesti;
    esigi(i.codice == v.codice && i.frequenza == frequenza && i.rele == v.rele &&
              i.impulsi == v.impulsi,
          "it reads back to the values of the cells");
    for (int g = 0; g < NUM_GRUPPI; ++g)
        esigi(i.opzioni[g] == v.opzioni[g], "it reads back to the options of the cells");
    esigi(c->banda == v.banda, "it reads back to the band of the cells");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    const auto letto = file_unita::interpreta(
        QByteArray(reinterpret_cast<const char *>(dati), static_cast<qsizetype>(dimensione)));
    if (const auto *c = std::get_if<file_unita::Contenuto>(&letto))
        accettato(*c);
    else
        esigi(std::get<ErroreValore>(letto).esito == 2 || std::get<ErroreValore>(letto).esito == 7,
              "a refusal is 2 or 7");
    if (dimensione >= CELLA_BANDA + 1)
        scritto_e_riletto(celle_in_range(dati));
    return 0;
}
