// SPDX-License-Identifier: GPL-3.0-or-later
// The window's link handlers when a write fails, the line drops or a click comes mid-wait.
#include "filo_collegamento.h"
#include "impianto_collegamento.h"

#include <QTest>

#include <optional>

class TstCollegamentoGuasti : public QObject
{
    Q_OBJECT

private slots:
    void scrittura_senza_conferma_data();
    void scrittura_senza_conferma();
    void conferma_doppia_data();
    void conferma_doppia();
    void disconnessione_durante_attesa_conferma();
    void riaggancio_data();
    void riaggancio();
    void transazione_annidata_data();
    void transazione_annidata();
    void uscita_durante_attesa_data();
    void uscita_durante_attesa();
    void a_porta_chiusa_data();
    void a_porta_chiusa();
};

void TstCollegamentoGuasti::scrittura_senza_conferma_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<int>("cella");

    QTest::newRow("programmazione, nessuna risposta")
        << QStringList{"--no-ack-from", "0"} << Azione::Programma << 0;
    QTest::newRow("inizializzazione, nessuna risposta")
        << QStringList{"--no-ack-from", "0"} << Azione::InitUhf << 0;
    QTest::newRow("programmazione, risposta errata")
        << QStringList{"--bad-ack-at", "5"} << Azione::Programma << 5;
}

void TstCollegamentoGuasti::scrittura_senza_conferma()
{
    QFETCH(QStringList, argomenti);
    QFETCH(Azione, azione);
    QFETCH(int, cella);

    ImpiantoCollegamento b(argomenti);
    PASSO(b.connetti());
    const qint64 inizio = b.c.orologio.elapsed();
    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::TimeOut);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size() + 3 * (cella + 1)),
                filo_connessione() + scritture(blocco_uhf(), cella) + "E");
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
    const qint64 attesa = b.c.istanti_avvisi.constFirst() - inizio;
    QVERIFY2(attesa >= 3500 && attesa < 6000, qPrintable(QString::number(attesa)));

    const QString avviso = QStringLiteral("avviso: ") + Collegamento::ERRORE_TIME_OUT;
    const QStringList coda{avviso,
                           QStringLiteral("progresso: nascondi"),
                           QStringLiteral("stato: ") + Collegamento::NON_CONNESSO,
                           QStringLiteral("testo Codice: "),
                           QStringLiteral("testo Frequenza: "),
                           QStringLiteral("testo TempoRele: "),
                           QStringLiteral("testo TempoImp: ")};
    QCOMPARE(b.c.eventi.mid(b.c.eventi.indexOf(avviso)), coda);
    QCOMPARE(b.c.progresso_valore, cella);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(b.coll.parametri().fleg.uguale(0));
}

void TstCollegamentoGuasti::conferma_doppia_data()
{
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<QByteArray>("scritto");
    QTest::addColumn<int>("ultima");

    QTest::newRow("programmazione") << Azione::Programma << blocco_uhf() << CELLA_CKS;
    QTest::newRow("inizializzazione") << Azione::InitVhf << blocco_vhf() << CELLA_MARCA;
}

void TstCollegamentoGuasti::conferma_doppia()
{
    QFETCH(Azione, azione);
    QFETCH(QByteArray, scritto);
    QFETCH(int, ultima);

    ImpiantoCollegamento b({"--double-ack-at", "10"});
    PASSO(b.connetti());
    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::ChecksumErrato);
    const QByteArray atteso = filo_connessione() + scritture(scritto, ultima) + letture();
    FILO_UGUALE(filo_chiuso(b, atteso.size()), atteso + "E");
    // Every reply is one behind: the last record's "K" is taken as cell 0.
    QCOMPARE(b.coll.celle_lette(), "K" + scritto.left(62));
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_LETTURA});
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
    QVERIFY(!b.coll.parametri().fleg.uguale(1));
    QVERIFY(!b.coll.ultima_lettura_valida());
}

