// SPDX-License-Identifier: GPL-3.0-or-later
#include "traccia.h"

#include "riga_traccia.h"
#include "scrittura.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Traccia::~Traccia()
{
    QString errore;
    chiudi(errore);
}

bool Traccia::apri(const QString &percorso, QString &errore)
{
    if (percorso == QLatin1String("-")) {
        m_fd = STDERR_FILENO;
    } else {
        m_fd = ::open(QFile::encodeName(percorso).constData(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            errore = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_propria = true;
    }
    m_orologio.start();
    return true;
}

void Traccia::byte(bool entrata, std::uint8_t valore)
{
    if (m_fd < 0 || m_errore != 0)
        return;
    const std::int64_t us = m_orologio.nsecsElapsed() / 1000;
    // One write per line, unbuffered: the line is there when the byte is.
    const std::string riga = testo_riga_traccia({us, entrata, valore}) + '\n';
    if (!salva_tutto(m_fd, riga.data(), riga.size()))
        m_errore = errno;
}

QString Traccia::errore() const
{
    const int numero_errore = m_errore;
    return numero_errore != 0 ? QString::fromLocal8Bit(std::strerror(numero_errore)) : QString();
}

bool Traccia::chiudi(QString &errore)
{
    if (m_propria && ::close(m_fd) != 0 && m_errore == 0)
        m_errore = errno;
    m_propria = false;
    m_fd = -1;
    errore = this->errore();
    return errore.isEmpty();
}
