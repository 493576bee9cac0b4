// SPDX-License-Identifier: GPL-3.0-or-later
#include "sorveglianza_dispositivi.h"

#include "porte_sistema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/stat.h>

#include <libudev.h>

namespace {
// Where the pseudo-terminals appear: simulators are found there.
const QString CARTELLA_PTS = QStringLiteral("/dev/pts");

// The folder a path's appearance would change: its own, or the nearest one
// that exists, for a path whose folders are still to come.
QString cartella_da_sorvegliare(const QString &percorso)
{
    QString cartella = QFileInfo(percorso).absolutePath();
    while (!QFileInfo(cartella).isDir()) {
        const QString sopra = QFileInfo(cartella).absolutePath();
        if (sopra == cartella)
            break;
        cartella = sopra;
    }
    return cartella;
}
} // namespace

SorveglianzaDispositivi::SorveglianzaDispositivi(QObject *parent)
    : QObject(parent), m_file_system(this)
{
    connect(&m_file_system, &QFileSystemWatcher::directoryChanged, this,
            &SorveglianzaDispositivi::ricontrolla);
    avvia_udev();
}

SorveglianzaDispositivi::~SorveglianzaDispositivi()
{
    m_notifica.reset();
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

// Without udev (a container, a system without it) the file system's
// notifications are all there is, and they suffice for links made by hand.
void SorveglianzaDispositivi::avvia_udev()
{
    m_udev = udev_new();
    if (!m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    // A child, so that it moves with this object to another thread.
    m_notifica = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor),
                                                   QSocketNotifier::Read, this);
    connect(m_notifica.get(), &QSocketNotifier::activated, this,
            &SorveglianzaDispositivi::evento_udev);
}

void SorveglianzaDispositivi::evento_udev()
{
    // Drain the events: udev has made its links before it tells, so looking
    // at every path again is enough.
    while (udev_device *d = udev_monitor_receive_device(m_monitor))
        udev_device_unref(d);
    ricontrolla();
}

bool SorveglianzaDispositivi::esiste(const QString &percorso)
{
    return QFileInfo::exists(percorso);
}

void SorveglianzaDispositivi::sorveglia(const QString &percorso)
{
    if (m_presenti.contains(percorso))
        return;
    m_presenti.insert(percorso, esiste(percorso));
    sorveglia_cartelle();
}

void SorveglianzaDispositivi::dimentica(const QString &percorso)
{
    m_presenti.remove(percorso);
    sorveglia_cartelle();
}

void SorveglianzaDispositivi::sorveglia_cartelle()
{
    // Folders only: a device node in use changes with every byte, and an
    // open port tells itself when its device goes.
    QStringList cartelle;
    for (auto it = m_presenti.constBegin(); it != m_presenti.constEnd(); ++it)
        cartelle << cartella_da_sorvegliare(it.key());
    if (m_ricerca)
        cartelle << QStringLiteral("/dev") << CARTELLA_PTS;
    cartelle.removeDuplicates();
    const QStringList vecchie = m_file_system.directories();
    if (cartelle == vecchie)
        return;
    if (!vecchie.isEmpty())
        m_file_system.removePaths(vecchie);
    if (!cartelle.isEmpty())
        m_file_system.addPaths(cartelle);
}

void SorveglianzaDispositivi::ricontrolla()
{
    QList<QPair<QString, bool>> cambi;
    for (auto it = m_presenti.begin(); it != m_presenti.end(); ++it) {
        const bool ora = esiste(it.key());
        if (ora != it.value()) {
            it.value() = ora;
            cambi.append({it.key(), ora});
        }
    }
    // A folder that appeared, or a link that now leads elsewhere, is watched
    // from here on.
    sorveglia_cartelle();
    for (const auto &[percorso, presente] : std::as_const(cambi))
        emit cambiato(percorso, presente);
    emit percorsi_ricontrollati();
    if (m_ricerca)
        cerca_nuove();
}

// Each port by its path and the time its node last changed, so that a
// node made again under a name just freed (a terminal's number is given
// again at once) is a new port.
QHash<QString, qint64> SorveglianzaDispositivi::porte_presenti()
{
    QStringList percorsi;
    for (const PortaSistema &p : porte_sistema())
        percorsi << p.percorso;
    // The system's list leaves pseudo-terminals out.
    const QDir pts(CARTELLA_PTS);
    for (const QString &nome : pts.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        bool numero = false;
        nome.toUInt(&numero);
        if (numero)
            percorsi << pts.filePath(nome);
    }
    QHash<QString, qint64> porte;
    for (const QString &p : std::as_const(percorsi)) {
        struct stat nodo;
        if (::stat(QFile::encodeName(p).constData(), &nodo) == 0)
            porte.insert(p, nodo.st_ctim.tv_sec * 1'000'000'000LL + nodo.st_ctim.tv_nsec);
    }
    return porte;
}

void SorveglianzaDispositivi::cerca_porte_nuove()
{
    m_porte_note = porte_presenti();
    m_ricerca = true;
    sorveglia_cartelle();
}

void SorveglianzaDispositivi::smetti_ricerca()
{
    m_ricerca = false;
    m_porte_note.clear();
    sorveglia_cartelle();
}

// A port that comes and goes again before it is looked at is not told.
void SorveglianzaDispositivi::cerca_nuove()
{
    const QHash<QString, qint64> ora = porte_presenti();
    QStringList nuove;
    for (auto it = ora.constBegin(); it != ora.constEnd(); ++it) {
        if (m_porte_note.value(it.key(), -1) != it.value())
            nuove << it.key();
    }
    m_porte_note = ora;
    nuove.sort();
    for (const QString &p : std::as_const(nuove)) {
        if (!m_ricerca)
            break;
        emit porta_nuova(p);
    }
}
