// SPDX-License-Identifier: GPL-3.0-or-later
#include "disco_pieno.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

DiscoPieno::DiscoPieno()
{
    m_montato = m_cartella.isValid() && ::geteuid() == 0 &&
                ::mount("tmpfs", QFile::encodeName(m_cartella.path()).constData(), "tmpfs", 0,
                        "size=8k,mode=0755") == 0;
}

DiscoPieno::~DiscoPieno()
{
    if (m_montato)
        ::umount2(QFile::encodeName(m_cartella.path()).constData(), MNT_DETACH);
}

bool DiscoPieno::riempi()
{
    const int fd = ::open(QFile::encodeName(percorso(QStringLiteral("riempimento"))).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char zeri[512] = {};
    ssize_t n;
    while ((n = ::write(fd, zeri, sizeof zeri)) > 0) {
    }
    const bool pieno = n < 0 && errno == ENOSPC;
    ::close(fd);
    return pieno;
}
