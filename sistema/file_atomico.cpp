// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_atomico.h"

#include "scrittura.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char *tipo(mode_t modo)
{
    if (S_ISDIR(modo))
        return "a folder";
    if (S_ISCHR(modo))
        return "a character device";
    if (S_ISBLK(modo))
        return "a block device";
    if (S_ISFIFO(modo))
        return "a fifo";
    if (S_ISSOCK(modo))
        return "a socket";
    return "something else";
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

// The file a link leads to, so that the link stays a link.
std::string risolvi(const std::string &percorso)
{
    struct stat info;
    if (::lstat(percorso.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return percorso;
    char *reale = ::realpath(percorso.c_str(), nullptr);
    if (!reale)
        return percorso;
    std::string risolto = reale;
    std::free(reale);
    return risolto;
}

// A new file next to percorso. Created 0666 so that the umask applies, as it
// would to any new file of the user's.
int apri_accanto(const std::string &percorso, std::string &temporaneo)
{
    static const char cifre[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device caso;
    for (int prova = 0; prova < 100; ++prova) {
        temporaneo = percorso + '.';
        for (int i = 0; i < 6; ++i)
            temporaneo += cifre[caso() % (sizeof cifre - 1)];
        const int fd = ::open(temporaneo.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

std::string fallita(int numero_errore, bool esisteva)
{
    return std::string(std::strerror(numero_errore)) +
           (esisteva ? "; the file was left as it was" : "; nothing was written");
}

// Ownership and permissions of the file replaced; an owner we may not give
// (not root) stays ours.
bool come_il_vecchio(int fd, const struct stat &vecchio)
{
    if (::fchown(fd, vecchio.st_uid, vecchio.st_gid) != 0 && errno != EPERM)
        return false;
    return ::fchmod(fd, vecchio.st_mode & 07777) == 0;
}

bool sincronizza_cartella(const std::string &percorso, std::string &errore)
{
    const int cartella = ::open(cartella_di(percorso).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // EINVAL: a file system that does not sync folders, and needs not.
    const bool ok = cartella >= 0 && (::fsync(cartella) == 0 || errno == EINVAL);
    const int numero_errore = errno;
    if (cartella >= 0)
        ::close(cartella);
    if (!ok)
        errore = std::string("the new file is in place, but its folder could not be synced (") +
                 std::strerror(numero_errore) + "): a power cut may still undo it";
    return ok;
}
} // namespace

std::optional<std::string> destinazione_rifiutata(const std::string &percorso)
{
    struct stat info;
    if (::stat(percorso.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return std::nullopt;
    return std::string("exists and is ") + tipo(info.st_mode) + ", not a regular file";
}

bool salva_file_atomico(const std::string &percorso, const void *dati, std::size_t n,
                        std::string &errore)
{
    if (const auto rifiuto = destinazione_rifiutata(percorso)) {
        errore = *rifiuto;
        return false;
    }
    const std::string destinazione = risolvi(percorso);
    struct stat vecchio;
    const bool esisteva = ::stat(destinazione.c_str(), &vecchio) == 0;
    std::string temporaneo;
    const int fd = apri_accanto(destinazione, temporaneo);
    if (fd < 0) {
        errore = fallita(errno, esisteva);
        return false;
    }
    bool ok =
        (!esisteva || come_il_vecchio(fd, vecchio)) && salva_tutto(fd, dati, n) && ::fsync(fd) == 0;
    int numero_errore = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        numero_errore = errno;
    }
    if (ok && ::rename(temporaneo.c_str(), destinazione.c_str()) != 0) {
        ok = false;
        numero_errore = errno;
    }
    if (!ok) {
        ::unlink(temporaneo.c_str());
        errore = fallita(numero_errore, esisteva);
        return false;
    }
    return sincronizza_cartella(destinazione, errore);
}
