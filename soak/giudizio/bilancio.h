// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's counts from all its jobs, m5ctl's CPU while waiting, and the summary.
#pragma once

#include "giudice.h"
#include "piano.h"

#include <QMap>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <vector>

// The soak's counts, from all its jobs.
class Bilancio
{
public:
    // giudica_cpu: whether m5ctl's CPU while waiting counts as an invariant,
    // or is only reported.
    explicit Bilancio(bool giudica_cpu);

    // esito: m5ctl's exit status, -1 when it did not end by itself.
    void registra(const PianoCiclo &p, int esito, double secondi_ctl, double cpu_ctl,
                  double secondi_ciclo, const std::vector<Violazione> &violazioni);
    void stampa(std::FILE *f, double secondi, int lavori, std::uint64_t seme) const;
    // The broken invariants, m5ctl's CPU over all its waits among them.
    int violazioni() const;

private:
    double quota_cpu() const;
    bool cpu_oltre() const;

    struct PerGuasto
    {
        int cicli = 0;
        QMap<int, int> esiti_visti;
    };

    const bool m_giudica_cpu;
    mutable QMutex m_mutex;
    std::vector<PerGuasto> m_guasti;
    QMap<QString, int> m_forme;
    QMap<QString, int> m_tipi_violazione;
    int m_cicli = 0;
    int m_cicli_violati = 0;
    int m_violazioni = 0;
    double m_secondi_cicli = 0;
    // m5ctl in the cycles where it mostly waited.
    int m_cicli_attesa = 0;
    double m_secondi_attesa = 0;
    double m_cpu_attesa = 0;
    double m_peggiore = 0;
};
