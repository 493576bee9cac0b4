// SPDX-License-Identifier: GPL-3.0-or-later
#include "uscita_standard.h"

#include <QMutex>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace uscita_standard {

namespace {
QMutex g_mutex;
int g_errore = 0; // errno of the first failure
bool g_chiusa = false;

bool fallita(bool riuscita)
{
    if (!riuscita && g_errore == 0)
        g_errore = errno != 0 ? errno : EIO;
    return g_errore != 0;
}
} // namespace

bool stampa(const QByteArray &testo)
{
    const QMutexLocker serratura(&g_mutex);
    if (g_errore != 0 || g_chiusa)
        return false;
    errno = 0;
    const auto n = static_cast<std::size_t>(testo.size());
    return !fallita(std::fwrite(testo.constData(), 1, n, stdout) == n && std::fflush(stdout) == 0);
}

bool stampa_riga(const QByteArray &riga)
{
    return stampa(riga + '\n');
}

bool chiudi()
{
    const QMutexLocker serratura(&g_mutex);
    if (!g_chiusa) {
        g_chiusa = true;
        errno = 0;
        // fclose also reports what a file system says only at the close.
        const bool scritta = std::fflush(stdout) == 0 && !std::ferror(stdout);
        fallita(scritta);
        fallita(std::fclose(stdout) == 0);
    }
    return g_errore == 0;
}

QString motivo()
{
    const QMutexLocker serratura(&g_mutex);
    return g_errore != 0 ? QString::fromLocal8Bit(std::strerror(g_errore)) : QString();
}

} // namespace uscita_standard
