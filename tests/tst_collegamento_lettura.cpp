// SPDX-License-Identifier: GPL-3.0-or-later
// The window's link handlers: connect, and the read that fills the fields.
#include "filo_collegamento.h"
#include "impianto_collegamento.h"

#include <QTest>

class TstCollegamentoLettura : public QObject
{
    Q_OBJECT

private:
    CartellaProva m_cartella;

private slots:
    void initTestCase();

    void connessione_data();
    void connessione();
    void disconnessione_durante_connessione_data();
    void disconnessione_durante_connessione();
    void porta_mancante();
    void lettura_data();
    void lettura();
    void lettura_valori_anomali_data();
    void lettura_valori_anomali();
    void lettura_corrotta_data();
    void lettura_corrotta();
    void lettura_interrotta_dalla_linea();
};

void TstCollegamentoLettura::initTestCase()
{
    QVERIFY(m_cartella.valida());
}

void TstCollegamentoLettura::connessione_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("rumore");
    QTest::addColumn<bool>("gia_aperta");

    QTest::newRow("rumore prima di K") << QStringList{"--noise", "XY"} << QByteArray("XY") << false;
    QTest::newRow("porta già aperta") << QStringList{} << QByteArray() << true;
}

void TstCollegamentoLettura::connessione()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, rumore);
    QFETCH(bool, gia_aperta);

    ImpiantoCollegamento b(argomenti);
    QVERIFY(b.avviato);
    if (gia_aperta)
        QVERIFY(b.coll.porta().apri());
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.stati, (QStringList{Collegamento::IN_ATTESA, Collegamento::CONNESSO}));
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size()), filo_connessione() + "E");
    if (!rumore.isEmpty())
        QVERIFY(b.sim.inviati().startsWith(rumore + "K"));
}

void TstCollegamentoLettura::disconnessione_durante_connessione_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("dopo_byte"); // 0: some time into the wait for "K"
    QTest::addColumn<QStringList>("stati");

    QTest::newRow("attesa di K") << QStringList{"--silent"} << 0
                                 << QStringList{Collegamento::IN_ATTESA,
                                                Collegamento::NON_CONNESSO};
    QTest::newRow("lettura") << QStringList{} << 11
                             << QStringList{Collegamento::IN_ATTESA, Collegamento::CONNESSO,
                                            Collegamento::NON_CONNESSO};
}

void TstCollegamentoLettura::disconnessione_durante_connessione()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, dopo_byte);
    QFETCH(QStringList, stati);

    ImpiantoCollegamento b(argomenti);
    QVERIFY(b.avviato);
    const qint64 inizio = b.c.orologio.elapsed();
    QString stato_in_attesa;
    b.c.quando(
        [&] {
            return dopo_byte > 0 ? b.ricevuti_almeno(dopo_byte)
                                 : b.c.orologio.elapsed() - inizio >= 300;
        },
        [&] {
            stato_in_attesa = b.c.stato();
            b.coll.Cmd_disconetti_Click();
        });
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::PortaGuasta);
    QCOMPARE(stato_in_attesa, stati.at(stati.size() - 2));
    QCOMPARE(b.c.stati, stati);
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_PORTA});
    QVERIFY(b.c.eventi.indexOf(QStringLiteral("stato: ") + Collegamento::NON_CONNESSO) <
            b.c.eventi.indexOf(QStringLiteral("avviso: ") + Collegamento::ERRORE_PORTA));
    QVERIFY(!b.coll.porta().aperta());

    QVERIFY(QTest::qWaitFor([&] { return b.sim.ricevuti().endsWith('E'); }, ATTESA_MS));
    const QByteArray filo = b.sim.ricevuti();
    QVERIFY(filo.size() - 1 >= dopo_byte);
    if (dopo_byte == 0)
        QCOMPARE(filo, QByteArray("E"));
    else
        QVERIFY(filo_connessione().startsWith(filo.chopped(1)));
}

