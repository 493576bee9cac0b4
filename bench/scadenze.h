// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How precisely the bounded waits end: the acknowledgement watchdog
// (4000 ms), m5ctl's bound on a read reply (4000 ms) and on the announcement
// (--wait), each measured from the restart of its wait to its time-out.
void misura_scadenze();
