// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A station: program and verify one unit on each of 1, 2, 4, 8 and 16 paced
// ports at once, with one m5ctl; wall time against one port, m5ctl's CPU per
// port, and its threads.
void misura_porte_multiple();
