// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoria.h"

#include "file_atomico.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string descrivi(const std::string &percorso, int codice)
{
    return percorso + ": " + std::strerror(codice);
}
} // namespace

Memoria::Memoria(const Blocco &iniziale) : m_celle(iniziale) {}

std::optional<Blocco> Memoria::carica(const std::string &percorso, std::string &errore)
{
    const int fd = ::open(percorso.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errore = descrivi(percorso, errno);
        return std::nullopt;
    }
    // One byte more than needed, to tell a longer file from an exact one.
    std::uint8_t dati[NUM_CELLE + 1];
    std::size_t letti = 0;
    while (letti < sizeof dati) {
        const ssize_t n = ::read(fd, dati + letti, sizeof dati - letti);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            errore = descrivi(percorso, errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        letti += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (letti != NUM_CELLE) {
        errore = percorso + ": expected " + std::to_string(NUM_CELLE) + " bytes, found " +
                 (letti > NUM_CELLE ? "more" : std::to_string(letti));
        return std::nullopt;
    }
    Blocco blocco;
    std::memcpy(blocco.data(), dati, NUM_CELLE);
    return blocco;
}

bool Memoria::collega_file(const std::string &percorso, std::string &errore)
{
    // A device or a fifo would be read from, then replaced by a file.
    if (const auto rifiuto = destinazione_rifiutata(percorso)) {
        errore = percorso + ": " + *rifiuto;
        return false;
    }
    struct stat info;
    if (::stat(percorso.c_str(), &info) == 0) {
        const auto letto = carica(percorso, errore);
        if (!letto)
            return false;
        m_celle = *letto;
        m_file = percorso;
        return true;
    }
    if (errno != ENOENT) {
        errore = descrivi(percorso, errno);
        return false;
    }
    m_file = percorso;
    if (!salva(errore)) {
        m_file.clear();
        return false;
    }
    return true;
}

void Memoria::scrivi(int i, std::uint8_t valore)
{
    m_celle[i] = valore;
    salva_o_segnala();
}

void Memoria::sostituisci(const Blocco &celle)
{
    m_celle = celle;
    salva_o_segnala();
}

void Memoria::salva_o_segnala()
{
    std::string errore;
    if (!m_file.empty() && !salva(errore)) {
        ++m_salvataggi_falliti;
        m_ultimo_errore = errore;
        std::fprintf(stderr, "m5sim: cannot save the cells: %s\n", errore.c_str());
        std::fflush(stderr);
    }
}

bool Memoria::salva(std::string &errore) const
{
    if (salva_file_atomico(m_file, m_celle.data(), NUM_CELLE, errore))
        return true;
    errore = m_file + ": " + errore;
    return false;
}
