#pragma once

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
};

// The receiver's side of the dialogue, one received byte at a time. The
// bytes that follow "R" and "W" are operands whatever their value, so the
// parser must keep its state between calls.
class Protocollo
{
public:
    enum class Evento { Nessuno, InizioDialogo, FineDialogo };

    Protocollo(Memoria &memoria, const GuastiRisposta &guasti);

    // Appends to risposta what the receiver answers to this byte.
    Evento ricevi(std::uint8_t byte, std::string &risposta);

    bool in_dialogo() const { return m_stato != Stato::Annuncio; }

    static constexpr std::uint8_t MASCHERA_CORRUZIONE = 0x5A;

private:
    enum class Stato { Annuncio, Comando, IndiceLettura, IndiceScrittura, ValoreScrittura };

    void scrivi(int indice, std::uint8_t valore, std::string &risposta);

    Memoria &m_memoria;
    GuastiRisposta m_guasti;
    Stato m_stato = Stato::Annuncio;
    int m_indice = 0;
};