void TstCollegamentoLettura::porta_mancante()
{
    ElementiProva c;
    Collegamento coll(c);
    coll.porta().mappa(1, QStringLiteral("/dev/m5-nessuna-porta"));
    c.stato_attuale = Collegamento::NON_CONNESSO;

    QCOMPARE(coll.Cmd_connetti_Click(), EsitoTransazione::PortaGuasta);
    QCOMPARE(c.eventi, QStringList{QStringLiteral("avviso: ") + Collegamento::ERRORE_PORTA});
    QCOMPARE(c.stato(), Collegamento::NON_CONNESSO);
    QVERIFY(!coll.porta().aperta());
}

void TstCollegamentoLettura::lettura_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<QStringList>("campi");
    QTest::addColumn<QStringList>("opzioni");
    QTest::addColumn<QString>("banda");

    const QStringList fabbrica{ALTI, STRIP, MEMO};
    const QString uhf = QStringLiteral("  UHF");
    const QString vhf = QStringLiteral("  VHF");
    QTest::newRow("UHF di fabbrica")
        << blocco_uhf() << QStringList{"1", "460", "30", "3"} << fabbrica << uhf;
    QTest::newRow("VHF di fabbrica")
        << blocco_vhf() << QStringList{"1", "161", "30", "3"} << fabbrica << vhf;
    // The band field follows the letter even when the frequency lies in the other band.
    QTest::newRow("valori di confine")
        << con_checksum(blocco({0, 0, 227, 114, 0, 136, 1, 16, 0, 0, 1, 255, 1, 1}, 0, 'U'))
        << QStringList{"4096", "160.9125", "255", "1"} << QStringList{BASSI, BIDI, IMP} << uhf;
    QTest::newRow("mezzo passo") << con_checksum(blocco(
                                        {0, 1, 239, 91, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0}, 0, 'U'))
                                 << QStringList{"1", "441.56875", "30", "3"} << fabbrica << uhf;
    QByteArray riservate = blocco_vhf();
    for (int i = 14; i <= 60; ++i)
        riservate[i] = static_cast<char>(0xAA);
    QTest::newRow("celle riservate piene")
        << riservate << QStringList{"1", "161", "30", "3"} << fabbrica << vhf;
}

void TstCollegamentoLettura::lettura()
{
    QFETCH(QByteArray, blocco);
    QFETCH(QStringList, campi);
    QFETCH(QStringList, opzioni);
    QFETCH(QString, banda);

    ImpiantoCollegamento b(blocco_da(m_cartella, blocco));
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.beep_suonati, 0);
    QCOMPARE(testi_campi(b.c.testi), campi);
    QCOMPARE(b.c.opzioni, opzioni);
    QCOMPARE(b.c.bande, QStringList{banda});
    QCOMPARE(b.c.progresso, avanzamento(62));
    QCOMPARE(b.coll.celle_lette(), blocco.left(63));
    QVERIFY(b.coll.ultima_lettura_valida());
}

void TstCollegamentoLettura::lettura_valori_anomali_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<int>("beep");
    QTest::addColumn<QStringList>("opzioni");
    QTest::addColumn<QStringList>("bande");
    QTest::addColumn<QString>("frequenza");

    const QStringList fabbrica{ALTI, STRIP, MEMO};
    const QStringList vhf{QStringLiteral("  VHF")};
    const QString letta = QStringLiteral("161");
    const QString prima = QStringLiteral("999"); // what the field showed before the read
    auto vhf_con = [](std::initializer_list<std::pair<int, int>> valori) {
        return con_checksum(modifica(blocco_vhf(), valori));
    };

    QTest::newRow("tre opzioni a 2")
        << vhf_con({{9, 2}, {10, 2}, {13, 2}}) << 3 << QStringList() << vhf << letta;
    QTest::newRow("toni a 2") << vhf_con({{9, 2}}) << 1 << QStringList{STRIP, MEMO} << vhf << letta;
    QTest::newRow("uscite a 255") << vhf_con({{10, 255}}) << 1 << QStringList{ALTI, STRIP} << vhf
                                  << letta;
    QTest::newRow("lettera di banda Z")
        << vhf_con({{62, 'Z'}}) << 0 << fabbrica << QStringList() << letta;
    QTest::newRow("lettera di banda 0")
        << vhf_con({{62, 0}}) << 0 << fabbrica << QStringList() << letta;
    QTest::newRow("frequenza sotto 100")
        << vhf_con({{1, 0}, {2, 0}, {3, 0}}) << 0 << fabbrica << vhf << prima;
    QTest::newRow("frequenza tra le finestre")
        << vhf_con({{1, 1}, {2, 55}, {3, 112}}) << 0 << fabbrica << vhf << prima;
    QTest::newRow("frequenza sopra 500")
        << vhf_con({{1, 2}, {2, 114}, {3, 34}}) << 0 << fabbrica << vhf << prima;
}

