// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "casuale.h"
#include "memoria.h"

#include <cstdint>
#include <optional>
#include <string>

// Deliberately wrong answers, so that the PC side's error paths can be seen.
struct GuastiRisposta
{
    std::optional<int> senza_conferma_da; // no "K" for writes to this cell and above
    std::optional<int> conferma_errata;   // "X" instead of "K"
    std::optional<int> conferma_doppia;   // "KK"
    std::optional<int> cella_corrotta;    // reads of this cell come back altered
    std::optional<int> senza_risposta;    // reads of this cell are not answered
    std::optional<int> scrittura_persa;   // acknowledged, never stored
    std::optional<int> rilettura_diversa; // reads come back altered once the cell is written
    // What a noisy line does, drawn from seme so that a run can be replayed.
    double letture_casuali = 0;            // probability that a read reply is a random byte
    double byte_in_piu = 0;                // probability of 1-3 random bytes after a reply
    std::optional<long long> raffica_dopo; // received bytes of a dialogue before a burst
    std::uint64_t seme = 1;
};

// The receiver's side of the dialogue, one received byte at a time. The
// bytes that follow "R" and "W" are operands whatever their value, so the
// parser must keep its state between calls.
class Protocollo
{
public:
    enum class Evento { Nessuno, InizioDialogo, FineDialogo, Lettura, Scrittura };

    Protocollo(Memoria &memoria, const GuastiRisposta &guasti);

    // Appends to risposta what the receiver answers to this byte.
    Evento ricevi(std::uint8_t byte, std::string &risposta);
    // The index that came with the last read or write, possibly beyond the cells.
    int cella() const { return m_indice; }

    bool in_dialogo() const { return m_stato != Stato::Annuncio; }
    // Another unit on the line: faults that depend on its past start over.
    void nuova_unita() { m_rilettura_alterata = false; }

    static constexpr std::uint8_t MASCHERA_CORRUZIONE = 0x5A;

private:
    enum class Stato { Annuncio, Comando, IndiceLettura, IndiceScrittura, ValoreScrittura };

    Evento interpreta(std::uint8_t byte, std::string &risposta);
    void leggi(std::string &risposta);
    void scrivi(std::uint8_t valore, std::string &risposta);
    void aggiungi_in_piu(std::string &risposta);
    static void aggiungi_casuali(Casuale &casuale, int minimo, int massimo, std::string &risposta);

    Memoria &m_memoria;
    GuastiRisposta m_guasti;
    Stato m_stato = Stato::Annuncio;
    int m_indice = 0;
    long long m_ricevuti_dialogo = 0;
    bool m_rilettura_alterata = false;
    // One stream per fault: turning one on does not change what another does.
    Casuale m_casuale_letture;
    Casuale m_casuale_in_piu;
    Casuale m_casuale_raffica;
};
