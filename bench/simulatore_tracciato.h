// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "processo_m5sim.h"
#include "riga_traccia.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// m5sim with --trace, its trace going to a file: a pipe that nobody drains
// while m5ctl runs would stall the simulator and spoil the timing.
class SimulatoreTracciato
{
public:
    // traccia: false for a long run, whose trace nobody reads.
    explicit SimulatoreTracciato(const QStringList &argomenti, bool traccia = true);
    ~SimulatoreTracciato();

    bool avvia();
    QString percorso() const { return m_processo.percorso(); }
    const QStringList &argomenti() const { return m_argomenti; }

    QList<ByteTraccia> traccia() const;
    // Waits until the simulator has received at least n bytes in all.
    bool attendi_ricevuti(int n, int ms) const;
    bool in_esecuzione() { return m_processo.in_corso(); }
    void termina();

private:
    QStringList m_argomenti;
    bool m_traccia;
    QTemporaryDir m_cartella;
    ProcessoM5sim m_processo;
};
