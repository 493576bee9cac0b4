// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver engine against the simulator: each operation's bytes on the wire, its result,
// and several ports served at once from one thread.
#include "processo_simulatore.h"
#include "ricevitore.h"

#include <QTest>

#include <memory>

using EsitoOperazione = Ricevitore::EsitoOperazione;
using Operazione = Ricevitore::Operazione;

namespace {
constexpr int ATTESA_MS = 15000;

QByteArray richieste_lettura()
{
    QByteArray filo;
    for (int t = 0; t <= ULTIMA_CELLA_LETTA; ++t)
        filo += QByteArray("R") + static_cast<char>(t);
    return filo;
}

QByteArray record(const Blocco &celle, int ultima)
{
    QByteArray filo;
    for (int i = 0; i <= ultima; ++i)
        filo += QByteArray("W") + static_cast<char>(i) + static_cast<char>(celle[std::size_t(i)]);
    return filo;
}

QByteArray come_byte(const Blocco &celle, int n)
{
    return QByteArray(reinterpret_cast<const char *>(celle.data()), n);
}

// The operations of a test, run one after the other on one engine as each ends.
struct Passo
{
    Operazione operazione;
    std::optional<int> limite = std::nullopt;
};

class Impianto
{
public:
    explicit Impianto(const QStringList &argomenti) : sim(argomenti)
    {
        avviato = sim.avvia();
        if (avviato)
            ric.porta().mappa(PortaSeriale::PRIMA, sim.percorso());
        QObject::connect(&ric, &Ricevitore::concluso, &ric,
                         [this](const Ricevitore::Risultato &r) { risultati.append(r); });
    }

    // Runs the steps in order until one fails; the result of each.
    void esegui(const QList<Passo> &passi, const Blocco &celle = blocco_fabbrica(Banda::VHF))
    {
        QVERIFY(ric.apri());
        for (const Passo &p : passi) {
            const qsizetype prima = risultati.size();
            QVERIFY(avvia(p, celle));
            QVERIFY(QTest::qWaitFor([&] { return risultati.size() > prima; }, ATTESA_MS));
            if (!risultati.last().riuscito())
                return;
        }
    }

    bool avvia(const Passo &p, const Blocco &celle)
    {
        switch (p.operazione) {
        case Operazione::Annuncio:
            ric.imposta_limite_annuncio(p.limite);
            return ric.attendi_annuncio();
        case Operazione::Lettura:
            ric.imposta_limite_risposta(p.limite);
            return ric.leggi();
        case Operazione::Scrittura:
            return ric.scrivi(celle, CELLA_MARCA);
        case Operazione::Rimozione:
            return ric.attendi_rimozione(p.limite.value_or(300));
        case Operazione::Nessuna:
            break;
        }
        return false;
    }

    ProcessoSimulatore sim;
    Ricevitore ric;
    QList<Ricevitore::Risultato> risultati;
    bool avviato = false;
};
} // namespace

Q_DECLARE_METATYPE(QList<Passo>)

class TstRicevitore : public QObject
{
    Q_OBJECT

private slots:
    void operazioni_data();
    void operazioni();
    void rilettura_diversa();
    void interruzione_e_chiusura_data();
    void interruzione_e_chiusura();
    void una_operazione_alla_volta();
    void porte_su_un_solo_filo();
};

