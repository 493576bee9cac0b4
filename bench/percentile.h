// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The p-th percentile of a series, as every section of the bench reports it.

#include <QList>

// Nearest rank: the smallest value with at least p of the series at or below
// it (0.5 the median, 1 the maximum); NaN for an empty series.
double percentile(QList<double> valori, double p);
