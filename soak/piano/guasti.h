// SPDX-License-Identifier: GPL-3.0-or-later
// The faults a cycle may give a simulator: how each is drawn, passed to m5sim and judged.
#pragma once

#include "analisi_traccia.h"
#include "attese.h"
#include "estrazione.h"

#include <QStringList>

#include <vector>

// The shapes a cycle takes.
enum Forma : unsigned {
    LETTURA = 1,
    PROGRAMMAZIONE = 2, // values as options
    DA_FILE = 4,        // program --from
    INIZIALIZZAZIONE = 8,
    VERIFICA = 16,
    PRODUZIONE = 32, // --repeat 2 on units swapped by m5sim --swap-ms
    PIU_PORTE = 64,  // one m5ctl, 2 or 3 simulators
    TUTTE = 127,
    SCRIVONO = PROGRAMMAZIONE | DA_FILE | INIZIALIZZAZIONE | PRODUZIONE | PIU_PORTE,
};

// One fault as drawn for a cycle.
struct Guasto
{
    int tipo = 0; // index in TIPI_GUASTO; 0 is none
    int cella = -1;
    std::vector<int> celle;
    int numero = 0;
    int ms = 0;
    double p = 0;
};

// One unit of a cycle, as the judge sees it.
struct ContestoUnita
{
    const Guasto &guasto;
    const AnalisiTraccia &analisi;
    const Dialogo *dialogo; // nullptr: the unit never began a dialogue
    int indice_dialogo;
    int pulito; // the status on a clean line
};

struct TipoGuasto
{
    const char *nome;
    int peso;
    unsigned forme;
    void (*estrai)(Estrazione &e, Guasto &g);
    QStringList (*argomenti)(const Guasto &g); // for m5sim
    // The statuses allowed to a unit that began its dialogue.
    InsiemeEsiti (*attesi)(const ContestoUnita &c);
    // The longest the fault may hold up one unit, given the replies it asks for.
    int (*attesa_ms)(const Guasto &g, int risposte);
};

extern const TipoGuasto TIPI_GUASTO[];
extern const int NUM_TIPI_GUASTO;

// Faults the cycle plan takes part in.
namespace guasto {
int indice(const char *nome);
// Whether a single command's run of this length under this fault is mostly
// an idle wait, the kind whose CPU is measured: with replies slowed down
// every few ms it is working, a short run is mostly its start-up, and
// several units or ports do their dialogues meanwhile.
bool attesa_misurata(int tipo, bool corsa, double secondi);
constexpr double ATTESA_MISURATA_S = 3.0;
constexpr double CPU_MASSIMA = 0.02; // of a core, while waiting
} // namespace guasto
