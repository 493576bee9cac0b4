// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The exit status of m5ctl, and of each unit of a run: documented, and stable.
namespace esiti {
constexpr int SUCCESSO = 0;
constexpr int INTERNO = 1;
constexpr int USO = 2;
constexpr int PORTA = 3; // also a log, trace or output file that cannot be written
constexpr int TIME_OUT = 4;
constexpr int LETTURA = 5;
constexpr int FUORI_BANDA = 6;
constexpr int FUORI_RANGE = 7;
constexpr int RILETTURA = 8;
constexpr int DIVERSA = 9;
constexpr int ESAURITI = 10; // the plan has no code left for the unit
constexpr int ARCHIVIO = 11; // the shared archive refused the process: its role, database or schema
constexpr int INTERROTTO = 130;
} // namespace esiti
