// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The programming station over m5sim: its controller and window in this
// process, shown offscreen, and m5stazione itself for its idle CPU.

// 1, 8 and 16 paced slots programming with read-back: each unit's time, the
// wait from its first "K" to the "U", and the lateness of a 10 ms timer on
// the window's thread; 16 silent slots: m5stazione's CPU; then an endurance
// run of unita units with fast swaps and faults: memory and agreement.
void misura_stazione(int unita);

// The bench's unit file in cartella; its path, empty when it cannot be written.
QString salva_profilo(const QString &cartella);
