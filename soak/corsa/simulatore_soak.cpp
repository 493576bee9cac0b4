// SPDX-License-Identifier: GPL-3.0-or-later
// One m5sim of a cycle, with its trace, summary and link in the cycle's folder.
#include "simulatore_soak.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <unistd.h>

SimulatoreSoak::SimulatoreSoak(const QString &programma, const QString &cartella, int numero,
                               const QStringList &argomenti)
    : m_cartella(cartella), m_numero(numero), m_argomenti(argomenti),
      m_processo(programma, this->argomenti(),
                 {ProcessoM5sim::Errori::File, file("traccia", ".txt"), false, 3000})
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

bool SimulatoreSoak::avvia(QString &errore)
{
    if (!m_processo.avvia(errore))
        return false;
    m_terminale = ::open(QFile::encodeName(m_processo.percorso()).constData(),
                         O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return true;
}

QList<ByteTraccia> SimulatoreSoak::traccia() const
{
    QList<ByteTraccia> eventi;
    QFile f(file("traccia", ".txt"));
    if (!f.open(QIODevice::ReadOnly))
        return eventi;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        if (const auto b = interpreta_riga_traccia(std::string_view(riga.constData(), riga.size())))
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
