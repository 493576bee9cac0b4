// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Tells when the device behind a path appears or goes, from events, not by polling.

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Each path watched may be a device node, udev's by-path or by-id link, or
// any link made by hand (to a pseudo-terminal, say), in a folder that may not
// exist yet. udev's events for serial devices and the file system's
// notifications on the folders of the paths wake it; each path is then looked
// at again, and a change reported.
class SorveglianzaDispositivi : public QObject
{
    Q_OBJECT

public:
    explicit SorveglianzaDispositivi(QObject *parent = nullptr);
    ~SorveglianzaDispositivi() override;

    void sorveglia(const QString &percorso);
    void dimentica(const QString &percorso);
    bool presente(const QString &percorso) const { return m_presenti.value(percorso, false); }

    // Whether a path leads to something that exists now (a link is followed).
    static bool esiste(const QString &percorso);

    // From now on, each serial port of the system that appears, or
    // pseudo-terminal, is told by porta_nuova(), until smetti_ricerca().
    void cerca_porte_nuove();
    void smetti_ricerca();

signals:
    void cambiato(const QString &percorso, bool presente);
    // Every path was looked at again, changed or not: a link may now lead elsewhere.
    void percorsi_ricontrollati();
    void porta_nuova(const QString &percorso);

private:
    void avvia_udev();
    void evento_udev();
    void ricontrolla();
    void sorveglia_cartelle();
    void cerca_nuove();
    static QHash<QString, qint64> porte_presenti();

    QFileSystemWatcher m_file_system;
    QHash<QString, bool> m_presenti;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifica;
    bool m_ricerca = false;
    QHash<QString, qint64> m_porte_note; // the system's ports when last looked at
};
