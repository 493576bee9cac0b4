// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <sys/types.h>

// A child started with fork and exec, reaped with wait4 so that its own CPU
// time comes back with it. It is killed if the thread that started it ends,
// so that a program cut short leaves no child behind.
class Processo
{
public:
    struct Fine
    {
        bool finito = false;
        int esito = -1;  // exit status after a normal exit
        int segnale = 0; // the signal that ended it, 0 for a normal exit
        bool segnale_nostro = false;
        double secondi = 0;
        double cpu_secondi = 0; // user + sys
    };

    // The child's standard streams: the caller's descriptors, or NULLO for /dev/null.
    static constexpr int NULLO = -1;
    struct Canali
    {
        int ingresso = NULLO;
        int uscita = NULLO;
        int errori = NULLO;
    };

    Processo() = default;
    ~Processo();
    Processo(const Processo &) = delete;
    Processo &operator=(const Processo &) = delete;

    bool avvia(const QString &programma, const QStringList &argomenti, const Canali &canali);
    // True once it has ended, and fine() then holds; false after ms (-1: no
    // limit), or as soon as the descriptor `anche` (-1: none) can be read.
    bool attendi(int ms, int anche = -1);
    void segnala(int segnale);
    bool in_corso() const { return m_pid > 0 && !m_fine.finito; }
    pid_t pid() const { return m_pid; }
    const Fine &fine() const { return m_fine; }

    // Runs it to its end with nothing in or out; not finito when it could not start.
    static Fine esegui(const QString &programma, const QStringList &argomenti);

private:
    bool raccogli();

    pid_t m_pid = -1;
    int m_pidfd = -1;
    std::int64_t m_inizio_ns = 0;
    unsigned long long m_segnali_inviati = 0; // one bit per signal
    Fine m_fine;
};
