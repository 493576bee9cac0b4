// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Replacing a file so that it is either whole or untouched.

#include <cstddef>
#include <optional>
#include <string>

// Why percorso cannot be replaced by a file: it exists and is no regular file
// (a device, a fifo, a folder...), which a rename would put a file in place
// of. nullopt when it is a regular file, a link to one, or does not exist.
std::optional<std::string> destinazione_rifiutata(const std::string &percorso);

// Replaces percorso with dati so that a reader, a kill or a full disk finds
// either the old file or the new one, never half of each: written aside in
// the same folder, synced, renamed over, then the folder synced. An existing
// file keeps its permissions; a link is followed. False with what went wrong
// and what became of the file, in one phrase that does not name it.
bool salva_file_atomico(const std::string &percorso, const void *dati, std::size_t n,
                        std::string &errore);
