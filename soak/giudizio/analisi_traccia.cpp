// SPDX-License-Identifier: GPL-3.0-or-later
// A simulator's trace replayed: its units, their dialogues and the cells they left.
#include "analisi_traccia.h"

AnalisiTraccia::AnalisiTraccia(const QList<ByteTraccia> &traccia, const Opzioni &opzioni)
    : m_opzioni(opzioni), m_celle(opzioni.blocco)
{
    for (const ByteTraccia &b : traccia) {
        if (b.entrata)
            ingresso(b);
        else
            uscente(b.byte);
    }
    if (m_aperto)
        m_dialoghi.back().dopo = m_celle;
}

long long AnalisiTraccia::scritture() const
{
    long long n = 0;
    for (const Dialogo &d : m_dialoghi)
        n += d.scritture();
    return n;
}

void AnalisiTraccia::uscente(std::uint8_t byte)
{
    if (!m_aperto)
        return;
    Dialogo &d = m_dialoghi.back();
    d.uscite.append(static_cast<char>(byte));
    d.dopo_byte.back().append(static_cast<char>(byte));
    if (m_attiva >= 0)
        d.richieste[m_attiva].risposta.append(static_cast<char>(byte));
}

void AnalisiTraccia::ingresso(const ByteTraccia &b)
{
    m_attiva = -1;
    if (m_fine_cambio) {
        // The unit is away: the byte only crosses the trace.
        if (b.us < *m_fine_cambio) {
            m_ingressi.push_back({-1, '-'});
            return;
        }
        m_fine_cambio.reset();
        m_celle = m_opzioni.successivo;
        ++m_unita;
        m_stato = Stato::Annuncio;
    }
    const bool in_dialogo = m_aperto;
    const char ruolo = interpreta(b);
    if (!in_dialogo && !m_aperto) {
        m_ingressi.push_back({-1, ruolo});
        return;
    }
    Dialogo &d = m_dialoghi.back();
    d.ruoli.append(ruolo);
    d.dopo_byte.emplace_back();
    m_ingressi.push_back({static_cast<int>(m_dialoghi.size()) - 1, ruolo});
    if (ruolo == 'E')
        chiudi(b.us);
}

char AnalisiTraccia::interpreta(const ByteTraccia &b)
{
    switch (m_stato) {
    case Stato::Annuncio:
        if (b.byte != lettera::INIZIO)
            return 'a';
        m_stato = Stato::Lettera;
        m_dialoghi.push_back({});
        m_dialoghi.back().prima = m_celle;
        m_aperto = true;
        return 'U';
    case Stato::Lettera:
        if (b.byte == lettera::LEGGI)
            m_stato = Stato::IndiceLettura;
        else if (b.byte == lettera::SCRIVI)
            m_stato = Stato::IndiceScrittura;
        else if (b.byte == lettera::FINE)
            return 'E';
        else
            return '?';
        return static_cast<char>(b.byte);
    case Stato::IndiceLettura:
        m_stato = Stato::Lettera;
        leggi(b.byte);
        return 'r';
    case Stato::IndiceScrittura:
        m_cella_scritta = b.byte;
        m_stato = Stato::ValoreScrittura;
        return 'w';
    case Stato::ValoreScrittura:
        m_stato = Stato::Lettera;
        scrivi(b.byte);
        return 'v';
    }
    return '?';
}

void AnalisiTraccia::leggi(int cella)
{
    Dialogo &d = m_dialoghi.back();
    d.richieste.push_back({'R', cella, -1, cella < NUM_CELLE ? m_celle[cella] : -1, {}});
    m_attiva = static_cast<int>(d.richieste.size()) - 1;
}

void AnalisiTraccia::scrivi(std::uint8_t valore)
{
    Dialogo &d = m_dialoghi.back();
    const int c = m_cella_scritta;
    d.richieste.push_back({'W', c, valore, c < NUM_CELLE ? m_celle[c] : -1, {}});
    m_attiva = static_cast<int>(d.richieste.size()) - 1;
    if (c < NUM_CELLE && m_opzioni.scrittura_persa != c)
        m_celle[c] = valore;
}

void AnalisiTraccia::chiudi(std::int64_t us)
{
    Dialogo &d = m_dialoghi.back();
    d.chiuso = true;
    d.dopo = m_celle;
    m_aperto = false;
    m_stato = Stato::Annuncio;
    if (m_opzioni.cambio_ms)
        m_fine_cambio = us + *m_opzioni.cambio_ms * 1000LL;
}
