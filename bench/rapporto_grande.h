// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// m5ctl report on a log of a million records: its time and its memory.
void misura_rapporto();
