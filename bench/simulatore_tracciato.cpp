// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulatore_tracciato.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

SimulatoreTracciato::SimulatoreTracciato(const QStringList &argomenti, bool traccia)
    : m_argomenti(argomenti), m_traccia(traccia),
      m_processo(QStringLiteral(M5SIM_PATH),
                 (traccia ? QStringList{QStringLiteral("--trace")} : QStringList{}) + argomenti,
                 {ProcessoM5sim::Errori::File, m_cartella.filePath(QStringLiteral("traccia"))})
{
}

SimulatoreTracciato::~SimulatoreTracciato()
{
    termina();
}

bool SimulatoreTracciato::avvia()
{
    QString errore;
    return m_cartella.isValid() && m_processo.avvia(errore);
}

QList<ByteTraccia> SimulatoreTracciato::traccia() const
{
    QList<ByteTraccia> eventi;
    QFile file(m_cartella.filePath(QStringLiteral("traccia")));
    if (!file.open(QIODevice::ReadOnly))
        return eventi;
    // Diagnostics in the file are skipped.
    for (const QByteArray &riga : file.readAll().split('\n'))
        if (const auto b = interpreta_riga_traccia(std::string_view(riga.constData(), riga.size())))
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
    m_processo.ferma();
}
