// SPDX-License-Identifier: GPL-3.0-or-later
// The window's link handlers: programming, its refusals, and the factory initialisation.
#include "filo_collegamento.h"
#include "impianto_collegamento.h"

#include <QTest>

class TstCollegamentoScrittura : public QObject
{
    Q_OBJECT

private:
    CartellaProva m_cartella;

private slots:
    void initTestCase();

    void programmazione_data();
    void programmazione();
    void programma_disabilitato_durante();
    void programmazione_rifiutata_data();
    void programmazione_rifiutata();
    void lettura_errata_blocca_programmazione();
    void inizializzazione_data();
    void inizializzazione();
};

void TstCollegamentoScrittura::initTestCase()
{
    QVERIFY(m_cartella.valida());
}

void TstCollegamentoScrittura::programmazione_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<QStringList>("modifiche");
    QTest::addColumn<QStringList>("clic");
    QTest::addColumn<QByteArray>("atteso");
    QTest::addColumn<QStringList>("letti"); // code and frequency after the closing read

    const QByteArray uhf = blocco_uhf();
    const QByteArray vhf = blocco_vhf();
    QTest::newRow("codice 1234") << vhf << QStringList{"Codice=1234"} << QStringList()
                                 << modifica(vhf, {{7, 4}, {8, 210}, {61, 154}})
                                 << QStringList{"1234", "161"};
    QTest::newRow("codice 4096") << uhf << QStringList{"Codice=4096"} << QStringList()
                                 << modifica(uhf, {{7, 16}, {8, 0}, {61, 220}})
                                 << QStringList{"4096", "460"};
    QTest::newRow("frequenza 160.9125 VHF")
        << vhf << QStringList{"Frequenza=160.9125"} << QStringList()
        << modifica(vhf, {{1, 0}, {2, 227}, {3, 114}, {61, 254}}) << QStringList{"1", "160.9125"};
    QTest::newRow("frequenza 440.9125 UHF")
        << uhf << QStringList{"Frequenza=440.9125"} << QStringList()
        << modifica(uhf, {{1, 1}, {2, 238}, {3, 114}, {61, 242}}) << QStringList{"1", "440.9125"};
    // Between two channels: the window then shows the channel the receiver got.
    QTest::newRow("frequenza fuori griglia")
        << vhf << QStringList{"Frequenza=150.0025"} << QStringList()
        << modifica(vhf, {{2, 214}, {3, 34}, {61, 91}}) << QStringList{"1", "150.0125"};
    QTest::newRow("tempi e opzioni")
        << uhf << QStringList{"TempoRele=255", "TempoImp=1"} << QStringList{BASSI, IMP, BIDI}
        << modifica(uhf, {{9, 0}, {10, 1}, {11, 255}, {12, 1}, {13, 1}, {61, 11}})
        << QStringList{"1", "460"};
    // Cells 0 and 4-6 go back as read, the reserved ones as 0.
    const QByteArray propri = blocco({7, 0, 228, 0, 9, 8, 7, 0, 1, 1, 0, 30, 3, 0}, 217, 'V');
    QByteArray con_riservate = propri;
    for (int i = 14; i <= 60; ++i)
        con_riservate[i] = static_cast<char>(0xAA);
    QTest::newRow("celle non modificabili")
        << con_riservate << QStringList() << QStringList() << propri << QStringList{"1", "161"};
}

void TstCollegamentoScrittura::programmazione()
{
    QFETCH(QByteArray, blocco);
    QFETCH(QStringList, modifiche);
    QFETCH(QStringList, clic);
    QFETCH(QByteArray, atteso);
    QFETCH(QStringList, letti);

    ImpiantoCollegamento b(blocco_da(m_cartella, blocco));
    PASSO(b.connetti());
    digita_campi(b.c, modifiche);
    clicca(b.coll, clic);

    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size() + 186 + 126),
                filo_connessione() + filo_programmazione(atteso) + "E");
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.progresso, avanzamento(61) + avanzamento(62));
    QCOMPARE(testi_campi(b.c.testi).mid(0, 2), letti);
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
    QVERIFY(b.coll.parametri().fleg.uguale(0));
    QVERIFY(b.coll.ultima_lettura_valida());
}

