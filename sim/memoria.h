// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "blocco.h"

#include <cstdint>
#include <optional>
#include <string>

// The receiver's 64 cells, optionally backed by a file that survives a
// restart the way the unit's EEPROM survives a power cycle.
class Memoria
{
public:
    explicit Memoria(const Blocco &iniziale);

    // Loads the cells from percorso if the file exists, otherwise writes the
    // current cells there; from then on every write is saved.
    bool collega_file(const std::string &percorso, std::string &errore);

    std::uint8_t cella(int i) const { return m_celle[i]; }
    const Blocco &celle() const { return m_celle; }

    // Stores and, with a file, saves. A failed save is reported on stderr and
    // counted, but the cell keeps its new value, as the unit would.
    void scrivi(int i, std::uint8_t valore);
    // All the cells at once, saved the same way.
    void sostituisci(const Blocco &celle);

    int salvataggi_falliti() const { return m_salvataggi_falliti; }
    // The last failed save: the file and the reason.
    const std::string &ultimo_errore() const { return m_ultimo_errore; }

    // A whole block from a file of exactly NUM_CELLE bytes.
    static std::optional<Blocco> carica(const std::string &percorso, std::string &errore);

private:
    bool salva(std::string &errore) const;
    void salva_o_segnala();

    Blocco m_celle;
    std::string m_file;
    int m_salvataggi_falliti = 0;
    std::string m_ultimo_errore;
};
