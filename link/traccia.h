// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <cstdint>

// The wire trace: one line per byte in or out, as it happens, in the line
// format m5sim writes ("<s>.<us> in|out HH", "in" being what this program
// received), timed from the moment the trace was opened.
class Traccia
{
public:
    Traccia() = default;
    ~Traccia();
    Traccia(const Traccia &) = delete;
    Traccia &operator=(const Traccia &) = delete;

    // "-" is stderr. An existing file is replaced. False with the reason.
    bool apri(const QString &percorso, QString &errore);
    bool aperta() const { return m_fd >= 0; }

    // After a line that could not be written, no more: the trace would skip bytes.
    void byte(bool entrata, std::uint8_t valore);

    // The system's reason of the line that could not be written; empty while
    // none. From any thread.
    QString errore() const;
    // Closes a file of its own; false, with the reason, when a line was lost
    // or the close failed.
    bool chiudi(QString &errore);

private:
    int m_fd = -1;
    bool m_propria = false;
    std::atomic<int> m_errore{0}; // errno of the lost line
    QElapsedTimer m_orologio;
};
