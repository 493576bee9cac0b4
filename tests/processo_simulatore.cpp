// SPDX-License-Identifier: GPL-3.0-or-later
#include "processo_simulatore.h"

#include <QDeadlineTimer>

ProcessoSimulatore::ProcessoSimulatore(const QStringList &argomenti)
    : m_argomenti(QStringList{QStringLiteral("--trace")} + argomenti)
{
}

ProcessoSimulatore::~ProcessoSimulatore()
{
    termina();
}

QString ProcessoSimulatore::eseguibile()
{
    return QStringLiteral(M5SIM_PATH);
}

bool ProcessoSimulatore::avvia(int ms)
{
    const QDeadlineTimer scadenza(ms);
    m_processo.setProgram(eseguibile());
    m_processo.setArguments(m_argomenti);
    m_processo.start(QIODevice::ReadOnly);
    if (!m_processo.waitForStarted(ms))
        return false;
    m_processo.setReadChannel(QProcess::StandardOutput);
    for (;;) {
        m_resto_uscita += m_processo.readAllStandardOutput();
        const qsizetype fine = m_resto_uscita.indexOf('\n');
        if (fine >= 0) {
            m_percorso = QString::fromLocal8Bit(m_resto_uscita.left(fine));
            m_resto_uscita.remove(0, fine + 1);
            return !m_percorso.isEmpty();
        }
        if (m_processo.state() != QProcess::Running || scadenza.hasExpired())
            return false;
        m_processo.waitForReadyRead(static_cast<int>(scadenza.remainingTime()));
    }
}

void ProcessoSimulatore::leggi_errori()
{
    // Without an event loop QProcess only reads the pipe inside a wait; a
    // zero wait takes what the simulator has written so far.
    if (m_processo.state() == QProcess::Running) {
        m_processo.setReadChannel(QProcess::StandardError);
        while (m_processo.waitForReadyRead(0))
            m_resto_errori += m_processo.readAllStandardError();
    }
    m_resto_errori += m_processo.readAllStandardError();
    qsizetype inizio = 0;
    for (qsizetype fine; (fine = m_resto_errori.indexOf('\n', inizio)) >= 0; inizio = fine + 1) {
        const std::string_view riga(m_resto_errori.constData() + inizio,
                                    static_cast<std::size_t>(fine - inizio));
        if (const auto b = leggi_riga_traccia(riga))
            m_traccia.append(*b);
        else
            m_diagnostica << QString::fromLocal8Bit(riga.data(), qsizetype(riga.size()));
    }
    m_resto_errori.remove(0, inizio);
}

QList<ByteTraccia> ProcessoSimulatore::traccia()
{
    leggi_errori();
    return m_traccia;
}

QByteArray ProcessoSimulatore::byte(bool entrata)
{
    leggi_errori();
    QByteArray dati;
    for (const ByteTraccia &b : std::as_const(m_traccia))
        if (b.entrata == entrata)
            dati.append(static_cast<char>(b.byte));
    return dati;
}

QByteArray ProcessoSimulatore::ricevuti()
{
    return byte(true);
}

QByteArray ProcessoSimulatore::inviati()
{
    return byte(false);
}

QStringList ProcessoSimulatore::diagnostica()
{
    leggi_errori();
    return m_diagnostica;
}

bool ProcessoSimulatore::attendi_traccia(bool entrata, int n, int ms)
{
    const QDeadlineTimer scadenza(ms);
    m_processo.setReadChannel(QProcess::StandardError);
    for (;;) {
        if (byte(entrata).size() >= n)
            return true;
        if (m_processo.state() != QProcess::Running || scadenza.hasExpired())
            return false;
        m_processo.waitForReadyRead(static_cast<int>(scadenza.remainingTime()));
    }
}

bool ProcessoSimulatore::attendi_ricevuti(int n, int ms)
{
    return attendi_traccia(true, n, ms);
}

bool ProcessoSimulatore::attendi_inviati(int n, int ms)
{
    return attendi_traccia(false, n, ms);
}

bool ProcessoSimulatore::attendi_fine(int ms)
{
    const bool finito =
        m_processo.state() == QProcess::NotRunning || m_processo.waitForFinished(ms);
    leggi_errori();
    return finito;
}

bool ProcessoSimulatore::in_esecuzione() const
{
    return m_processo.state() != QProcess::NotRunning;
}

int ProcessoSimulatore::codice_uscita() const
{
    if (in_esecuzione() || m_processo.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_processo.exitCode();
}

void ProcessoSimulatore::termina()
{
    if (m_processo.state() == QProcess::NotRunning)
        return;
    m_processo.terminate();
    if (!m_processo.waitForFinished(3000)) {
        m_processo.kill();
        m_processo.waitForFinished(3000);
    }
    leggi_errori();
}
