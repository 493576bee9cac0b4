// SPDX-License-Identifier: GPL-3.0-or-later
#include "scadenze.h"

#include "blocco.h"
#include "celle.h"
#include "ricevitore.h"
#include "simulatore_tracciato.h"
#include "tempi.h"
#include "valori_unita.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {
constexpr int SIMULATORI = 4; // of each kind, all on one thread
constexpr int CONFERME = 5;   // per simulator
constexpr int RISPOSTE = 3;
constexpr int ANNUNCI = 3;
constexpr int ATTESA_MS = 1000; // the --wait of the announcement runs

using Operazione = Ricevitore::Operazione;

// Repeats one kind of time-out on one simulator: each time a fresh open,
// the announcement, then the wait that is to run out, timed from its start.
class Misura : public QObject
{
public:
    Misura(const QString &porta, Operazione tipo, int volte, QList<double> &serie)
        : m_tipo(tipo), m_volte(volte), m_serie(serie)
    {
        m_ricevitore.porta().mappa(PortaSeriale::PRIMA, porta);
        m_ricevitore.imposta_limite_risposta(tempi::TIME_OUT_CONFERMA_MS);
        connect(&m_ricevitore, &Ricevitore::concluso, this, &Misura::concluso);
    }

    void avvia()
    {
        if (m_volte-- <= 0 || !m_ricevitore.apri()) {
            finita();
            return;
        }
        m_ricevitore.imposta_limite_annuncio(
            m_tipo == Operazione::Annuncio ? std::optional<int>(ATTESA_MS) : std::nullopt);
        m_orologio.start();
        m_ricevitore.attendi_annuncio();
    }

    std::function<void()> fine;

private:
    void concluso(const Ricevitore::Risultato &r)
    {
        if (r.operazione == m_tipo && r.esito == Ricevitore::EsitoOperazione::TimeOut) {
            m_serie << m_orologio.nsecsElapsed() / 1e6;
            // A write time-out leaves the unit in its dialogue until told.
            m_ricevitore.apri();
            m_ricevitore.termina_dialogo();
            m_ricevitore.chiudi();
            avvia();
            return;
        }
        if (r.operazione != Operazione::Annuncio || !r.riuscito()) {
            m_ricevitore.chiudi();
            avvia();
            return;
        }
        m_orologio.start();
        if (m_tipo == Operazione::Lettura)
            m_ricevitore.leggi();
        else
            m_ricevitore.scrivi(blocco_fabbrica(Banda::UHF), CELLA_MARCA);
    }
    void finita()
    {
        if (fine)
            fine();
    }

    Ricevitore m_ricevitore;
    const Operazione m_tipo;
    int m_volte;
    QList<double> &m_serie;
    QElapsedTimer m_orologio;
};

void stampa(const char *nome, QList<double> ms, int promessi)
{
    std::sort(ms.begin(), ms.end());
    if (ms.isEmpty()) {
        std::printf("  %-34s no time-out measured\n", nome);
        return;
    }
    const bool entro = ms.first() >= promessi && ms.last() <= promessi + 50;
    std::printf("  %-34s n=%-3lld min %9.3f ms  max %9.3f ms  goal [%d, %d]: %s\n", nome,
                static_cast<long long>(ms.size()), ms.first(), ms.last(), promessi, promessi + 50,
                entro ? "met" : "MISSED");
}
} // namespace

void misura_scadenze()
{
    QList<double> conferma, risposta, annuncio;
    std::vector<std::unique_ptr<SimulatoreTracciato>> simulatori;
    std::vector<std::unique_ptr<Misura>> misure;
    auto aggiungi = [&](const QStringList &argomenti, Operazione tipo, int volte,
                        QList<double> &serie) {
        simulatori.push_back(std::make_unique<SimulatoreTracciato>(argomenti));
        if (simulatori.back()->avvia())
            misure.push_back(
                std::make_unique<Misura>(simulatori.back()->percorso(), tipo, volte, serie));
    };
    for (int i = 0; i < SIMULATORI; ++i) {
        aggiungi({QStringLiteral("--no-ack-from"), QStringLiteral("0")}, Operazione::Scrittura,
                 CONFERME, conferma);
        aggiungi({QStringLiteral("--reply-delay-ms"), QStringLiteral("4500")}, Operazione::Lettura,
                 RISPOSTE, risposta);
        aggiungi({QStringLiteral("--silent")}, Operazione::Annuncio, ANNUNCI, annuncio);
    }
    QEventLoop ciclo;
    std::size_t in_corso = misure.size();
    for (auto &m : misure)
        m->fine = [&in_corso, &ciclo] {
            if (--in_corso == 0)
                ciclo.quit();
        };
    for (auto &m : misure)
        m->avvia();
    if (in_corso > 0)
        ciclo.exec();
    std::printf("Bounded waits: from the wait's start to its time-out; %zu engines on one\n"
                "  thread, each with its own m5sim\n",
                misure.size());
    stampa("acknowledgement (Timer1)", conferma, tempi::TIME_OUT_CONFERMA_MS);
    stampa("read reply (m5ctl)", risposta, tempi::TIME_OUT_CONFERMA_MS);
    stampa("announcement (m5ctl --wait 1)", annuncio, ATTESA_MS);
    std::printf("\n");
}
