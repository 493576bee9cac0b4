// SPDX-License-Identifier: GPL-3.0-or-later
#include "valori_unita.h"

#include "sintetizzatore.h"
#include "testo_numero.h"

std::optional<int> valore_opzione(const GruppoOpzioni &gruppo, std::string_view nome)
{
    if (nome == gruppo.zero)
        return 0;
    if (nome == gruppo.uno)
        return 1;
    return std::nullopt;
}

ValoriUnita decodifica_blocco(const Blocco &celle)
{
    ValoriUnita v;
    v.codice = static_cast<int>(unisci_codice(celle[CELLA_COD_H], celle[CELLA_COD_L]));
    if (const auto rx = frequenza_da_celle(fq_byte(celle)))
        v.frequenza = testo_numero(*rx);
    v.rele = celle[CELLA_RELE];
    v.impulsi = celle[CELLA_IMPULSI];
    for (int g = 0; g < NUM_GRUPPI; ++g)
        v.opzioni[g] = celle[GRUPPI_OPZIONI[g].cella];
    v.banda = banda_da_lettera(celle[CELLA_BANDA]);
    return v;
}

std::optional<Banda> banda_da_lettera(std::uint8_t l)
{
    if (l == lettera::UHF)
        return Banda::UHF;
    if (l == lettera::VHF)
        return Banda::VHF;
    return std::nullopt;
}

const char *nome_banda(Banda banda)
{
    return banda == Banda::UHF ? "UHF" : "VHF";
}

std::optional<Banda> banda_da_nome(std::string_view nome)
{
    if (nome == "UHF")
        return Banda::UHF;
    if (nome == "VHF")
        return Banda::VHF;
    return std::nullopt;
}

bool ValoriRichiesti::vuote() const
{
    for (const auto &o : opzioni) {
        if (o)
            return false;
    }
    return !codice && !frequenza && !rele && !impulsi;
}

void ValoriRichiesti::sovrapponi(const ValoriRichiesti &sopra)
{
    if (sopra.codice)
        codice = sopra.codice;
    if (sopra.frequenza)
        frequenza = sopra.frequenza;
    if (sopra.rele)
        rele = sopra.rele;
    if (sopra.impulsi)
        impulsi = sopra.impulsi;
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        if (sopra.opzioni[g])
            opzioni[g] = sopra.opzioni[g];
    }
}

std::string testo_opzione(const GruppoOpzioni &gruppo, int valore)
{
    if (valore == 0)
        return gruppo.zero;
    if (valore == 1)
        return gruppo.uno;
    return std::to_string(valore);
}

namespace {
void confronta(std::vector<Differenza> &d, const char *campo, const std::optional<int> &atteso,
               int trovato)
{
    if (atteso && *atteso != trovato)
        d.push_back({campo, std::to_string(*atteso), std::to_string(trovato)});
}

bool stessa_frequenza(const Frequenza &attesa, const Blocco &celle)
{
    const Conversione c = attesa.conversione(banda_da_lettera(celle[CELLA_BANDA]));
    return !c.fuori_range && !c.fuori_banda && c.codificabile &&
           c.celle.FQ_Byte1 == celle[CELLA_FQ1] && c.celle.FQ_Byte2 == celle[CELLA_FQ2] &&
           c.celle.FQ_Byte3 == celle[CELLA_FQ3];
}
} // namespace

std::vector<Differenza> differenze(const ValoriRichiesti &attese, std::optional<Banda> banda,
                                   const Blocco &celle)
{
    const ValoriUnita unita = decodifica_blocco(celle);
    std::vector<Differenza> d;
    confronta(d, "codice", attese.codice, unita.codice);
    if (attese.frequenza && !stessa_frequenza(*attese.frequenza, celle))
        d.push_back({"frequenza", attese.frequenza->testo(), unita.frequenza.value_or("none")});
    confronta(d, "rele", attese.rele, unita.rele);
    confronta(d, "impulsi", attese.impulsi, unita.impulsi);
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        const GruppoOpzioni &gruppo = GRUPPI_OPZIONI[g];
        if (attese.opzioni[g] && *attese.opzioni[g] != unita.opzioni[g])
            d.push_back({gruppo.nome, testo_opzione(gruppo, *attese.opzioni[g]),
                         testo_opzione(gruppo, unita.opzioni[g])});
    }
    if (banda && banda != unita.banda)
        d.push_back({"banda", nome_banda(*banda), unita.banda ? nome_banda(*unita.banda) : "none"});
    return d;
}
