// SPDX-License-Identifier: GPL-3.0-or-later
#include "registro.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
QString motivo()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

Registro::~Registro()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Registro::apri(const QString &percorso, QString &errore)
{
    m_fd = ::open(QFile::encodeName(percorso).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        errore = motivo();
        return false;
    }
    return true;
}

bool Registro::scrivi(const QByteArray &riga, QString &errore)
{
    const QMutexLocker blocco(&m_mutex);
    const QByteArray record = riga + '\n';
    const char *p = record.constData();
    qsizetype resto = record.size();
    while (resto > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<size_t>(resto));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errore = n < 0 ? motivo() : QStringLiteral("nothing written");
            return false;
        }
        p += n;
        resto -= n;
    }
    if (::fsync(m_fd) != 0) {
        errore = motivo();
        return false;
    }
    return true;
}