void TstRicevitore::operazioni_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QList<Passo>>("passi");
    QTest::addColumn<EsitoOperazione>("esito"); // of the last step run
    QTest::addColumn<int>("cella");             // of the last request
    QTest::addColumn<QByteArray>("filo");       // all the simulator received
    QTest::addColumn<bool>("con_motivo");       // the system's reason is given

    const Blocco vhf = blocco_fabbrica(Banda::VHF);
    const QList<Passo> tutto{{Operazione::Annuncio},
                             {Operazione::Lettura},
                             {Operazione::Scrittura},
                             {Operazione::Lettura}};
    const QByteArray completo =
        "U" + richieste_lettura() + record(vhf, CELLA_MARCA) + richieste_lettura();
    QTest::newRow("annuncio, lettura, scrittura, lettura")
        << QStringList{"--block", "uhf"} << tutto << EsitoOperazione::Riuscito << ULTIMA_CELLA_LETTA
        << completo << false;
    // Bytes before the "K" are dropped, and "U" goes out once.
    QTest::newRow("rumore prima del K")
        << QStringList{"--noise", "XY"} << QList<Passo>{{Operazione::Annuncio}}
        << EsitoOperazione::Riuscito << -1 << QByteArray("U") << false;
    QTest::newRow("annuncio oltre il limite")
        << QStringList{"--silent"} << QList<Passo>{{Operazione::Annuncio, 200}}
        << EsitoOperazione::TimeOut << -1 << QByteArray() << false;
    QTest::newRow("risposta oltre il limite")
        << QStringList{"--no-reply-at", "5"}
        << QList<Passo>{{Operazione::Annuncio}, {Operazione::Lettura, 300}}
        << EsitoOperazione::TimeOut << 5 << "U" + richieste_lettura().left(12) << false;
    // Only a lone "K" acknowledges: an "X" first leaves the wait to its 4000 ms.
    QTest::newRow("conferma errata")
        << QStringList{"--bad-ack-at", "2"} << tutto << EsitoOperazione::TimeOut << 2
        << "U" + richieste_lettura() + record(vhf, 2) << false;
    QTest::newRow("nessuna conferma")
        << QStringList{"--no-ack-from", "0"} << tutto << EsitoOperazione::TimeOut << 0
        << "U" + richieste_lettura() + record(vhf, 0) << false;
    // A doubled "K" acknowledges the next cell as soon as it is written; the last "K" is then
    // the reply to the read of cell 0.
    QTest::newRow("conferma doppia")
        << QStringList{"--double-ack-at", "10"} << tutto << EsitoOperazione::Riuscito
        << ULTIMA_CELLA_LETTA << completo << false;
    QTest::newRow("la linea cade durante la scrittura")
        << QStringList{"--hangup-after", "200"} << tutto << EsitoOperazione::PortaChiusa << 24
        << completo.left(200) << true;
}

void TstRicevitore::operazioni()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QList<Passo>, passi);
    QFETCH(EsitoOperazione, esito);
    QFETCH(int, cella);
    QFETCH(QByteArray, filo);
    QFETCH(bool, con_motivo);

    Impianto b(argomenti);
    QVERIFY(b.avviato);
    b.esegui(passi);
    if (QTest::currentTestFailed())
        return;
    const Ricevitore::Risultato &r = b.risultati.last();
    QCOMPARE(r.esito, esito);
    QCOMPARE(r.cella, cella);
    QCOMPARE(r.motivo.isEmpty(), !con_motivo);
    if (r.operazione == Operazione::Scrittura)
        QCOMPARE(r.celle_scritte, come_byte(blocco_fabbrica(Banda::VHF), cella + 1));
    if (r.operazione == Operazione::Lettura && r.riuscito()) {
        const bool doppia = argomenti.contains(QStringLiteral("--double-ack-at"));
        QByteArray attese = come_byte(blocco_fabbrica(Banda::VHF), CELLE_LETTE);
        // The left-over "K" shifts every cell by one.
        if (doppia)
            attese = "K" + attese.chopped(1);
        QCOMPARE(r.celle_lette, attese);
    }
    b.ric.chiudi();
    QVERIFY(b.sim.attendi_ricevuti(int(filo.size()), ATTESA_MS) || filo.isEmpty());
    QCOMPARE(b.sim.ricevuti(), filo);
}

void TstRicevitore::rilettura_diversa()
{
    Impianto b({"--flip-after-write", "9"});
    QVERIFY(b.avviato);
    QVERIFY(b.ric.apri());
    QList<Ricevitore::Risultato> &r = b.risultati;
    QVERIFY(b.ric.attendi_annuncio());
    QVERIFY(QTest::qWaitFor([&] { return r.size() == 1; }, ATTESA_MS));
    QVERIFY(b.ric.scrivi(blocco_fabbrica(Banda::UHF), CELLA_MARCA));
    QVERIFY(QTest::qWaitFor([&] { return r.size() == 2; }, ATTESA_MS));
    QCOMPARE(r.last().esito, EsitoOperazione::Riuscito);
    QVERIFY(b.ric.rileggi());
    QVERIFY(QTest::qWaitFor([&] { return r.size() == 3; }, ATTESA_MS));
    QCOMPARE(r.last().esito, EsitoOperazione::RiletturaDiversa);
    QCOMPARE(r.last().cella_diversa, 9);
    QCOMPARE(r.last().celle_lette.size(), CELLE_LETTE);
}

