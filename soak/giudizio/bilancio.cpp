// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's counts from all its jobs, m5ctl's CPU while waiting, and the summary.
#include "bilancio.h"

#include <QStringList>

Bilancio::Bilancio(bool giudica_cpu)
    : m_giudica_cpu(giudica_cpu), m_guasti(static_cast<std::size_t>(NUM_TIPI_GUASTO))
{
}

void Bilancio::registra(const PianoCiclo &p, int esito, double secondi_ctl, double cpu_ctl,
                        double secondi_ciclo, const std::vector<Violazione> &violazioni)
{
    const QMutexLocker serratura(&m_mutex);
    ++m_cicli;
    m_secondi_cicli += secondi_ciclo;
    PerGuasto &g = m_guasti[static_cast<std::size_t>(p.tipo_guasto)];
    ++g.cicli;
    ++g.esiti_visti[esito];
    ++m_forme[QLatin1String(Piano::nome_forma(p.forma))];
    if (!violazioni.empty())
        ++m_cicli_violati;
    m_violazioni += static_cast<int>(violazioni.size());
    for (const Violazione &v : violazioni)
        ++m_tipi_violazione[v.tipo];
    if (esito >= 0 && guasto::attesa_misurata(p.tipo_guasto, p.corsa(), secondi_ctl)) {
        ++m_cicli_attesa;
        m_secondi_attesa += secondi_ctl;
        m_cpu_attesa += cpu_ctl;
        m_peggiore = std::max(m_peggiore, cpu_ctl / secondi_ctl);
    }
}

double Bilancio::quota_cpu() const
{
    return m_secondi_attesa > 0 ? m_cpu_attesa / m_secondi_attesa : 0;
}

bool Bilancio::cpu_oltre() const
{
    return m_giudica_cpu && quota_cpu() > guasto::CPU_MASSIMA;
}

int Bilancio::violazioni() const
{
    const QMutexLocker serratura(&m_mutex);
    return m_violazioni + (cpu_oltre() ? 1 : 0);
}

void Bilancio::stampa(std::FILE *f, double secondi, int lavori, std::uint64_t seme) const
{
    const QMutexLocker serratura(&m_mutex);
    std::fprintf(f,
                 "m5soak: %d cycles, seed %llu, %d jobs: %.1f s wall, %.3f s per cycle on "
                 "average\n",
                 m_cicli, static_cast<unsigned long long>(seme), lavori, secondi,
                 m_cicli > 0 ? m_secondi_cicli / m_cicli : 0.0);
    std::fprintf(f, "shapes:");
    for (auto it = m_forme.begin(); it != m_forme.end(); ++it)
        std::fprintf(f, " %s %d;", qPrintable(it.key()), it.value());
    std::fprintf(f, "\nfault              cycles  m5ctl exit status: cycles\n");
    for (int i = 0; i < NUM_TIPI_GUASTO; ++i) {
        const PerGuasto &g = m_guasti[static_cast<std::size_t>(i)];
        if (g.cicli == 0)
            continue;
        QStringList elenco;
        for (auto it = g.esiti_visti.begin(); it != g.esiti_visti.end(); ++it)
            elenco << (it.key() < 0 ? QStringLiteral("killed") : QString::number(it.key())) +
                          QStringLiteral(": %1").arg(it.value());
        std::fprintf(f, "  %-18s %5d  %s\n", TIPI_GUASTO[i].nome, g.cicli,
                     qPrintable(elenco.join(QStringLiteral(", "))));
    }
    std::fprintf(f, "violations: %d in %d cycles", m_violazioni, m_cicli_violati);
    for (auto it = m_tipi_violazione.begin(); it != m_tipi_violazione.end(); ++it)
        std::fprintf(f, "%s %s %d", it == m_tipi_violazione.begin() ? ":" : ",",
                     qPrintable(it.key()), it.value());
    std::fprintf(
        f, "\nm5ctl CPU while waiting (single commands of %.0f s and more, start-up included): ",
        guasto::ATTESA_MISURATA_S);
    if (m_cicli_attesa == 0)
        std::fprintf(f, "no such run\n");
    else
        std::fprintf(f, "%.3f %% of a core over %d runs, %.1f s; worst run %.3f %%\n",
                     100 * quota_cpu(), m_cicli_attesa, m_secondi_attesa, 100 * m_peggiore);
    if (!m_giudica_cpu)
        std::fprintf(f, "(reported, not judged: --cpu-not-judged)\n");
    else if (cpu_oltre())
        std::fprintf(f, "VIOLATION cpu: m5ctl used more than %.0f %% of a core while waiting\n",
                     100 * guasto::CPU_MASSIMA);
    std::fflush(f);
}
