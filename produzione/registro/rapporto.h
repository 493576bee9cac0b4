// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lettura_registro.h"
#include "statistiche.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What m5ctl report prints: the figures of a log as a table, or its records
// as CSV (RFC 4180 quoting, one row a line).
namespace rapporto {

// A line per port and one for the total, under a heading; then the lines
// skipped, when any.
QByteArray tabella(const Statistiche &s, const RigheScartate &scartate);

QByteArray intestazione_csv();
QByteArray riga_csv(const RecordRegistro &r);

// "2 torn or malformed lines skipped (lines 7, 9)"; the first ten numbers only.
QString scartate(const RigheScartate &righe);

} // namespace rapporto