void TstCollegamentoScrittura::programma_disabilitato_durante()
{
    ImpiantoCollegamento b;
    PASSO(b.connetti());
    struct Istantanea
    {
        bool programma = true;
        bool init = false;
        bool disconetti = false;
        double fleg = -1;
    };
    Istantanea scrittura, verifica;
    auto istantanea = [&b](Istantanea &i) {
        b.coll.Timer_stato_Timer();
        i.programma = b.c.abilitati.value(Abilitabile::Programma, true);
        i.init =
            b.c.abilitati.value(Abilitabile::InitUhf) && b.c.abilitati.value(Abilitabile::InitVhf);
        i.disconetti = b.c.abilitati.value(Abilitabile::Disconetti);
        i.fleg = b.coll.parametri().fleg.valore();
    };
    const qsizetype base = filo_connessione().size();
    b.c.quando([&] { return b.ricevuti_almeno(base + 30); }, [&] { istantanea(scrittura); });
    b.c.quando([&] { return b.ricevuti_almeno(base + 186 + 10); }, [&] { istantanea(verifica); });

    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.azioni_in_sospeso(), 0);
    for (const Istantanea &i : {scrittura, verifica}) {
        QCOMPARE(i.programma, false);
        QCOMPARE(i.fleg, 1.0);
        QVERIFY(i.init);
        QVERIFY(i.disconetti);
    }
    QVERIFY(b.coll.parametri().fleg.uguale(0));
    b.coll.Timer_stato_Timer();
    QCOMPARE(b.c.abilitati.value(Abilitabile::Programma), true);
}

void TstCollegamentoScrittura::programmazione_rifiutata_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<QStringList>("modifiche");
    QTest::addColumn<QStringList>("avvisi");
    QTest::addColumn<EsitoTransazione>("esito");

    const QString banda = Collegamento::FUORI_BANDA;
    const QString range = Collegamento::FUORI_RANGE_RX;
    const QString valore = Collegamento::VALORE_FUORI_RANGE;
    QTest::newRow("160 su unità UHF") << blocco_uhf() << QStringList{"Frequenza=160"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    QTest::newRow("440 su unità VHF") << blocco_vhf() << QStringList{"Frequenza=440"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    // The other band's window: its offset value would pass, to another frequency.
    QTest::newRow("249 su unità UHF") << blocco_uhf() << QStringList{"Frequenza=249"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    QTest::newRow("250 su unità VHF") << blocco_vhf() << QStringList{"Frequenza=250"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    QTest::newRow("249.5 su unità UHF")
        << blocco_uhf() << QStringList{"Frequenza=249.5"} << QStringList{range, banda}
        << EsitoTransazione::FuoriBanda;
    QTest::newRow("249.5 su unità VHF")
        << blocco_vhf() << QStringList{"Frequenza=249.5"} << QStringList{range, banda}
        << EsitoTransazione::FuoriBanda;
    QTest::newRow("codice 70000") << blocco_uhf() << QStringList{"Codice=70000"}
                                  << QStringList{valore} << EsitoTransazione::ValoreFuoriRange;
    QTest::newRow("tempo relè 300") << blocco_uhf() << QStringList{"TempoRele=300"}
                                    << QStringList{valore} << EsitoTransazione::ValoreFuoriRange;
    QTest::newRow("tempo impulso 256") << blocco_uhf() << QStringList{"TempoImp=256"}
                                       << QStringList{valore} << EsitoTransazione::ValoreFuoriRange;
    QTest::newRow("60000 senza lettera di banda")
        << modifica(blocco_uhf(), {{62, 0}}) << QStringList{"Frequenza=60000"}
        << QStringList{range, valore} << EsitoTransazione::ValoreFuoriRange;
}

void TstCollegamentoScrittura::programmazione_rifiutata()
{
    QFETCH(QByteArray, blocco);
    QFETCH(QStringList, modifiche);
    QFETCH(QStringList, avvisi);
    QFETCH(EsitoTransazione, esito);

    ImpiantoCollegamento b(blocco_da(m_cartella, blocco));
    PASSO(b.connetti());
    const auto letti = b.c.testi;
    digita_campi(b.c, modifiche);

    QCOMPARE(b.coll.cmd_programma_Click(), esito);
    QCOMPARE(b.c.avvisi, avvisi);
    QVERIFY(b.coll.parametri().fleg.uguale(0));
    QCOMPARE(b.c.eventi.filter(QStringLiteral("testo ")), QStringList());
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
    QVERIFY(b.coll.porta().aperta());
    b.coll.Timer_stato_Timer();
    QCOMPARE(b.c.abilitati.value(Abilitabile::Programma), true);

    // Corrected, the block read goes out unchanged: the refusal sent nothing and left nothing.
    b.c.testi = letti;
    b.c.azzera_registri();
    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size() + 186 + 126),
                filo_connessione() + filo_programmazione(blocco) + "E");
}

void TstCollegamentoScrittura::lettura_errata_blocca_programmazione()
{
    ImpiantoCollegamento b({"--corrupt-cell", "61"});
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::ChecksumErrato);
    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::LetturaDaRifare);
    QCOMPARE(b.c.avvisi, (QStringList{Collegamento::ERRORE_LETTURA, Collegamento::ERRORE_LETTURA}));
    QVERIFY(!b.coll.parametri().fleg.uguale(1));
    b.coll.Cmd_disconetti_Click();
    QVERIFY(b.sim.attendi_ricevuti(static_cast<int>(filo_connessione().size() + 1), ATTESA_MS));
    FILO_UGUALE(b.sim.ricevuti(), filo_connessione() + "E");

    // The same link, now on a sound receiver.
    ProcessoSimulatore sano;
    QVERIFY(sano.avvia());
    b.coll.porta().mappa(1, sano.percorso());
    b.c.azzera_registri();
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    b.coll.Cmd_disconetti_Click();
    const QByteArray atteso = filo_connessione() + filo_programmazione(blocco_uhf()) + "E";
    QVERIFY(sano.attendi_ricevuti(static_cast<int>(atteso.size()), ATTESA_MS));
    FILO_UGUALE(sano.ricevuti(), atteso);
}

