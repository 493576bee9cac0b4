// SPDX-License-Identifier: GPL-3.0-or-later
#include "processo_m5sim.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace {
void chiudi(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}
} // namespace

ProcessoM5sim::ProcessoM5sim(const QString &programma, const QStringList &argomenti,
                             const Opzioni &opzioni)
    : m_programma(programma), m_argomenti(argomenti), m_opzioni(opzioni)
{
}

ProcessoM5sim::~ProcessoM5sim()
{
    ferma();
    chiudi(m_ingresso);
    chiudi(m_errori);
}

// The child's ends in canali, ours kept; its stdout a pipe read up to the first line.
bool ProcessoM5sim::apri_canali(Processo::Canali &canali, int &lettura_uscita)
{
    int tubo[2];
    if (::pipe2(tubo, O_CLOEXEC) != 0)
        return false;
    lettura_uscita = tubo[0];
    canali.uscita = tubo[1];
    if (m_opzioni.ingresso) {
        if (::pipe2(tubo, O_CLOEXEC) != 0)
            return false;
        canali.ingresso = tubo[0];
        m_ingresso = tubo[1];
    }
    switch (m_opzioni.errori) {
    case Errori::Ereditati:
        canali.errori = STDERR_FILENO;
        break;
    case Errori::File:
        canali.errori = ::open(QFile::encodeName(m_opzioni.file_errori).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        return canali.errori >= 0;
    case Errori::Tubo:
        if (::pipe2(tubo, O_CLOEXEC) != 0)
            return false;
        canali.errori = tubo[1];
        m_errori = tubo[0];
        return ::fcntl(m_errori, F_SETFL, O_NONBLOCK) == 0;
    }
    return true;
}

bool ProcessoM5sim::avvia(QString &errore, int ms)
{
    Processo::Canali canali;
    int uscita = -1;
    const bool avviato =
        apri_canali(canali, uscita) && m_processo.avvia(m_programma, m_argomenti, canali);
    for (int fd : {canali.ingresso, canali.uscita, canali.errori}) {
        if (fd > STDERR_FILENO)
            chiudi(fd);
    }
    const QByteArray riga = avviato ? prima_riga(uscita, ms) : QByteArray();
    chiudi(uscita);
    m_percorso = QString::fromLocal8Bit(riga);
    if (m_percorso.isEmpty())
        errore = avviato ? QStringLiteral("printed no terminal within %1 ms").arg(ms)
                         : QStringLiteral("could not be started");
    return !m_percorso.isEmpty();
}

// Its terminal's path: the first line it prints; empty when none came within ms.
QByteArray ProcessoM5sim::prima_riga(int fd, int ms)
{
    const QDeadlineTimer scadenza(ms);
    QByteArray letto;
    while (!letto.contains('\n')) {
        pollfd p{fd, POLLIN, 0};
        const int pronti = ::poll(&p, 1, static_cast<int>(scadenza.remainingTime()));
        if (pronti < 0 && errno == EINTR)
            continue;
        if (pronti <= 0)
            return {};
        char dati[256];
        const ssize_t n = ::read(fd, dati, sizeof dati);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        letto.append(dati, n);
    }
    return letto.left(letto.indexOf('\n'));
}

bool ProcessoM5sim::in_corso()
{
    return m_processo.in_corso() && !m_processo.attendi(0);
}

void ProcessoM5sim::chiudi_ingresso()
{
    chiudi(m_ingresso);
}

void ProcessoM5sim::leggi_errori()
{
    while (m_errori >= 0) {
        char dati[4096];
        const ssize_t n = ::read(m_errori, dati, sizeof dati);
        if (n > 0) {
            m_letti.append(dati, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            chiudi(m_errori);
        return;
    }
}

QByteArray ProcessoM5sim::prendi_errori()
{
    leggi_errori();
    return std::exchange(m_letti, QByteArray());
}

bool ProcessoM5sim::attendi_errori(int ms)
{
    leggi_errori();
    if (m_letti.isEmpty() && m_errori >= 0) {
        m_processo.attendi(ms, m_errori);
        leggi_errori();
    }
    return !m_letti.isEmpty();
}

bool ProcessoM5sim::attendi_fine(int ms)
{
    if (m_processo.pid() <= 0)
        return false;
    // Read meanwhile, or a full pipe would hold it up before its end.
    const QDeadlineTimer scadenza(ms);
    for (;;) {
        leggi_errori();
        if (m_processo.attendi(static_cast<int>(scadenza.remainingTime()), m_errori)) {
            leggi_errori();
            return true;
        }
        if (scadenza.hasExpired())
            return false;
    }
}

bool ProcessoM5sim::ferma()
{
    if (m_processo.in_corso()) {
        m_processo.segnala(SIGTERM);
        if (!attendi_fine(m_opzioni.fermata_ms)) {
            m_processo.segnala(SIGKILL);
            attendi_fine(-1);
            return false;
        }
    }
    return m_processo.fine().finito;
}
