// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's figures as its totals line shows them.

#include <optional>

struct TotaliBanco
{
    int unita = 0;
    int ok = 0;
    int fallite = 0;
    std::optional<double> resa; // first-pass yield, 0-1; none without a good or failed unit
    int ora = 0;                // the units that ended in the last hour
};
