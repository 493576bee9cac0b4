// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lettura_registro.h"
#include "statistiche.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What m5ctl report prints: the figures of a log as a table, or its records
// as CSV (RFC 4180 quoting, one row a line).
namespace rapporto {

// A line per port and one for the total, under a heading; under it, when
// the records name plans of codes, a line per plan, with its free codes when
// liberi knows the plan; then the lines skipped, when any.
QByteArray tabella(const Statistiche &s, const RigheScartate &scartate,
                   const QHash<QString, int> &liberi = {});

QByteArray intestazione_csv();
QByteArray riga_csv(const RecordRegistro &r);

// The rows of a table, the first its heading: the first column to the left,
// the others to the right, two blanks apart.
QByteArray allinea(const QList<QStringList> &righe);
// "75.0%"; "-" without a yield.
QString resa(std::optional<double> resa);
// A CSV field, quoted when it must be.
QString campo(const QString &testo);

// "2 torn or malformed lines skipped (lines 7, 9)"; the first ten numbers only.
QString scartate(const RigheScartate &righe);

} // namespace rapporto
