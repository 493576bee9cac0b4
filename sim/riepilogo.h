// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "simulatore.h"

#include <string>

// What the simulator leaves behind for whoever judges the PC side: one JSON
// object with the cells the unit holds, the counts and the faults in effect.
bool salva_riepilogo(const std::string &percorso, const Simulatore &simulatore,
                     std::string &errore);
