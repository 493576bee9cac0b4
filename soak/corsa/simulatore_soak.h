// SPDX-License-Identifier: GPL-3.0-or-later
// One m5sim of a cycle, with its trace, summary and link in the cycle's folder.
#pragma once

#include "blocco.h"
#include "processo_m5sim.h"
#include "riga_traccia.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What m5sim --summary leaves at its exit.
struct Riepilogo
{
    Blocco celle{};
    long long scritture = 0;
    long long dialoghi = 0;
    long long unita = 0;
};

// One m5sim of a cycle: its trace, summary and link in the cycle's folder.
class SimulatoreSoak
{
public:
    SimulatoreSoak(const QString &programma, const QString &cartella, int numero,
                   const QStringList &argomenti);
    ~SimulatoreSoak();
    SimulatoreSoak(const SimulatoreSoak &) = delete;
    SimulatoreSoak &operator=(const SimulatoreSoak &) = delete;

    // All it is started with.
    QStringList argomenti() const;
    // The link to its terminal, the port m5ctl is given.
    QString collegamento() const;

    // Also holds the terminal open until the simulator is stopped: a number
    // the system gave to no one else, that an m5ctl of another cycle reopening
    // its own vanished port cannot land on.
    bool avvia(QString &errore);
    // SIGTERM, then SIGKILL after 3 s; false when SIGKILL was needed.
    bool ferma() { return m_processo.ferma(); }
    const Processo::Fine &fine() const { return m_processo.fine(); }

    QList<ByteTraccia> traccia() const;
    std::optional<Riepilogo> riepilogo() const;

private:
    QString file(const char *nome, const char *estensione = "") const;

    QString m_cartella;
    int m_numero;
    QStringList m_argomenti;
    ProcessoM5sim m_processo;
    int m_terminale = -1;
};
