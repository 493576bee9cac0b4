// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The times of the receiver's dialogue and of a production run, in milliseconds.

#include <algorithm>

namespace tempi {

// The receiver is promised this long to acknowledge each written cell; a
// read reply gets as long.
constexpr int TIME_OUT_CONFERMA_MS = 4000;

// A unit counts as taken away once its line has been silent this long, unless told otherwise.
constexpr int SILENZIO_MS = 2000;

// How long a line may stay busy after a unit, with that silence, before the
// worker is told to take the unit out.
constexpr int promemoria_ms(int silenzio_ms)
{
    return std::max(5000, 3 * silenzio_ms);
}

// A missing device is looked for again this often, besides the events that tell.
constexpr int RIPROVA_MS = 1000;

} // namespace tempi
