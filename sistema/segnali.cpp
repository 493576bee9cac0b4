// SPDX-License-Identifier: GPL-3.0-or-later
#include "segnali.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int CATTURATI[] = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};
// Lock-free, so both the handler and any thread may touch them.
std::atomic<bool> g_ricevuto{false};
std::atomic<bool> g_ripetuto_termina{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void al_segnale(int segnale)
{
    if (g_ricevuto && g_ripetuto_termina) {
        ::signal(segnale, SIG_DFL);
        ::raise(segnale);
        return;
    }
    const int errno_salvato = errno;
    g_ricevuto = true;
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &c, 1);
    errno = errno_salvato;
}

void imposta(void (*gestore)(int))
{
    struct sigaction azione = {};
    azione.sa_handler = gestore;
    sigemptyset(&azione.sa_mask);
    // A blocking write (a trace line, a log record) goes on after the handler.
    azione.sa_flags = gestore == SIG_DFL ? 0 : SA_RESTART;
    for (const int segnale : CATTURATI)
        ::sigaction(segnale, &azione, nullptr);
}
} // namespace

bool Segnali::installa(Ripetuto ripetuto)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    g_ripetuto_termina = ripetuto == Ripetuto::Termina;
    imposta(al_segnale);
    return true;
}

int Segnali::descrittore()
{
    return g_pipe[0];
}

bool Segnali::ricevuto()
{
    return g_ricevuto;
}

Segnali::Segnali(QObject *parent) : QObject(parent)
{
    if (!installa(Ripetuto::Termina))
        return;
    m_notifica = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifica.get(), &QSocketNotifier::activated, this, &Segnali::leggi_pipe);
}

Segnali::~Segnali()
{
    imposta(SIG_DFL);
}

void Segnali::leggi_pipe()
{
    char scarto[16];
    while (::read(g_pipe[0], scarto, sizeof scarto) > 0) {
    }
    emit interruzione();
}