void TstCollegamentoGuasti::disconnessione_durante_attesa_conferma()
{
    ImpiantoCollegamento b({"--no-ack-from", "5"});
    PASSO(b.connetti());
    const qsizetype base = filo_connessione().size();
    qint64 clic = -1;
    b.c.quando([&] { return b.ricevuti_almeno(base + 18); },
               [&] {
                   clic = b.c.orologio.elapsed();
                   b.coll.Cmd_disconetti_Click();
               });

    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::TimeOut);
    FILO_UGUALE(filo_chiuso(b, base + 18 + 1),
                filo_connessione() + scritture(blocco_uhf(), 5) + "EE");
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
    // Well before the 4 s of the acknowledgement timer.
    QVERIFY(b.c.istanti_avvisi.constFirst() - clic < 3000);
    QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
    QCOMPARE(testi_campi(b.c.testi), VUOTI);
    QVERIFY(!b.c.progresso_visibile);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(b.coll.parametri().fleg.uguale(0));
}

void TstCollegamentoGuasti::riaggancio_data()
{
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<int>("dopo");
    QTest::addColumn<EsitoTransazione>("esito");
    QTest::addColumn<QByteArray>("completo");
    QTest::addColumn<int>("valore"); // of the progress bar, left where the line went

    const int base = static_cast<int>(filo_connessione().size());
    const QByteArray programma = filo_connessione() + filo_programmazione(blocco_uhf());
    const QByteArray init = filo_connessione() + filo_inizializzazione(blocco_vhf());
    QTest::newRow("record della programmazione")
        << Azione::Programma << base + 3 * 10 + 2 << EsitoTransazione::TimeOut << programma << 10;
    QTest::newRow("verifica della programmazione")
        << Azione::Programma << base + 186 + 21 << EsitoTransazione::LetturaAbbandonata << programma
        << 10;
    QTest::newRow("record dell'inizializzazione")
        << Azione::InitVhf << base + 3 * 40 + 1 << EsitoTransazione::TimeOut << init << 40;
    QTest::newRow("verifica dell'inizializzazione")
        << Azione::InitVhf << base + 192 + 41 << EsitoTransazione::LetturaAbbandonata << init << 20;
}

void TstCollegamentoGuasti::riaggancio()
{
    QFETCH(Azione, azione);
    QFETCH(int, dopo);
    QFETCH(EsitoTransazione, esito);
    QFETCH(QByteArray, completo);
    QFETCH(int, valore);

    ImpiantoCollegamento b({"--hangup-after", QString::number(dopo)});
    PASSO(b.connetti());
    QCOMPARE(esegui(b.coll, azione), esito);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(!b.coll.parametri().fleg.uguale(1));
    QVERIFY(b.sim.attendi_fine(ATTESA_MS));
    FILO_UGUALE(b.sim.ricevuti(), completo.left(dopo));
    if (esito == EsitoTransazione::TimeOut) {
        QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
        QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
        QCOMPARE(testi_campi(b.c.testi), VUOTI);
        QVERIFY(!b.c.progresso_visibile);
    } else {
        // Quietly, with the window as the abandoned read left it.
        QCOMPARE(b.c.avvisi, QStringList());
        QVERIFY(b.c.progresso_visibile);
    }
    QCOMPARE(b.c.progresso_valore, valore);

    if (esito == EsitoTransazione::LetturaAbbandonata && azione == Azione::Programma) {
        // The window still says " Connesso": the next programming finds the
        // line gone and says so through the time-out path, not as a bad read.
        b.c.avvisi.clear();
        QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::TimeOut);
        QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
        QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
    }
}

void TstCollegamentoGuasti::transazione_annidata_data()
{
    QTest::addColumn<Azione>("esterna");
    QTest::addColumn<Azione>("interna");
    QTest::addColumn<int>("dopo");

    const int base = static_cast<int>(filo_connessione().size());
    QTest::newRow("Programma durante la lettura") << Azione::Connetti << Azione::Programma << 11;
    QTest::newRow("UHF durante la lettura") << Azione::Connetti << Azione::InitUhf << 11;
    QTest::newRow("UHF durante la programmazione")
        << Azione::Programma << Azione::InitUhf << base + 30;
    QTest::newRow("Connetti durante la programmazione")
        << Azione::Programma << Azione::Connetti << base + 30;
    QTest::newRow("Programma durante l'inizializzazione")
        << Azione::InitVhf << Azione::Programma << base + 30;
    QTest::newRow("VHF durante l'inizializzazione")
        << Azione::InitVhf << Azione::InitVhf << base + 30;
}

