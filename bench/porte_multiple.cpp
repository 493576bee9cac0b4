// SPDX-License-Identifier: GPL-3.0-or-later
#include "porte_multiple.h"

#include "processo.h"
#include "simulatore_tracciato.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr int PROVE = 3;
constexpr int PORTE_MASSIME = 16;
// How often m5ctl's threads are counted while it runs.
constexpr int CONTEGGIO_MS = 20;

struct Risultato
{
    double secondi = 0;
    double cpu_secondi = 0;
    bool riuscito = true;
    int fili = 0; // the most threads m5ctl had at once
};

int fili_di(pid_t pid)
{
    QFile stato(QStringLiteral("/proc/%1/status").arg(pid));
    if (!stato.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &riga : stato.readAll().split('\n')) {
        if (riga.startsWith("Threads:"))
            return riga.mid(8).trimmed().toInt();
    }
    return 0;
}

// One run of m5ctl, its threads counted while it runs.
Risultato una_prova(const QStringList &argomenti)
{
    Risultato r;
    Processo p;
    if (!p.avvia(QStringLiteral(M5CTL_PATH), argomenti, {})) {
        r.riuscito = false;
        return r;
    }
    while (!p.attendi(CONTEGGIO_MS))
        r.fili = std::max(r.fili, fili_di(p.pid()));
    r.secondi = p.fine().secondi;
    r.cpu_secondi = p.fine().cpu_secondi;
    r.riuscito = p.fine().finito && p.fine().esito == 0;
    return r;
}

// The run of median wall time among PROVE.
Risultato mediana(const QStringList &argomenti)
{
    std::vector<Risultato> r;
    for (int i = 0; i < PROVE; ++i)
        r.push_back(una_prova(argomenti));
    std::sort(r.begin(), r.end(),
              [](const Risultato &a, const Risultato &b) { return a.secondi < b.secondi; });
    Risultato m = r[r.size() / 2];
    m.riuscito = std::all_of(r.begin(), r.end(), [](const Risultato &x) { return x.riuscito; });
    for (const Risultato &x : r)
        m.fili = std::max(m.fili, x.fili);
    return m;
}
// A paced m5sim for each port; none when one does not start.
std::vector<std::unique_ptr<SimulatoreTracciato>> avvia_simulatori()
{
    std::vector<std::unique_ptr<SimulatoreTracciato>> sim;
    for (int i = 0; i < PORTE_MASSIME; ++i) {
        sim.push_back(std::make_unique<SimulatoreTracciato>(
            QStringList{QStringLiteral("--baud"), QStringLiteral("2400")}));
        if (!sim.back()->avvia())
            return {};
    }
    return sim;
}

// The file verify compares with: a unit as every run's programming leaves it.
void prepara_file(const QString &porta, const QStringList &programma, const QString &unita)
{
    Processo::esegui(QStringLiteral(M5CTL_PATH),
                     QStringList{QStringLiteral("--port"), porta} + programma);
    Processo::esegui(
        QStringLiteral(M5CTL_PATH),
        {QStringLiteral("--port"), porta, QStringLiteral("read"), QStringLiteral("-o"), unita});
}
} // namespace

void misura_porte_multiple()
{
    QTemporaryDir cartella;
    const QString unita = cartella.filePath(QStringLiteral("unita.json"));
    const auto sim = avvia_simulatori();
    if (sim.empty())
        return;
    const QStringList programma{QStringLiteral("program"), QStringLiteral("--codice"),
                                QStringLiteral("321")};
    prepara_file(sim[0]->percorso(), programma, unita);

    std::printf("Several ports at once: m5sim --baud 2400 on each; one m5ctl; median of %d runs\n",
                PROVE);
    double base_programma = 0;
    double base_verifica = 0;
    bool tempo_entro = true;
    bool cpu_entro = true;
    int fili_uno = 0;
    bool fili_uguali = true;
    for (const int n : {1, 2, 4, 8, PORTE_MASSIME}) {
        QStringList porte;
        for (int i = 0; i < n; ++i)
            porte << QStringLiteral("--port") << sim[static_cast<std::size_t>(i)]->percorso();
        const Risultato p = mediana(porte + programma);
        const Risultato v =
            mediana(porte + QStringList{QStringLiteral("verify"), QStringLiteral("--from"), unita});
        if (n == 1) {
            base_programma = p.secondi;
            base_verifica = v.secondi;
            fili_uno = std::max(p.fili, v.fili);
        }
        fili_uguali = fili_uguali && std::max(p.fili, v.fili) == fili_uno;
        const double cpu_porta =
            100 * (p.cpu_secondi + v.cpu_secondi) / (p.secondi + v.secondi) / n;
        std::printf(
            "  %2d port(s): program %.3f s (x%.3f)  verify %.3f s (x%.3f)  m5ctl CPU %.2f%% "
            "of a core per port, %d thread(s)%s\n",
            n, p.secondi, p.secondi / base_programma, v.secondi, v.secondi / base_verifica,
            cpu_porta, std::max(p.fili, v.fili),
            p.riuscito && v.riuscito ? "" : "  (A RUN FAILED)");
        // Verify is short beside the wait for each unit's "K" (every 500 ms),
        // whose phase on the slowest port decides it: shown, not judged.
        if (n >= 8)
            tempo_entro = tempo_entro && p.secondi <= 1.05 * base_programma;
        cpu_entro = cpu_entro && cpu_porta <= 2;
    }
    std::printf("  goal programming on 8 and 16 ports <= 1.05 x 1 port: %s; goal CPU <= 2%% per "
                "port: %s; goal the same threads for 1 port and 16: %s\n\n",
                tempo_entro ? "met" : "MISSED", cpu_entro ? "met" : "MISSED",
                fili_uguali ? "met" : "MISSED");
}