void TstCollegamentoScrittura::inizializzazione_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<QByteArray>("scritto");
    QTest::addColumn<QStringList>("campi");
    QTest::addColumn<QString>("banda");

    // Neither the unit's band nor what the window shows changes what is written.
    QTest::newRow("UHF su unità VHF")
        << con_checksum(modifica(blocco_vhf(), {{7, 4}, {8, 210}, {11, 99}})) << Azione::InitUhf
        << blocco_uhf() << QStringList{"1", "460", "30", "3"} << QStringLiteral("  UHF");
    QTest::newRow("VHF su unità UHF")
        << blocco_uhf() << Azione::InitVhf << blocco_vhf() << QStringList{"1", "161", "30", "3"}
        << QStringLiteral("  VHF");
}

void TstCollegamentoScrittura::inizializzazione()
{
    QFETCH(QByteArray, blocco);
    QFETCH(Azione, azione);
    QFETCH(QByteArray, scritto);
    QFETCH(QStringList, campi);
    QFETCH(QString, banda);

    ImpiantoCollegamento b(blocco_da(m_cartella, blocco));
    PASSO(b.connetti());
    digita_campi(b.c, {"Codice=77", "Frequenza=455", "TempoRele=5", "TempoImp=6"});
    const qsizetype base = filo_connessione().size();
    QMap<Campo, QString> prima_della_verifica;
    bool occupato = true;
    b.c.quando([&] { return b.ricevuti_almeno(base + 192 + 1); },
               [&] {
                   prima_della_verifica = b.c.testi;
                   occupato = b.coll.parametri().fleg.uguale(1);
               });

    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::Riuscito);
    FILO_UGUALE(filo_chiuso(b, base + 192 + 126),
                filo_connessione() + filo_inizializzazione(scritto) + "E");
    QCOMPARE(b.c.azioni_in_sospeso(), 0);
    QCOMPARE(testi_campi(prima_della_verifica), VUOTI);
    QVERIFY(!occupato);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.progresso, avanzamento(63) + avanzamento(62));
    QCOMPARE(testi_campi(b.c.testi), campi);
    QCOMPARE(b.c.opzioni, (QStringList{ALTI, STRIP, MEMO}));
    QCOMPARE(b.c.bande, QStringList{banda});
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
}

QTEST_GUILESS_MAIN(TstCollegamentoScrittura)
#include "tst_collegamento_scrittura.moc"
