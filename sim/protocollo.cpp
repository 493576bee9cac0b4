#include "protocollo.h"

Protocollo::Protocollo(Memoria &memoria, const GuastiRisposta &guasti)
    : m_memoria(memoria), m_guasti(guasti)
{
}

Protocollo::Evento Protocollo::ricevi(std::uint8_t byte, std::string &risposta)
{
    switch (m_stato) {
    case Stato::Annuncio:
        if (byte == lettera::INIZIO) {
            m_stato = Stato::Comando;
            return Evento::InizioDialogo;
        }
        return Evento::Nessuno;
    case Stato::Comando:
        if (byte == lettera::LEGGI) {
            m_stato = Stato::IndiceLettura;
        } else if (byte == lettera::SCRIVI) {
            m_stato = Stato::IndiceScrittura;
        } else if (byte == lettera::FINE) {
            m_stato = Stato::Annuncio;
            return Evento::FineDialogo;
        }
        return Evento::Nessuno;
    case Stato::IndiceLettura:
        m_stato = Stato::Comando;
        if (byte < NUM_CELLE) {
            std::uint8_t valore = m_memoria.cella(byte);
            if (m_guasti.cella_corrotta == byte)
                valore ^= MASCHERA_CORRUZIONE;
            risposta.push_back(static_cast<char>(valore));
        }
        return Evento::Nessuno;
    case Stato::IndiceScrittura:
        m_indice = byte;
        m_stato = Stato::ValoreScrittura;
        return Evento::Nessuno;
    case Stato::ValoreScrittura:
        m_stato = Stato::Comando;
        scrivi(m_indice, byte, risposta);
        return Evento::Nessuno;
    }
    return Evento::Nessuno;
}

void Protocollo::scrivi(int indice, std::uint8_t valore, std::string &risposta)
{
    if (indice >= NUM_CELLE)
        return;
    m_memoria.scrivi(indice, valore);
    if (m_guasti.senza_conferma_da && indice >= *m_guasti.senza_conferma_da)
        return;
    if (m_guasti.conferma_errata == indice)
        risposta += 'X';
    else if (m_guasti.conferma_doppia == indice)
        risposta += std::string(2, lettera::PRONTO);
    else
        risposta += lettera::PRONTO;
}
