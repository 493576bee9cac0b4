// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station under a display that stops: m5stazione on Xvfb, the X server
// stopped (SIGSTOP) for 8 s while its slots work.

// Each unit's dialogue whose time overlaps the stop, against the same run's
// units without it: the slots run on the core's own thread, and a display
// that stalls must cost them nothing.
void misura_schermo_fermo();
