// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocollo.h"

Protocollo::Protocollo(Memoria &memoria, const GuastiRisposta &guasti)
    : m_memoria(memoria), m_guasti(guasti), m_casuale_letture(guasti.seme),
      m_casuale_in_piu(guasti.seme ^ 0x1D8E4E27C47D124FULL),
      m_casuale_raffica(guasti.seme ^ 0x6A09E667F3BCC909ULL)
{
}

Protocollo::Evento Protocollo::ricevi(std::uint8_t byte, std::string &risposta)
{
    const bool contato = in_dialogo();
    const Evento evento = interpreta(byte, risposta);
    if (evento == Evento::InizioDialogo)
        m_ricevuti_dialogo = 0;
    if (contato || evento == Evento::InizioDialogo) {
        ++m_ricevuti_dialogo;
        if (m_guasti.raffica_dopo == m_ricevuti_dialogo)
            aggiungi_casuali(m_casuale_raffica, 1, 8, risposta);
    }
    return evento;
}

Protocollo::Evento Protocollo::interpreta(std::uint8_t byte, std::string &risposta)
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
        m_indice = byte;
        leggi(risposta);
        return Evento::Lettura;
    case Stato::IndiceScrittura:
        m_indice = byte;
        m_stato = Stato::ValoreScrittura;
        return Evento::Nessuno;
    case Stato::ValoreScrittura:
        m_stato = Stato::Comando;
        scrivi(byte, risposta);
        return Evento::Scrittura;
    }
    return Evento::Nessuno;
}

void Protocollo::leggi(std::string &risposta)
{
    if (m_indice >= NUM_CELLE || m_guasti.senza_risposta == m_indice)
        return;
    std::uint8_t valore = m_memoria.cella(m_indice);
    if (m_guasti.cella_corrotta == m_indice ||
        (m_rilettura_alterata && m_guasti.rilettura_diversa == m_indice))
        valore ^= MASCHERA_CORRUZIONE;
    if (m_casuale_letture.con_probabilita(m_guasti.letture_casuali))
        valore = m_casuale_letture.byte();
    risposta.push_back(static_cast<char>(valore));
    aggiungi_in_piu(risposta);
}

void Protocollo::scrivi(std::uint8_t valore, std::string &risposta)
{
    if (m_indice >= NUM_CELLE)
        return;
    if (m_guasti.scrittura_persa != m_indice) {
        m_memoria.scrivi(m_indice, valore);
        if (m_guasti.rilettura_diversa == m_indice)
            m_rilettura_alterata = true;
    }
    if (m_guasti.senza_conferma_da && m_indice >= *m_guasti.senza_conferma_da)
        return;
    if (m_guasti.conferma_errata == m_indice)
        risposta += 'X';
    else if (m_guasti.conferma_doppia == m_indice)
        risposta += std::string(2, lettera::PRONTO);
    else
        risposta += lettera::PRONTO;
    aggiungi_in_piu(risposta);
}

void Protocollo::aggiungi_in_piu(std::string &risposta)
{
    if (m_casuale_in_piu.con_probabilita(m_guasti.byte_in_piu))
        aggiungi_casuali(m_casuale_in_piu, 1, 3, risposta);
}

void Protocollo::aggiungi_casuali(Casuale &casuale, int minimo, int massimo, std::string &risposta)
{
    for (int n = casuale.tra(minimo, massimo); n > 0; --n)
        risposta.push_back(static_cast<char>(casuale.byte()));
}
