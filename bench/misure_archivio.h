// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The shared archive against a PostgreSQL server of the bench's own, on a Unix socket.

// What one unit costs the archive in round trips (claim, settle, record);
// claims from the start of a plan of 4096 codes against those at its end;
// 4 m5ctl processes over paced simulators, with the archive and with the
// store of this machine; the lateness of the station window's thread while
// the server is stopped.
void misura_archivio();
