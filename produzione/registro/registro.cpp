// SPDX-License-Identifier: GPL-3.0-or-later
#include "registro.h"

#include "scrittura.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString motivo(int numero_errore = errno)
{
    return QString::fromLocal8Bit(std::strerror(numero_errore));
}

// The length of a regular file; -1 for anything else (a device, a pipe),
// which has no length to keep nor to cut back to.
off_t lunghezza(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
}

bool spezzata(int fd, off_t lunghezza)
{
    char ultimo = '\n';
    return lunghezza > 0 && ::pread(fd, &ultimo, 1, lunghezza - 1) == 1 && ultimo != '\n';
}
} // namespace

Registro::~Registro()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Registro::apri(const QString &percorso, QString &errore, QString &avviso)
{
    const QByteArray nome = QFile::encodeName(percorso);
    const int modi = O_APPEND | O_CREAT | O_CLOEXEC;
    // Read too, to see how the last line ends; a log we may only write is written all the same.
    m_fd = ::open(nome.constData(), O_RDWR | modi, 0644);
    if (m_fd < 0 && errno == EACCES)
        m_fd = ::open(nome.constData(), O_WRONLY | modi, 0644);
    if (m_fd < 0) {
        errore = motivo();
        return false;
    }
    if (spezzata(m_fd, lunghezza(m_fd)))
        avviso = QStringLiteral("its last line is torn (no newline at its end); the records of "
                                "this run start on a new line");
    return true;
}

bool Registro::registra(const QByteArray &riga, QString &errore)
{
    const QMutexLocker serratura(&m_mutex);
    // Another m5ctl may append to the same log: one record at a time, so that
    // the length cut back to is that before our own record.
    int bloccato;
    while ((bloccato = ::flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    const bool ok = registra_bloccato(riga, errore);
    if (bloccato == 0)
        ::flock(m_fd, LOCK_UN);
    return ok;
}

bool Registro::registra_bloccato(const QByteArray &riga, QString &errore)
{
    const off_t prima = lunghezza(m_fd);
    const QByteArray record = (spezzata(m_fd, prima) ? "\n" : "") + riga + '\n';
    if (salva_tutto(m_fd, record.constData(), static_cast<std::size_t>(record.size())) &&
        (prima < 0 || ::fsync(m_fd) == 0))
        return true;
    errore = motivo();
    if (prima >= 0 && ::ftruncate(m_fd, prima) != 0)
        errore += QStringLiteral("; the part written could not be cut off (%1)").arg(motivo());
    return false;
}
