// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulatore_tracciato.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

SimulatoreTracciato::SimulatoreTracciato(const QStringList &argomenti, bool traccia)
    : m_argomenti(argomenti), m_traccia(traccia)
{
}

SimulatoreTracciato::~SimulatoreTracciato()
{
    termina();
}

bool SimulatoreTracciato::avvia()
{
    if (!m_cartella.isValid())
        return false;
    m_processo.setStandardErrorFile(m_cartella.filePath(QStringLiteral("traccia")));
    m_processo.start(QStringLiteral(M5SIM_PATH),
                     (m_traccia ? QStringList{QStringLiteral("--trace")} : QStringList{}) +
                         m_argomenti);
    const QDeadlineTimer scadenza(5000);
    QByteArray uscita;
    while (!uscita.contains('\n')) {
        if (scadenza.hasExpired() ||
            !m_processo.waitForReadyRead(static_cast<int>(scadenza.remainingTime())))
            return false;
        uscita += m_processo.readAllStandardOutput();
    }
    m_percorso = QString::fromLocal8Bit(uscita.left(uscita.indexOf('\n')));
    return !m_percorso.isEmpty();
}

QList<ByteTraccia> SimulatoreTracciato::traccia() const
{
    QList<ByteTraccia> eventi;
    QFile file(m_cartella.filePath(QStringLiteral("traccia")));
    if (!file.open(QIODevice::ReadOnly))
        return eventi;
    // Diagnostics in the file are skipped.
    for (const QByteArray &riga : file.readAll().split('\n'))
        if (const auto b = leggi_riga_traccia(std::string_view(riga.constData(), riga.size())))
            eventi.append(*b);
    return eventi;
}

bool SimulatoreTracciato::attendi_ricevuti(int n, int ms) const
{
    const QDeadlineTimer scadenza(ms);
    for (;;) {
        int ricevuti = 0;
        for (const ByteTraccia &e : traccia())
            ricevuti += e.entrata ? 1 : 0;
        if (ricevuti >= n)
            return true;
        if (scadenza.hasExpired())
            return false;
        QThread::msleep(5);
    }
}

void SimulatoreTracciato::termina()
{
    if (m_processo.state() == QProcess::NotRunning)
        return;
    m_processo.terminate();
    if (!m_processo.waitForFinished(3000)) {
        m_processo.kill();
        m_processo.waitForFinished(3000);
    }
}
