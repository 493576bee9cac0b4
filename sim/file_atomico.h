// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

// Replaces percorso with dati so that a reader, or a kill in the middle, finds
// either the old file or the new one, never half of each: written aside, then
// renamed over.
bool scrivi_file_atomico(const std::string &percorso, const void *dati, std::size_t n,
                         std::string &errore);
