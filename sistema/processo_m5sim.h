// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "processo.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// m5sim as a child: ready once it has printed the path of its terminal,
// stopped with SIGTERM (SIGKILL when that is not enough), reaped with its CPU
// time. What each caller does with its trace stays with the caller.
class ProcessoM5sim
{
public:
    // Where its stderr (the trace, the diagnostics) goes.
    enum class Errori {
        Ereditati,
        File, // file_errori, created or emptied
        Tubo, // a pipe, read with prendi_errori()
    };

    struct Opzioni
    {
        Errori errori = Errori::Ereditati;
        QString file_errori;
        // Its stdin a pipe held until chiudi_ingresso() or the end of this
        // program, as --exit-with-stdin wants; else /dev/null.
        bool ingresso = false;
        int fermata_ms = 3000; // from SIGTERM to SIGKILL
    };

    ProcessoM5sim(const QString &programma, const QStringList &argomenti, const Opzioni &opzioni);
    // Stops it.
    ~ProcessoM5sim();
    ProcessoM5sim(const ProcessoM5sim &) = delete;
    ProcessoM5sim &operator=(const ProcessoM5sim &) = delete;

    // True once it has printed its terminal's path within ms; else false, why in errore.
    bool avvia(QString &errore, int ms = 5000);
    QString percorso() const { return m_percorso; }
    pid_t pid() const { return m_processo.pid(); }
    // False once it has ended, which is then reaped.
    bool in_corso();
    void chiudi_ingresso();

    // What it has written on stderr (Errori::Tubo) and nobody has taken yet.
    QByteArray prendi_errori();
    // Waits up to ms for more on stderr; false when none came.
    bool attendi_errori(int ms);
    // True once it has ended, its stderr read meanwhile; false after ms (-1: no limit).
    bool attendi_fine(int ms);
    // True when SIGTERM was enough or it had already ended; false when it
    // took SIGKILL, or never started.
    bool ferma();
    const Processo::Fine &fine() const { return m_processo.fine(); }

private:
    bool apri_canali(Processo::Canali &canali, int &scrittura_uscita);
    QByteArray prima_riga(int fd, int ms);
    void leggi_errori();

    QString m_programma;
    QStringList m_argomenti;
    Opzioni m_opzioni;
    Processo m_processo;
    int m_ingresso = -1; // our ends of its stdin and stderr
    int m_errori = -1;
    QByteArray m_letti;
    QString m_percorso;
};
