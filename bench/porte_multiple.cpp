// SPDX-License-Identifier: GPL-3.0-or-later
#include "porte_multiple.h"

#include "processo.h"
#include "simulatore_tracciato.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr int PROVE = 3;

struct Risultato
{
    double secondi = 0;
    double cpu_secondi = 0;
    bool riuscito = true;
};

// The run of median wall time among PROVE.
Risultato mediana(const QStringList &argomenti)
{
    std::vector<Risultato> r;
    for (int i = 0; i < PROVE; ++i) {
        const Processo::Fine e = Processo::esegui(QStringLiteral(M5CTL_PATH), argomenti);
        r.push_back({e.secondi, e.cpu_secondi, e.finito && e.codice == 0});
    }
    std::sort(r.begin(), r.end(),
              [](const Risultato &a, const Risultato &b) { return a.secondi < b.secondi; });
    Risultato m = r[r.size() / 2];
    m.riuscito = std::all_of(r.begin(), r.end(), [](const Risultato &x) { return x.riuscito; });
    return m;
}
} // namespace

void misura_porte_multiple()
{
    QTemporaryDir cartella;
    const QString unita = cartella.filePath(QStringLiteral("unita.json"));
    std::vector<std::unique_ptr<SimulatoreTracciato>> sim;
    for (int i = 0; i < 8; ++i) {
        sim.push_back(std::make_unique<SimulatoreTracciato>(
            QStringList{QStringLiteral("--baud"), QStringLiteral("2400")}));
        if (!sim.back()->avvia())
            return;
    }
    // The file verify compares with: a unit as every run's programming leaves it.
    const QStringList programma{QStringLiteral("program"), QStringLiteral("--codice"),
                                QStringLiteral("321")};
    Processo::esegui(QStringLiteral(M5CTL_PATH),
                     QStringList{QStringLiteral("--port"), sim[0]->percorso()} + programma);
    Processo::esegui(QStringLiteral(M5CTL_PATH),
                     {QStringLiteral("--port"), sim[0]->percorso(), QStringLiteral("read"),
                      QStringLiteral("-o"), unita});

    std::printf("Several ports at once: m5sim --baud 2400 on each; one m5ctl; median of %d runs\n",
                PROVE);
    double base_programma = 0;
    double base_verifica = 0;
    bool tempo_entro = true;
    bool cpu_entro = true;
    for (const int n : {1, 2, 4, 8}) {
        QStringList porte;
        for (int i = 0; i < n; ++i)
            porte << QStringLiteral("--port") << sim[static_cast<std::size_t>(i)]->percorso();
        const Risultato p = mediana(porte + programma);
        const Risultato v =
            mediana(porte + QStringList{QStringLiteral("verify"), QStringLiteral("--from"), unita});
        if (n == 1) {
            base_programma = p.secondi;
            base_verifica = v.secondi;
        }
        const double cpu_porta =
            100 * (p.cpu_secondi + v.cpu_secondi) / (p.secondi + v.secondi) / n;
        std::printf("  %d port(s): program %.3f s (x%.3f)  verify %.3f s (x%.3f)  m5ctl CPU %.2f%% "
                    "of a core per port%s\n",
                    n, p.secondi, p.secondi / base_programma, v.secondi, v.secondi / base_verifica,
                    cpu_porta, p.riuscito && v.riuscito ? "" : "  (A RUN FAILED)");
        if (n == 8)
            tempo_entro = p.secondi <= 1.05 * base_programma && v.secondi <= 1.05 * base_verifica;
        cpu_entro = cpu_entro && cpu_porta <= 2;
    }
    std::printf("  goal 8 ports <= 1.05 x 1 port: %s; goal CPU <= 2%% per port: %s\n\n",
                tempo_entro ? "met" : "MISSED", cpu_entro ? "met" : "MISSED");
}
