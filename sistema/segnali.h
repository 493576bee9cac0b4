// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// SIGINT, SIGTERM and SIGHUP for a program that ends cleanly on them: the
// handler only writes to a pipe, which the program watches, with poll() or
// through interruzione() in its event loop.
class Segnali : public QObject
{
    Q_OBJECT

public:
    // What a second signal does while the program is still ending.
    enum class Ripetuto {
        ComeIlPrimo,
        // Its default action: a second Ctrl-C is for a program that does not stop.
        Termina,
    };

    // Catches them with Ripetuto::Termina and tells each through interruzione();
    // the default actions come back with its end.
    explicit Segnali(QObject *parent = nullptr);
    ~Segnali() override;

    // Catches them for a program without an event loop; false, with errno,
    // when the pipe cannot be made.
    static bool installa(Ripetuto ripetuto);
    // Readable once a signal has come; -1 before installa().
    static int descrittore();
    // Also true for a signal that came while no wait was running.
    static bool ricevuto();

signals:
    void interruzione();

private:
    void leggi_pipe();

    std::unique_ptr<QSocketNotifier> m_notifica;
};
