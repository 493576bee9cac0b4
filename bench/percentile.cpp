// SPDX-License-Identifier: GPL-3.0-or-later
#include "percentile.h"

#include <algorithm>
#include <cmath>

double percentile(QList<double> valori, double p)
{
    if (valori.isEmpty())
        return NAN;
    std::sort(valori.begin(), valori.end());
    const auto rango = static_cast<qsizetype>(std::ceil(p * valori.size()));
    return valori.at(std::clamp<qsizetype>(rango - 1, 0, valori.size() - 1));
}
