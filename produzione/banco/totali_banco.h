// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's figures as its totals line shows them.

#include <QDateTime>

#include <optional>

struct TotaliBanco
{
    int unita = 0;
    int ok = 0;
    int fallite = 0;
    std::optional<double> resa; // first-pass yield, 0-1; none without a good or failed unit
    int ora = 0;                // the units that ended in the last hour
    // With a plan: the codes this station may still give, of how many.
    std::optional<int> codici_rimasti;
    int codici_piano = 0;
    bool codici_pochi = false; // 5 % of the plan or fewer
    // With a shared archive: connected, or offline since when, and the
    // records that wait to be delivered to it.
    bool archivio = false;
    bool archivio_connesso = false;
    QDateTime archivio_offline_da;
    int archivio_in_attesa = 0;
};
