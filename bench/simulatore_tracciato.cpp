#include "simulatore_tracciato.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

SimulatoreTracciato::SimulatoreTracciato(const QStringList &argomenti) : m_argomenti(argomenti) {}

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
                     QStringList{QStringLiteral("--trace")} + m_argomenti);
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

QList<EventoLinea> SimulatoreTracciato::traccia() const
{
    QList<EventoLinea> eventi;
    QFile file(m_cartella.filePath(QStringLiteral("traccia")));
    if (!file.open(QIODevice::ReadOnly))
        return eventi;
    // "<s>.<us> in|out <hex>"; anything else is a diagnostic and skipped.
    for (const QByteArray &riga : file.readAll().split('\n')) {
        const QList<QByteArray> parti = riga.split(' ');
        if (parti.size() != 3 || (parti[1] != "in" && parti[1] != "out"))
            continue;
        const QList<QByteArray> tempo = parti[0].split('.');
        bool ok_s = false, ok_us = false, ok_b = false;
        const qint64 s = tempo.value(0).toLongLong(&ok_s);
        const qint64 us = tempo.value(1).toLongLong(&ok_us);
        const uint byte = parti[2].toUInt(&ok_b, 16);
        if (tempo.size() == 2 && ok_s && ok_us && ok_b)
            eventi.append({s * 1'000'000 + us, parti[1] == "in", static_cast<quint8>(byte)});
    }
    return eventi;
}

bool SimulatoreTracciato::attendi_ricevuti(int n, int ms) const
{
    const QDeadlineTimer scadenza(ms);
    for (;;) {
        int ricevuti = 0;
        for (const EventoLinea &e : traccia())
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
