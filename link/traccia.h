// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>

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

    void byte(bool entrata, std::uint8_t valore);

private:
    int m_fd = -1;
    bool m_propria = false;
    QElapsedTimer m_orologio;
};