void TstCollegamentoLettura::lettura_valori_anomali()
{
    QFETCH(QByteArray, blocco);
    QFETCH(int, beep);
    QFETCH(QStringList, opzioni);
    QFETCH(QStringList, bande);
    QFETCH(QString, frequenza);

    ImpiantoCollegamento b(blocco_da(m_cartella, blocco));
    QVERIFY(b.avviato);
    b.c.testi[Campo::Frequenza] = QStringLiteral("999");
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.beep_suonati, beep);
    QCOMPARE(b.c.opzioni, opzioni);
    QCOMPARE(b.c.bande, bande);
    QCOMPARE(b.c.testo(Campo::Frequenza), frequenza);
    QCOMPARE(b.c.testo(Campo::Codice), QStringLiteral("1"));
}

void TstCollegamentoLettura::lettura_corrotta_data()
{
    QTest::addColumn<int>("cella");
    QTest::addColumn<bool>("errore");
    QTest::addColumn<QString>("codice");

    QTest::newRow("checksum") << 61 << true << "1";
    QTest::newRow("codice") << 8 << true << "91"; // 1 ^ 0x5A
    QTest::newRow("cella riservata") << 30 << false << "1";
}

void TstCollegamentoLettura::lettura_corrotta()
{
    QFETCH(int, cella);
    QFETCH(bool, errore);
    QFETCH(QString, codice);

    ImpiantoCollegamento b({"--corrupt-cell", QString::number(cella)});
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(),
             errore ? EsitoTransazione::ChecksumErrato : EsitoTransazione::Riuscito);
    QCOMPARE(b.coll.ultima_lettura_valida(), !errore);
    QCOMPARE(b.c.avvisi, errore ? QStringList{Collegamento::ERRORE_LETTURA} : QStringList());
    QCOMPARE(testi_campi(b.c.testi), (QStringList{codice, "460", "30", "3"}));
    QCOMPARE(b.c.opzioni, (QStringList{ALTI, STRIP, MEMO}));
    QCOMPARE(b.c.bande, QStringList{QStringLiteral("  UHF")});
    if (errore) {
        // The warning comes first; the fields are filled once it is closed.
        const qsizetype avviso =
            b.c.eventi.indexOf(QStringLiteral("avviso: ") + Collegamento::ERRORE_LETTURA);
        QVERIFY(avviso < b.c.eventi.indexOf(QStringLiteral("testo Codice: ") + codice));
    }
}

void TstCollegamentoLettura::lettura_interrotta_dalla_linea()
{
    // The simulator hangs up on the index byte of the request for cell 9.
    ImpiantoCollegamento b({"--hangup-after", "21"});
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::PortaGuasta);
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_PORTA});
    QCOMPARE(b.c.stati, (QStringList{Collegamento::IN_ATTESA, Collegamento::CONNESSO}));
    QVERIFY(b.c.progresso_visibile);
    QCOMPARE(b.c.progresso_valore, 9);
    QCOMPARE(b.coll.celle_lette(), blocco_uhf().left(9));
    QCOMPARE(b.c.eventi.filter(QStringLiteral("testo ")), QStringList());
    QCOMPARE(b.c.opzioni, QStringList());
    QCOMPARE(b.c.bande, QStringList());
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(b.sim.attendi_fine(ATTESA_MS));
    FILO_UGUALE(b.sim.ricevuti(), filo_connessione().left(21));
}

QTEST_GUILESS_MAIN(TstCollegamentoLettura)
#include "tst_collegamento_lettura.moc"
