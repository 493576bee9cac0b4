// SPDX-License-Identifier: GPL-3.0-or-later
#include "scadenze.h"

#include "collegamento.h"
#include "simulatore_tracciato.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {
constexpr int FILI = 4;
constexpr int CONFERME_PER_FILO = 5;
constexpr int RISPOSTE_PER_FILO = 3;
constexpr int ANNUNCI_PER_FILO = 3;
constexpr int ATTESA_MS = 1000; // the --wait of the announcement runs

// A front end that stamps the first turn of each wait and the warning that
// ends it. The first turn comes after the wait's restart, so the interval
// measured is never longer than the real one.
class Cronometro : public Controlli
{
public:
    Cronometro() { m_orologio.start(); }

    QString stato() const override { return m_stato; }
    void imposta_stato(const QString &testo) override
    {
        m_stato = testo;
        m_nuova_attesa = true;
    }
    QString testo(Campo) const override { return {}; }
    void imposta_testo(Campo, const QString &) override {}
    void seleziona(Opzione) override {}
    void imposta_banda(const QString &) override {}
    void mostra_progresso(bool) override {}
    void massimo_progresso(int) override {}
    void valore_progresso(int) override { m_nuova_attesa = true; }
    void abilita(Comando, bool) override {}
    QString testo_porta() const override { return QStringLiteral("Com 1"); }
    void avviso(const QString &) override
    {
        m_durata_ms = (m_orologio.nsecsElapsed() - m_inizio) / 1e6;
    }
    void beep() override {}
    void turno(bool dati) override
    {
        if (m_nuova_attesa) {
            m_inizio = m_orologio.nsecsElapsed();
            m_nuova_attesa = false;
        }
        Controlli::turno(dati);
    }
    void termina() override {}

    double durata_ms() const { return m_durata_ms; }

private:
    QElapsedTimer m_orologio;
    QString m_stato;
    bool m_nuova_attesa = false;
    qint64 m_inizio = 0;
    double m_durata_ms = 0;
};

struct Serie
{
    QMutex mutex;
    QList<double> conferma, risposta, annuncio;
};

// One time-out of the given kind on a fresh connection; its length in ms.
double una_scadenza(const QString &porta, const std::function<void(Collegamento &)> &fai)
{
    Cronometro c;
    Collegamento coll(c);
    coll.porta().mappa(1, porta);
    fai(coll);
    coll.porta().chiudi();
    return c.durata_ms();
}

void filo(Serie &serie)
{
    SimulatoreTracciato muto({QStringLiteral("--no-ack-from"), QStringLiteral("0")});
    SimulatoreTracciato lento({QStringLiteral("--reply-delay-ms"), QStringLiteral("4500")});
    SimulatoreTracciato silente({QStringLiteral("--silent")});
    if (!muto.avvia() || !lento.avvia() || !silente.avvia())
        return;
    auto aggiungi = [&serie](QList<double> &l, double ms) {
        const QMutexLocker b(&serie.mutex);
        l << ms;
    };
    for (int i = 0; i < CONFERME_PER_FILO; ++i)
        aggiungi(serie.conferma, una_scadenza(muto.percorso(), [](Collegamento &coll) {
                     coll.Cmd_connetti_Click();
                     coll.Cmd_init_uhf_Click();
                     // The time-out closed the port without "E": the unit is
                     // still in its dialogue until told.
                     coll.porta().apri();
                     coll.porta().scrivi(QByteArray(1, lettera::FINE));
                 }));
    for (int i = 0; i < RISPOSTE_PER_FILO; ++i)
        aggiungi(serie.risposta, una_scadenza(lento.percorso(), [](Collegamento &coll) {
                     coll.imposta_limite_risposta(Collegamento::TIME_OUT_ACK_MS);
                     coll.Cmd_connetti_Click();
                     coll.Cmd_disconetti_Click();
                 }));
    for (int i = 0; i < ANNUNCI_PER_FILO; ++i)
        aggiungi(serie.annuncio, una_scadenza(silente.percorso(), [](Collegamento &coll) {
                     coll.imposta_limite_annuncio(ATTESA_MS);
                     coll.Cmd_connetti_Click();
                     coll.Cmd_disconetti_Click();
                 }));
}

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
    Serie serie;
    QList<QThread *> fili;
    for (int i = 0; i < FILI; ++i) {
        fili << QThread::create([&serie] { filo(serie); });
        fili.last()->start();
    }
    for (QThread *f : fili) {
        f->wait();
        delete f;
    }
    std::printf("Bounded waits: from the wait's first turn (after its restart) to its time-out;\n"
                "  %d threads at once, each with its own m5sim\n",
                FILI);
    stampa("acknowledgement (Timer1)", serie.conferma, Collegamento::TIME_OUT_ACK_MS);
    stampa("read reply (m5ctl)", serie.risposta, Collegamento::TIME_OUT_ACK_MS);
    stampa("announcement (m5ctl --wait 1)", serie.annuncio, ATTESA_MS);
    std::printf("\n");
}
