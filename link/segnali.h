// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// SIGINT, SIGTERM and SIGHUP as a Qt signal: the handler only writes to a pipe, and
// the event loop, which every wait for the receiver gives a turn, reads it.
class Segnali : public QObject
{
    Q_OBJECT

public:
    explicit Segnali(QObject *parent = nullptr);
    ~Segnali() override;

    // Also true for a signal that came while no wait was running.
    static bool ricevuto();

signals:
    void interruzione();

private:
    void leggi_pipe();

    std::unique_ptr<QSocketNotifier> m_notifica;
};
