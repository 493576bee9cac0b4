// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the cycles on the jobs: each cycle's folder, simulators, m5ctl, judge and report.
#pragma once

#include "bilancio.h"
#include "giudice.h"
#include "piano.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class SimulatoreSoak;

struct OpzioniSoak
{
    int cicli = 100;
    std::uint64_t seme = 1;
    int lavori = 1;
    int solo_ciclo = 0; // replay this cycle alone; 0 for all
    bool conserva = false;
    bool dettagli = false;
    bool giudica_cpu = true;
    QString m5sim;
    QString m5ctl;
    QString se_stesso; // m5soak, for the replay lines
};

// Runs the cycles on `lavori` threads, each cycle with its own simulators,
// and keeps the counts.
class Soak
{
public:
    explicit Soak(const OpzioniSoak &opzioni);

    // The exit status: 0 when no cycle broke an invariant.
    int esegui();

private:
    void lavora();
    void ciclo(int k);
    EsitoCtl esegui_ctl(const PianoCiclo &p, const QString &cartella, const QStringList &argomenti);
    void riporta(const PianoCiclo &p, const QString &cartella,
                 const std::vector<std::unique_ptr<SimulatoreSoak>> &simulatori,
                 const QStringList &argomenti_ctl, const EsitoCtl &ctl,
                 const std::vector<Violazione> &violazioni);

    OpzioniSoak m_o;
    Bilancio m_bilancio;
    std::atomic<int> m_prossimo{1};
    QMutex m_stampa;
};
