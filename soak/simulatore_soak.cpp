// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulatore_soak.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr int AVVIO_MS = 5000;
constexpr int FERMATA_MS = 3000;

// The first line on the pipe, the terminal's path; empty after ms.
QByteArray prima_riga(int fd, int ms)
{
    QByteArray letto;
    while (!letto.contains('\n')) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return {};
        char dati[256];
        const ssize_t n = ::read(fd, dati, sizeof dati);
        if (n <= 0)
            return {};
        letto.append(dati, n);
    }
    return letto.left(letto.indexOf('\n'));
}
} // namespace

SimulatoreSoak::SimulatoreSoak(const QString &cartella, int numero, const QStringList &argomenti)
    : m_cartella(cartella), m_numero(numero), m_argomenti(argomenti)
{
}

SimulatoreSoak::~SimulatoreSoak()
{
    if (m_terminale >= 0)
        ::close(m_terminale);
}

QString SimulatoreSoak::file(const char *nome, const char *estensione) const
{
    return QStringLiteral("%1/%2%3%4")
        .arg(m_cartella, QLatin1String(nome), QString::number(m_numero), QLatin1String(estensione));
}

QStringList SimulatoreSoak::argomenti() const
{
    return QStringList{QStringLiteral("--trace"), QStringLiteral("--summary"),
                       file("riepilogo", ".json"), QStringLiteral("--link"), collegamento()} +
           m_argomenti;
}

QString SimulatoreSoak::collegamento() const
{
    return file("porta");
}

bool SimulatoreSoak::avvia(const QString &programma, QString &errore)
{
    int tubo[2];
    if (::pipe2(tubo, O_CLOEXEC) != 0) {
        errore = QStringLiteral("pipe failed");
        return false;
    }
    const QByteArray traccia = QFile::encodeName(file("traccia", ".txt"));
    const int fd_traccia =
        ::open(traccia.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool avviato =
        fd_traccia >= 0 && m_processo.avvia(programma, argomenti(), tubo[1], fd_traccia);
    ::close(tubo[1]);
    if (fd_traccia >= 0)
        ::close(fd_traccia);
    const QByteArray percorso = avviato ? prima_riga(tubo[0], AVVIO_MS) : QByteArray();
    ::close(tubo[0]);
    if (!percorso.isEmpty())
        m_terminale = ::open(percorso.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (percorso.isEmpty())
        errore = avviato ? QStringLiteral("printed no terminal within %1 ms").arg(AVVIO_MS)
                         : QStringLiteral("could not be started");
    return !percorso.isEmpty();
}

bool SimulatoreSoak::ferma()
{
    if (!m_processo.in_corso())
        return m_processo.attendi(-1);
    m_processo.segnala(SIGTERM);
    if (m_processo.attendi(FERMATA_MS))
        return true;
    m_processo.segnala(SIGKILL);
    m_processo.attendi(-1);
    return false;
}

QList<ByteTraccia> SimulatoreSoak::traccia() const
{
    QList<ByteTraccia> eventi;
    QFile f(file("traccia", ".txt"));
    if (!f.open(QIODevice::ReadOnly))
        return eventi;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        if (const auto b = leggi_riga_traccia(std::string_view(riga.constData(), riga.size())))
            eventi.append(*b);
    }
    return eventi;
}

std::optional<Riepilogo> SimulatoreSoak::riepilogo() const
{
    QFile f(file("riepilogo", ".json"));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    const QJsonArray celle = o.value(QStringLiteral("celle")).toArray();
    if (celle.size() != NUM_CELLE)
        return std::nullopt;
    Riepilogo r;
    for (int i = 0; i < NUM_CELLE; ++i)
        r.celle[i] = static_cast<std::uint8_t>(celle.at(i).toInt());
    r.scritture = o.value(QStringLiteral("scritture")).toInteger(-1);
    r.dialoghi = o.value(QStringLiteral("dialoghi")).toInteger(-1);
    r.unita = o.value(QStringLiteral("unita")).toInteger(-1);
    return r;
}
