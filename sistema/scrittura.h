// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a whole buffer to a descriptor.

#include <cstddef>

// Writes all n bytes, again after a signal and after a short write. False with
// errno set (EIO for a write that took nothing) when the rest could not go.
bool salva_tutto(int fd, const void *dati, std::size_t n);
