// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>

// The production log: JSON Lines appended to a file that is never truncated.
// Each record is written whole, then flushed and synced, so a power cut loses
// at most the unit in progress.
class Registro
{
public:
    Registro() = default;
    ~Registro();
    Registro(const Registro &) = delete;
    Registro &operator=(const Registro &) = delete;

    bool apri(const QString &percorso, QString &errore);
    bool aperto() const { return m_fd >= 0; }
    // One record, from any thread. False with the system's reason.
    bool scrivi(const QByteArray &riga, QString &errore);

private:
    QMutex m_mutex;
    int m_fd = -1;
};
