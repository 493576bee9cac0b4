// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_atomico.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string descrivi(const std::string &percorso, int codice)
{
    return percorso + ": " + std::strerror(codice);
}

bool scrivi_tutto(int fd, const std::uint8_t *dati, std::size_t n)
{
    while (n > 0) {
        const ssize_t scritti = ::write(fd, dati, n);
        if (scritti < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        dati += scritti;
        n -= static_cast<std::size_t>(scritti);
    }
    return true;
}

std::string cartella_di(const std::string &percorso)
{
    const auto barra = percorso.rfind('/');
    if (barra == std::string::npos)
        return ".";
    if (barra == 0)
        return "/";
    return percorso.substr(0, barra);
}
} // namespace

bool scrivi_file_atomico(const std::string &percorso, const void *dati, std::size_t n,
                         std::string &errore)
{
    std::string temporaneo = percorso + ".XXXXXX";
    const int fd = ::mkstemp(temporaneo.data());
    if (fd < 0) {
        errore = descrivi(temporaneo, errno);
        return false;
    }
    const bool ok = ::fchmod(fd, 0644) == 0 &&
                    scrivi_tutto(fd, static_cast<const std::uint8_t *>(dati), n) &&
                    ::fsync(fd) == 0;
    const int codice = errno;
    ::close(fd);
    if (!ok) {
        errore = descrivi(temporaneo, codice);
        ::unlink(temporaneo.c_str());
        return false;
    }
    if (::rename(temporaneo.c_str(), percorso.c_str()) != 0) {
        errore = descrivi(percorso, errno);
        ::unlink(temporaneo.c_str());
        return false;
    }
    const int cartella = ::open(cartella_di(percorso).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (cartella >= 0) {
        ::fsync(cartella);
        ::close(cartella);
    }
    return true;
}
