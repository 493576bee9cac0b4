// SPDX-License-Identifier: GPL-3.0-or-later
// m5soak's command line: reads the options and runs the soak.
#include "segnali.h"
#include "soak.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {
bool intero(const QCommandLineParser &riga, const char *nome, int minimo, int &valore)
{
    if (!riga.isSet(QLatin1String(nome)))
        return true;
    bool ok = false;
    valore = riga.value(QLatin1String(nome)).toInt(&ok);
    if (ok && valore >= minimo)
        return true;
    std::fprintf(stderr, "m5soak: --%s: expected a whole number from %d\n", nome, minimo);
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("m5soak"));
    QCommandLineParser riga;
    riga.setApplicationDescription(QStringLiteral(
        "Randomised cycles of the real m5ctl against the real m5sim, each judged by what the "
        "simulated receiver saw. Prints one line per broken invariant with the commands that "
        "replay its cycle, then a summary; exits 1 when any invariant was broken."));
    riga.addHelpOption();
    riga.addOptions({
        {QStringLiteral("cycles"), QStringLiteral("Cycles to run (default 100)."),
         QStringLiteral("N")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the soak (default 1)."),
         QStringLiteral("S")},
        {QStringLiteral("jobs"), QStringLiteral("Cycles run at once (default 1)."),
         QStringLiteral("J")},
        {QStringLiteral("cycle"), QStringLiteral("Replay cycle K of the seed alone."),
         QStringLiteral("K")},
        {QStringLiteral("keep"),
         QStringLiteral("Keep every cycle's folder, not only those that broke an invariant.")},
        {QStringLiteral("verbose"), QStringLiteral("One line per cycle.")},
        {QStringLiteral("cpu-not-judged"),
         QStringLiteral("Report m5ctl's CPU while waiting, but do not count it as an invariant "
                        "(instrumented builds, short runs on a shared machine).")},
    });
    riga.process(app);

    OpzioniSoak o;
    const QString cartella = QCoreApplication::applicationDirPath();
    o.m5sim = cartella + QStringLiteral("/m5sim");
    o.m5ctl = cartella + QStringLiteral("/m5ctl");
    o.se_stesso = QCoreApplication::applicationFilePath();
    bool ok = intero(riga, "cycles", 1, o.cicli) && intero(riga, "jobs", 1, o.lavori) &&
              intero(riga, "cycle", 1, o.solo_ciclo);
    if (riga.isSet(QStringLiteral("seed")))
        o.seme = riga.value(QStringLiteral("seed")).toULongLong(&ok);
    if (!ok) {
        std::fprintf(stderr, "m5soak: bad arguments (see --help)\n");
        return 2;
    }
    o.conserva = riga.isSet(QStringLiteral("keep"));
    o.dettagli = riga.isSet(QStringLiteral("verbose"));
    o.giudica_cpu = !riga.isSet(QStringLiteral("cpu-not-judged"));
    // The jobs stop after the cycle they are in.
    Segnali::installa(Segnali::Ripetuto::ComeIlPrimo);
    std::signal(SIGPIPE, SIG_IGN);
    return Soak(o).esegui();
}
