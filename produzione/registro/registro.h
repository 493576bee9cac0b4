// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>

// The production log: JSON Lines appended to a file that is never truncated.
// Each record is written whole, then flushed and synced, so a power cut loses
// at most the unit in progress; a record that cannot be written whole is cut
// off again, so that the log holds it whole or not at all.
class Registro
{
public:
    Registro() = default;
    ~Registro();
    Registro(const Registro &) = delete;
    Registro &operator=(const Registro &) = delete;

    // avviso: what to tell once when the log's last line is torn (no newline
    // at its end, from a run that died writing it); empty otherwise.
    bool apri(const QString &percorso, QString &errore, QString &avviso);
    bool aperto() const { return m_fd >= 0; }
    // One record, from any thread, on a line of its own. False with the system's reason.
    bool registra(const QByteArray &riga, QString &errore);

private:
    bool registra_bloccato(const QByteArray &riga, QString &errore);

    QMutex m_mutex;
    int m_fd = -1;
};
