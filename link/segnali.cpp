// SPDX-License-Identifier: GPL-3.0-or-later
#include "segnali.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_ricevuto = 0;

void al_segnale(int segnale)
{
    if (g_ricevuto) {
        // A second Ctrl-C is for a program that does not stop: let it go.
        ::signal(segnale, SIG_DFL);
        ::raise(segnale);
        return;
    }
    const int errno_salvato = errno;
    g_ricevuto = 1;
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &c, 1);
    errno = errno_salvato;
}
} // namespace

Segnali::Segnali(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifica = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifica.get(), &QSocketNotifier::activated, this, &Segnali::leggi_pipe);

    struct sigaction azione = {};
    azione.sa_handler = al_segnale;
    sigemptyset(&azione.sa_mask);
    azione.sa_flags = SA_RESTART;
    for (const int segnale : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(segnale, &azione, nullptr);
}

Segnali::~Segnali()
{
    struct sigaction azione = {};
    azione.sa_handler = SIG_DFL;
    sigemptyset(&azione.sa_mask);
    for (const int segnale : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(segnale, &azione, nullptr);
}

bool Segnali::ricevuto()
{
    return g_ricevuto != 0;
}

void Segnali::leggi_pipe()
{
    char scarto[16];
    while (::read(g_pipe[0], scarto, sizeof scarto) > 0) {
    }
    emit interruzione();
}
