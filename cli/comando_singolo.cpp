// SPDX-License-Identifier: GPL-3.0-or-later
#include "comando_singolo.h"

#include "posto.h"
#include "segnali.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int AVVISO_ATTESA_MS = 1000;

// "  cella 12/62" on the terminal while cells go to and fro, blanked after.
class RigaProgresso
{
public:
    void mostra(int cella, int ultima)
    {
        std::fprintf(stderr, "\r  cella %d/%d", cella, ultima);
        std::fflush(stderr);
        m_aperta = true;
    }
    void chiudi()
    {
        if (!m_aperta)
            return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_aperta = false;
    }

private:
    bool m_aperta = false;
};
} // namespace

UnitaSingola esegui_unita_singola(const QString &percorso, int com, const Incarico &incarico,
                                  Traccia *traccia)
{
    UnitaSingola u;
    Ricevitore ricevitore;
    u.porta = Posto::indirizza(ricevitore.porta(), percorso, com);
    ricevitore.porta().imposta_traccia(traccia);
    DialogoUnita dialogo(ricevitore, incarico);
    Segnali segnali;
    QObject::connect(&segnali, &Segnali::interruzione, &dialogo, &DialogoUnita::interrompi);
    QEventLoop ciclo;
    QObject::connect(&dialogo, &DialogoUnita::conclusa, &ciclo,
                     [&u, &ciclo](const EsitoUnita &esito) {
                         u.esito = esito;
                         ciclo.quit();
                     });

    const bool terminale = ::isatty(STDERR_FILENO) == 1;
    RigaProgresso riga;
    QTimer avviso;
    if (terminale) {
        avviso.setSingleShot(true);
        QObject::connect(&avviso, &QTimer::timeout, &dialogo, [&ricevitore] {
            std::fprintf(stderr,
                         "m5ctl: waiting for the receiver on %s; Ctrl-C or --wait ends the wait\n",
                         qPrintable(ricevitore.porta().dispositivo()));
            std::fflush(stderr);
        });
        QObject::connect(&dialogo, &DialogoUnita::iniziata, &avviso, &QTimer::stop);
        QObject::connect(
            &dialogo, &DialogoUnita::progresso, &dialogo,
            [&riga](Ricevitore::Operazione, int cella, int ultima) { riga.mostra(cella, ultima); });
        avviso.start(AVVISO_ATTESA_MS);
    }
    dialogo.avvia();
    if (dialogo.in_corso())
        ciclo.exec();
    riga.chiudi();
    return u;
}
