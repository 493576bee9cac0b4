// SPDX-License-Identifier: GPL-3.0-or-later
#include "scrittura.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

bool salva_tutto(int fd, const void *dati, std::size_t n)
{
    const auto *p = static_cast<const std::uint8_t *>(dati);
    while (n > 0) {
        const ssize_t scritti = ::write(fd, p, n);
        if (scritti < 0 && errno == EINTR)
            continue;
        if (scritti <= 0) {
            if (scritti == 0)
                errno = EIO;
            return false;
        }
        p += scritti;
        n -= static_cast<std::size_t>(scritti);
    }
    return true;
}
