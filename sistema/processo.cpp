// SPDX-License-Identifier: GPL-3.0-or-later
#include "processo.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
std::int64_t adesso_ns()
{
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

double secondi(const timeval &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
} // namespace

Processo::~Processo()
{
    if (in_corso()) {
        segnala(SIGKILL);
        attendi(-1);
    }
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

bool Processo::avvia(const QString &programma, const QStringList &argomenti, const Canali &canali)
{
    std::vector<std::string> testi{QFile::encodeName(programma).toStdString()};
    for (const QString &a : argomenti)
        testi.push_back(a.toLocal8Bit().toStdString());
    std::vector<char *> argv;
    for (std::string &t : testi)
        argv.push_back(t.data());
    argv.push_back(nullptr);

    const int nullo = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nullo < 0)
        return false;
    const auto o_nullo = [nullo](int fd) { return fd == NULLO ? nullo : fd; };
    const int flussi[3] = {o_nullo(canali.ingresso), o_nullo(canali.uscita),
                           o_nullo(canali.errori)};
    const pid_t genitore = ::getpid();
    m_inizio_ns = adesso_ns();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the caller may have threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != genitore)
            ::_exit(127);
        // A parent that ignores it would pass that on through exec.
        ::signal(SIGPIPE, SIG_DFL);
        for (int i = 0; i < 3; ++i) {
            // dup2 onto itself would leave it to close at exec.
            if (flussi[i] == i)
                ::fcntl(i, F_SETFD, 0);
            else
                ::dup2(flussi[i], i);
        }
        ::execv(argv.front(), argv.data());
        ::_exit(127);
    }
    ::close(nullo);
    if (pid < 0)
        return false;
    m_pid = pid;
    m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    ::fcntl(m_pidfd, F_SETFD, FD_CLOEXEC);
    return true;
}

Processo::Fine Processo::esegui(const QString &programma, const QStringList &argomenti)
{
    Processo p;
    if (p.avvia(programma, argomenti, Canali()))
        p.attendi(-1);
    return p.fine();
}

bool Processo::raccogli()
{
    int stato = 0;
    rusage uso{};
    pid_t r;
    while ((r = ::wait4(m_pid, &stato, WNOHANG, &uso)) < 0 && errno == EINTR) {
    }
    if (r != m_pid)
        return false;
    m_fine.finito = true;
    m_fine.secondi = static_cast<double>(adesso_ns() - m_inizio_ns) / 1e9;
    m_fine.cpu_secondi = secondi(uso.ru_utime) + secondi(uso.ru_stime);
    if (WIFEXITED(stato)) {
        m_fine.esito = WEXITSTATUS(stato);
    } else if (WIFSIGNALED(stato)) {
        m_fine.segnale = WTERMSIG(stato);
        m_fine.segnale_nostro = (m_segnali_inviati >> m_fine.segnale) & 1;
    }
    return true;
}

bool Processo::attendi(int ms, int anche)
{
    if (m_pid <= 0 || m_fine.finito)
        return m_fine.finito;
    const std::int64_t scadenza =
        ms < 0 ? -1 : adesso_ns() + static_cast<std::int64_t>(ms) * 1'000'000;
    while (!raccogli()) {
        int resto = -1;
        if (scadenza >= 0) {
            const std::int64_t ns = scadenza - adesso_ns();
            if (ns <= 0)
                return false;
            resto = static_cast<int>(ns / 1'000'000) + 1;
        }
        // Without a pidfd, look again every 20 ms.
        if (m_pidfd < 0 && (resto < 0 || resto > 20))
            resto = 20;
        pollfd p[2] = {{m_pidfd, POLLIN, 0}, {anche, POLLIN, 0}};
        if (::poll(p, 2, resto) > 0 && p[1].revents != 0)
            return raccogli();
    }
    return true;
}

void Processo::segnala(int segnale)
{
    if (!in_corso())
        return;
    m_segnali_inviati |= 1ULL << segnale;
    ::kill(m_pid, segnale);
}