void TstRicevitore::interruzione_e_chiusura_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<Operazione>("operazione");
    QTest::addColumn<bool>("chiudi"); // else interrompi()
    QTest::addColumn<EsitoOperazione>("esito");

    QTest::newRow("interrotto in attesa del K")
        << QStringList{"--silent"} << Operazione::Annuncio << false << EsitoOperazione::Interrotto;
    QTest::newRow("chiusa in attesa del K")
        << QStringList{"--silent"} << Operazione::Annuncio << true << EsitoOperazione::PortaChiusa;
    QTest::newRow("chiusa in attesa di una conferma")
        << QStringList{"--no-ack-from", "0"} << Operazione::Scrittura << true
        << EsitoOperazione::PortaChiusa;
    QTest::newRow("interrotto in attesa di una risposta")
        << QStringList{"--no-reply-at", "0"} << Operazione::Lettura << false
        << EsitoOperazione::Interrotto;
}

// What ends a wait on purpose ends it at once, with no reason from the system.
void TstRicevitore::interruzione_e_chiusura()
{
    QFETCH(QStringList, argomenti);
    QFETCH(Operazione, operazione);
    QFETCH(bool, chiudi);
    QFETCH(EsitoOperazione, esito);

    Impianto b(argomenti);
    QVERIFY(b.avviato);
    QVERIFY(b.ric.apri());
    QVERIFY(b.avvia({operazione}, blocco_fabbrica(Banda::UHF)));
    QTest::qWait(300);
    QVERIFY(b.risultati.isEmpty());
    if (chiudi)
        b.ric.chiudi();
    else
        b.ric.interrompi();
    QCOMPARE(b.risultati.size(), 1);
    QCOMPARE(b.risultati.last().esito, esito);
    QVERIFY(b.risultati.last().motivo.isEmpty());
    QCOMPARE(b.ric.occupato(), false);
    QCOMPARE(b.ric.aperta(), !chiudi);
}

void TstRicevitore::una_operazione_alla_volta()
{
    Impianto b({"--silent"});
    QVERIFY(b.avviato);
    QVERIFY(!b.ric.leggi()); // the port is closed
    QVERIFY(b.ric.apri());
    QVERIFY(b.ric.attendi_annuncio());
    QVERIFY(!b.ric.leggi());
    QVERIFY(!b.ric.scrivi(blocco_fabbrica(Banda::UHF), CELLA_CKS));
    QVERIFY(b.risultati.isEmpty());
    b.ric.chiudi();
    QCOMPARE(b.risultati.size(), 1);
    QTest::qWait(100);
    QVERIFY(b.sim.ricevuti().isEmpty());
}

// Eight receivers served from this one thread, each through its whole dialogue.
void TstRicevitore::porte_su_un_solo_filo()
{
    constexpr int N = 8;
    std::vector<std::unique_ptr<Impianto>> impianti;
    for (int i = 0; i < N; ++i) {
        impianti.push_back(std::make_unique<Impianto>(QStringList{"--block", "uhf"}));
        QVERIFY(impianti.back()->avviato);
    }
    // Each engine runs its next step as its last one ends.
    for (auto &b : impianti) {
        Impianto *impianto = b.get();
        QVERIFY(impianto->ric.apri());
        QObject::connect(&impianto->ric, &Ricevitore::concluso, &impianto->ric,
                         [impianto](const Ricevitore::Risultato &r) {
                             if (!r.riuscito())
                                 return;
                             if (r.operazione == Operazione::Annuncio)
                                 impianto->ric.leggi();
                             else if (r.operazione == Operazione::Lettura &&
                                      impianto->risultati.size() == 2)
                                 impianto->ric.scrivi(blocco_fabbrica(Banda::VHF), CELLA_MARCA);
                             else if (r.operazione == Operazione::Scrittura)
                                 impianto->ric.rileggi();
                         });
        QVERIFY(impianto->ric.attendi_annuncio());
    }
    for (auto &b : impianti) {
        QVERIFY(QTest::qWaitFor([&] { return b->risultati.size() == 4; }, 4 * ATTESA_MS));
        QCOMPARE(b->risultati.last().esito, EsitoOperazione::Riuscito);
        QCOMPARE(b->risultati.last().celle_lette,
                 come_byte(blocco_fabbrica(Banda::VHF), CELLE_LETTE));
    }
}

QTEST_GUILESS_MAIN(TstRicevitore)
#include "tst_ricevitore.moc"
