// SPDX-License-Identifier: GPL-3.0-or-later
#include "occupanti.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <csignal>

namespace occupanti {

namespace {
// Where QSerialPort looks, in its order.
const char *const CARTELLE_BLOCCHI[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                        "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                        "/var/lock/lockdev", "/run/lock"};
constexpr int MASSIMO_NOMINATI = 3;

bool vivo(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

QString nome_processo(qint64 pid, const QString &riserva = QString())
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString nome =
        comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : riserva;
    if (nome.isEmpty())
        return QStringLiteral("PID %1").arg(pid);
    return QStringLiteral("%1 (PID %2)").arg(nome).arg(pid);
}
} // namespace

QString da_blocco(const QString &dispositivo)
{
    QString nome = dispositivo;
    if (nome.startsWith(QLatin1String("/dev/")))
        nome = nome.mid(5);
    nome.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *cartella : CARTELLE_BLOCCHI) {
        const QString file = QLatin1String(cartella) + QStringLiteral("/LCK..") + nome;
        if (!QFileInfo::exists(file))
            continue;
        qint64 pid = 0;
        QString programma;
        QString macchina;
        if (QLockFile(file).getLockInfo(&pid, &macchina, &programma) && vivo(pid))
            return nome_processo(pid, programma);
    }
    return QString();
}

QStringList da_proc(const QString &dispositivo)
{
    const QString cercato = QFileInfo(dispositivo).canonicalFilePath();
    QStringList nomi;
    if (cercato.isEmpty())
        return nomi;
    const qint64 noi = QCoreApplication::applicationPid();
    const QStringList processi = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &p : processi) {
        bool numero = false;
        const qint64 pid = p.toLongLong(&numero);
        if (!numero || pid == noi)
            continue;
        // Processes of other users stay unreadable without root: they go unnamed.
        const QDir fd(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo &f :
             fd.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (f.symLinkTarget() == cercato) {
                nomi << nome_processo(pid);
                break;
            }
        }
        if (nomi.size() == MASSIMO_NOMINATI)
            break;
    }
    return nomi;
}

} // namespace occupanti
