// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "blocco.h"
#include "frequenza.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a unit's block means to its user: the values the window shows.

// An option group: its cell holds 0 or 1, each with a name.
struct GruppoOpzioni
{
    const char *nome;
    int cella;
    const char *zero;
    const char *uno;
};

inline constexpr GruppoOpzioni GRUPPI_OPZIONI[] = {
    {"toni", CELLA_TONI, "bassi", "alti"},
    {"uscite", CELLA_USCITE, "mem", "imp"},
    {"trasmettitori", CELLA_TRASMETTITORI, "strip", "bidi"},
};
constexpr int NUM_GRUPPI = 3;

// 0 or 1 for one of the group's names, nullopt for any other text.
std::optional<int> valore_opzione(const GruppoOpzioni &gruppo, std::string_view nome);

struct ValoriUnita
{
    int codice = 0;
    // RX frequency in MHz as the window writes it; none when the synthesiser
    // words lie in neither window.
    std::optional<std::string> frequenza;
    int rele = 0;
    int impulsi = 0;
    std::array<int, NUM_GRUPPI> opzioni{}; // the cells of GRUPPI_OPZIONI, as read
    std::optional<Banda> banda;
};

// Decodes cells 0-62 as read; cell 63 is never read and plays no part.
ValoriUnita decodifica_blocco(const Blocco &celle);

std::optional<Banda> banda_da_lettera(std::uint8_t lettera);
const char *nome_banda(Banda banda); // "UHF" or "VHF"
std::optional<Banda> banda_da_nome(std::string_view nome);

// The values a user sets, each one given or not: what a programming changes
// and what a verification compares. Cells 0 and 4-6 belong to each unit and
// are none of them.
struct ValoriRichiesti
{
    std::optional<int> codice;
    std::optional<Frequenza> frequenza;
    std::optional<int> rele;
    std::optional<int> impulsi;
    std::array<std::optional<int>, NUM_GRUPPI> opzioni;

    bool vuote() const;
    // Those given in sopra replace these.
    void sovrapponi(const ValoriRichiesti &sopra);
};

struct Differenza
{
    std::string campo; // the unit-file field
    std::string attesa;
    std::string trovata;
};

// The given values, and the band when known, against a unit's cells 0-62.
// The frequency counts as equal when it would program the same synthesiser
// cells on that unit.
std::vector<Differenza> differenze(const ValoriRichiesti &attese, std::optional<Banda> banda,
                                   const Blocco &celle);

// The name of an option value, or its number when it is neither 0 nor 1.
std::string testo_opzione(const GruppoOpzioni &gruppo, int valore);
