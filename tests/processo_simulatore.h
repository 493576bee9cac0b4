// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "processo_m5sim.h"
#include "riga_traccia.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The m5sim receiver simulator as a child process, always with --trace, so
// that a test can check every byte that crossed the line in either direction.
class ProcessoSimulatore
{
public:
    explicit ProcessoSimulatore(const QStringList &argomenti = {});
    ~ProcessoSimulatore();
    ProcessoSimulatore(const ProcessoSimulatore &) = delete;
    ProcessoSimulatore &operator=(const ProcessoSimulatore &) = delete;

    static QString eseguibile();

    // Starts the process; true once it has printed the terminal's path.
    bool avvia(int ms = 5000);
    QString percorso() const { return m_processo.percorso(); }

    QList<ByteTraccia> traccia();
    QByteArray ricevuti();
    QByteArray inviati();
    // stderr lines that are not trace lines (diagnostics, a malformed trace).
    QStringList diagnostica();

    bool attendi_ricevuti(int n, int ms);
    bool attendi_inviati(int n, int ms);
    bool attendi_fine(int ms);

    // Its standard input reaches end of file.
    void chiudi_stdin() { m_processo.chiudi_ingresso(); }
    bool in_esecuzione() { return m_processo.in_corso(); }
    qint64 pid() const { return m_processo.pid(); }
    // The exit code after a normal exit; -1 while running or after a crash.
    int esito() const;
    // SIGTERM, then SIGKILL if it does not go within a few seconds.
    void termina();

private:
    void leggi_errori();
    bool attendi_traccia(bool entrata, int n, int ms);
    QByteArray byte(bool entrata);

    ProcessoM5sim m_processo;
    QByteArray m_resto_errori;
    QList<ByteTraccia> m_traccia;
    QStringList m_diagnostica;
};
