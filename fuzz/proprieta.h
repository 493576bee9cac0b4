// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

// A violated property ends the run like a crash: libFuzzer then keeps the
// input, and the corpus replay fails.
inline void esigi(bool vero, const char *proprieta)
{
    if (!vero) {
        std::fprintf(stderr, "proprieta' violata: %s\n", proprieta);
        std::abort();
    }
}
