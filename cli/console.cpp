// SPDX-License-Identifier: GPL-3.0-or-later
#include "console.h"

#include "collegamento.h"
#include "controllo_campo.h"

#include <cstdio>

Console::Console(bool interattiva) : m_interattiva(interattiva) {}

void Console::imposta_stato(const QString &testo)
{
    m_stato = testo;
    if (testo == Collegamento::CONNESSO && !m_connessa) {
        m_da_connessa.start();
        m_connessa = true;
    }
}

void Console::imposta_testo(Campo campo, const QString &testo)
{
    m_testi.insert(campo, testo);
    for (int i = controlla_campo(campo, testo).beep; i > 0; --i)
        beep();
}

void Console::mostra_progresso(bool visibile)
{
    m_progresso_visibile = visibile;
    if (!visibile)
        chiudi_riga_progresso();
}

void Console::valore_progresso(int valore)
{
    // The reset to 0 at the end of a transfer is no progress to show.
    if (!m_interattiva || !m_progresso_visibile || (valore == 0 && m_riga_aperta))
        return;
    std::fprintf(stderr, "\r  cella %d/%d", valore, m_massimo);
    std::fflush(stderr);
    m_riga_aperta = true;
}

void Console::avviso(const QString &messaggio)
{
    chiudi_riga_progresso();
    m_avvisi << messaggio;
}

void Console::beep()
{
    if (!m_interattiva)
        return;
    std::fputs("\a", stderr);
    std::fflush(stderr);
}

void Console::azzera()
{
    m_avvisi.clear();
    m_connessa = false;
}

void Console::chiudi_riga_progresso()
{
    if (!m_riga_aperta)
        return;
    // Blank the progress line so that what follows starts clean.
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_riga_aperta = false;
}
