// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The statements a process sends the shared archive, as it sends them: what a benchmark times is
// what runs.

#include <QStringList>

namespace istruzioni_archivio {
// archivio.sql, the schema the package ships, as statements one by one.
QStringList schema();

// A plan and its codes, once: $1 fingerprint, $2 how many codes, $3 the codes.
extern const char PIANO[];
// A reserve: $1 plan, $2 owner, $3 how many at most, $4 the lease in s.
extern const char RISERVA[];
// Codes settled: arrays $1 plans, $2 places, $3 states, $4 records, $5 owners.
extern const char SALDO[];
// Records: $1 a JSON array of {"riga": record, "codice": code}.
extern const char RECORD[];
// The plan's codes by state: $1 plan.
extern const char CONTA[];
} // namespace istruzioni_archivio