void TstCollegamentoGuasti::transazione_annidata()
{
    QFETCH(Azione, esterna);
    QFETCH(Azione, interna);
    QFETCH(int, dopo);

    ImpiantoCollegamento b;
    QByteArray atteso = filo_connessione();
    if (esterna != Azione::Connetti)
        PASSO(b.connetti());
    if (esterna == Azione::Programma)
        atteso += filo_programmazione(blocco_uhf());
    else if (esterna == Azione::InitVhf)
        atteso += filo_inizializzazione(blocco_vhf());

    std::optional<EsitoTransazione> annidato;
    b.c.quando([&] { return b.ricevuti_almeno(dopo); },
               [&] { annidato = esegui(b.coll, interna); });
    QCOMPARE(esegui(b.coll, esterna), EsitoTransazione::Riuscito);
    QVERIFY(annidato.has_value());
    QCOMPARE(*annidato, EsitoTransazione::Occupato);
    QCOMPARE(b.c.beep_suonati, 1);
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, atteso.size()), atteso + "E");
}

void TstCollegamentoGuasti::uscita_durante_attesa_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<int>("dopo");         // bytes received; 0: some time into the wait
    QTest::addColumn<QByteArray>("prima"); // what precedes the "E", or all it may be cut from
    QTest::addColumn<bool>("esatto");

    const int base = static_cast<int>(filo_connessione().size());
    QTest::newRow("attesa di K") << QStringList{"--silent"} << Azione::Connetti << 0 << QByteArray()
                                 << true;
    QTest::newRow("lettura") << QStringList{} << Azione::Connetti << 11 << filo_connessione()
                             << false;
    QTest::newRow("attesa di conferma")
        << QStringList{"--no-ack-from", "3"} << Azione::Programma << base + 12
        << filo_connessione() + scritture(blocco_uhf(), 3) << true;
}

void TstCollegamentoGuasti::uscita_durante_attesa()
{
    QFETCH(QStringList, argomenti);
    QFETCH(Azione, azione);
    QFETCH(int, dopo);
    QFETCH(QByteArray, prima);
    QFETCH(bool, esatto);

    ImpiantoCollegamento b(argomenti);
    QVERIFY(b.avviato);
    if (azione != Azione::Connetti)
        PASSO(b.connetti());
    const qint64 inizio = b.c.orologio.elapsed();
    b.c.quando(
        [&] { return dopo > 0 ? b.ricevuti_almeno(dopo) : b.c.orologio.elapsed() - inizio >= 300; },
        [&] { b.coll.Command4_Click(); });

    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::Interrotto);
    QCOMPARE(b.c.terminazioni, 1);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(!b.coll.parametri().fleg.uguale(1));

    QVERIFY(QTest::qWaitFor([&] { return b.sim.ricevuti().endsWith('E'); }, ATTESA_MS));
    const QByteArray filo = b.sim.ricevuti();
    if (esatto) {
        FILO_UGUALE(filo, prima + "E");
    } else {
        QVERIFY(filo.size() - 1 >= dopo);
        QVERIFY(prima.startsWith(filo.chopped(1)));
    }
}

void TstCollegamentoGuasti::a_porta_chiusa_data()
{
    QTest::addColumn<bool>("esci");

    QTest::newRow("Disconetti") << false;
    QTest::newRow("ESCI") << true;
}

void TstCollegamentoGuasti::a_porta_chiusa()
{
    QFETCH(bool, esci);

    ImpiantoCollegamento b;
    QVERIFY(b.avviato);
    digita_campi(b.c, {"Codice=1", "Frequenza=460", "TempoRele=30", "TempoImp=3"});
    if (esci)
        b.coll.Command4_Click();
    else
        b.coll.Cmd_disconetti_Click();
    QCOMPARE(b.c.stati, QStringList{Collegamento::NON_CONNESSO});
    QCOMPARE(b.c.terminazioni, esci ? 1 : 0);
    if (!esci)
        QCOMPARE(testi_campi(b.c.testi), VUOTI);
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, 0), QByteArray("E"));
}

QTEST_GUILESS_MAIN(TstCollegamentoGuasti)
#include "tst_collegamento_guasti.moc"
