// SPDX-License-Identifier: GPL-3.0-or-later
#include "linea_grezza.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace linea_grezza {

int apri_porta(const QString &percorso)
{
    const int fd = ::open(QFile::encodeName(percorso).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios modo;
    if (::tcgetattr(fd, &modo) != 0) {
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&modo);
    ::cfsetspeed(&modo, B2400);
    // TCSANOW: TCSAFLUSH would throw away the "K" already waiting.
    if (::tcsetattr(fd, TCSANOW, &modo) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool invia(int fd, const QByteArray &dati)
{
    return ::write(fd, dati.constData(), dati.size()) == dati.size();
}

QByteArray leggi(int fd, int n, int ms)
{
    QByteArray dati;
    const QDeadlineTimer scadenza(ms);
    while (dati.size() < n) {
        pollfd attesa = {fd, POLLIN, 0};
        if (::poll(&attesa, 1, static_cast<int>(scadenza.remainingTime())) <= 0)
            break;
        char buffer[256];
        const ssize_t letti =
            ::read(fd, buffer, std::min<qsizetype>(sizeof buffer, n - dati.size()));
        if (letti <= 0)
            break;
        dati.append(buffer, letti);
    }
    return dati;
}

QByteArray leggi_per(int fd, int ms)
{
    return leggi(fd, std::numeric_limits<int>::max(), ms);
}

bool attendi_riaggancio(int fd, int ms, QByteArray &dati)
{
    const QDeadlineTimer scadenza(ms);
    for (;;) {
        pollfd attesa = {fd, POLLIN, 0};
        const int pronti = ::poll(&attesa, 1, static_cast<int>(scadenza.remainingTime()));
        if (pronti <= 0)
            return false;
        if (attesa.revents & POLLIN) {
            char buffer[256];
            const ssize_t letti = ::read(fd, buffer, sizeof buffer);
            if (letti > 0) {
                dati.append(buffer, letti);
                continue;
            }
            return letti == 0 || errno == EIO;
        }
        if (attesa.revents & (POLLHUP | POLLERR))
            return true;
    }
}

QByteArray byte(std::initializer_list<int> valori)
{
    QByteArray dati;
    for (const int v : valori)
        dati.append(static_cast<char>(v));
    return dati;
}

QByteArray come_byte(const Blocco &blocco)
{
    return QByteArray(reinterpret_cast<const char *>(blocco.data()), NUM_CELLE);
}

QByteArray letture_di_tutte()
{
    QByteArray richieste;
    for (int i = 0; i < NUM_CELLE; ++i)
        richieste += byte({'R', i});
    return richieste;
}

QByteArray celle_di(const QJsonObject &riepilogo)
{
    QByteArray celle;
    for (const QJsonValue v : riepilogo.value("celle").toArray())
        celle.append(static_cast<char>(v.toInt(-1)));
    return celle;
}

double tempo_cpu(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray riga = stat.readAll();
    // Fields after the parenthesised name, which may itself contain blanks.
    const QList<QByteArray> campi = riga.mid(riga.lastIndexOf(')') + 2).split(' ');
    if (campi.size() < 13)
        return -1;
    return (campi[11].toDouble() + campi[12].toDouble()) / ::sysconf(_SC_CLK_TCK);
}

} // namespace linea_grezza
