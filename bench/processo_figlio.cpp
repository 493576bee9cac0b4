// SPDX-License-Identifier: GPL-3.0-or-later
#include "processo_figlio.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

ProcessoFiglio::Esito ProcessoFiglio::esegui(const QString &programma, const QStringList &argomenti)
{
    std::vector<QByteArray> testi{QFile::encodeName(programma)};
    for (const QString &a : argomenti)
        testi.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &t : testi)
        argv.push_back(t.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t azioni;
    posix_spawn_file_actions_init(&azioni);
    posix_spawn_file_actions_addopen(&azioni, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&azioni, 2, "/dev/null", O_WRONLY, 0);

    Esito esito;
    QElapsedTimer orologio;
    orologio.start();
    pid_t pid = -1;
    const int errore = ::posix_spawn(&pid, argv.front(), &azioni, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&azioni);
    if (errore != 0)
        return esito;
    esito.avviato = true;

    int stato = 0;
    rusage uso{};
    while (::wait4(pid, &stato, 0, &uso) < 0 && errno == EINTR) {
    }
    esito.secondi = orologio.nsecsElapsed() / 1e9;
    esito.codice = WIFEXITED(stato) ? WEXITSTATUS(stato) : -1;
    auto secondi = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    esito.cpu_secondi = secondi(uso.ru_utime) + secondi(uso.ru_stime);
    return esito;
}
