#include "console.h"

#include "collegamento.h"
#include "controllo_campo.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

Console::Console() : m_terminale(::isatty(STDERR_FILENO) == 1) {}

void Console::imposta_testo(Campo campo, const QString &testo)
{
    m_testi.insert(campo, testo);
    for (int i = controlla_campo(campo, testo).beep; i > 0; --i)
        beep();
}

void Console::seleziona(Opzione opzione)
{
    if (m_collegamento)
        m_collegamento->opzione_cliccata(opzione);
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
    if (!m_terminale || !m_progresso_visibile || (valore == 0 && m_riga_aperta))
        return;
    std::fprintf(stderr, "\r  cella %d/%d", valore, m_massimo);
    std::fflush(stderr);
    m_riga_aperta = true;
}

QString Console::testo_porta() const
{
    return m_collegamento ? QStringLiteral("Com %1").arg(m_collegamento->porta().numero())
                          : QString();
}

void Console::avviso(const QString &messaggio)
{
    chiudi_riga_progresso();
    std::fprintf(stderr, "%s\n", messaggio.toLocal8Bit().constData());
    std::fflush(stderr);
}

void Console::beep()
{
    if (!m_terminale)
        return;
    std::fputs("\a", stderr);
    std::fflush(stderr);
}

void Console::termina()
{
    QCoreApplication::quit();
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
