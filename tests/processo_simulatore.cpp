// SPDX-License-Identifier: GPL-3.0-or-later
#include "processo_simulatore.h"

#include <QDeadlineTimer>

ProcessoSimulatore::ProcessoSimulatore(const QStringList &argomenti)
    : m_processo(eseguibile(), QStringList{QStringLiteral("--trace")} + argomenti,
                 {ProcessoM5sim::Errori::Tubo, QString(), true})
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
    QString errore;
    return m_processo.avvia(errore, ms);
}

void ProcessoSimulatore::leggi_errori()
{
    m_resto_errori += m_processo.prendi_errori();
    qsizetype inizio = 0;
    for (qsizetype fine; (fine = m_resto_errori.indexOf('\n', inizio)) >= 0; inizio = fine + 1) {
        const std::string_view riga(m_resto_errori.constData() + inizio,
                                    static_cast<std::size_t>(fine - inizio));
        if (const auto b = interpreta_riga_traccia(riga))
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
    for (;;) {
        if (byte(entrata).size() >= n)
            return true;
        if (!m_processo.in_corso())
            return byte(entrata).size() >= n;
        if (scadenza.hasExpired())
            return false;
        m_processo.attendi_errori(static_cast<int>(scadenza.remainingTime()));
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
    const bool finito = m_processo.attendi_fine(ms);
    leggi_errori();
    return finito;
}

int ProcessoSimulatore::esito() const
{
    const Processo::Fine &fine = m_processo.fine();
    return fine.finito && fine.segnale == 0 ? fine.esito : -1;
}

void ProcessoSimulatore::termina()
{
    m_processo.ferma();
    leggi_errori();
}
