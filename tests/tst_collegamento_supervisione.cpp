// SPDX-License-Identifier: GPL-3.0-or-later
// The window's link handlers: the supervision tick and the choice of the port.
#include "filo_collegamento.h"
#include "impianto_collegamento.h"

#include <QTest>

class TstCollegamentoSupervisione : public QObject
{
    Q_OBJECT

private slots:
    void supervisione_data();
    void supervisione();
    void supervisione_stato_sconosciuto_data();
    void supervisione_stato_sconosciuto();
    void scelta_porta_data();
    void scelta_porta();
    void scelta_porta_chiude_senza_e();
    void scelta_porta_durante_transazione();
};

void TstCollegamentoSupervisione::supervisione_data()
{
    QTest::addColumn<QString>("stato");
    QTest::addColumn<int>("fleg"); // -1: never set
    QTest::addColumn<bool>("connetti");
    QTest::addColumn<bool>("disconetti");
    QTest::addColumn<bool>("programma");
    QTest::addColumn<bool>("init");

    for (int fleg : {-1, 0, 1}) {
        const QByteArray f =
            fleg < 0 ? QByteArray("fleg non impostato") : "fleg " + QByteArray::number(fleg);
        QTest::newRow(("Non Connesso, " + f).constData())
            << Collegamento::NON_CONNESSO << fleg << true << false << false << false;
        QTest::newRow(("In Attesa, " + f).constData())
            << Collegamento::IN_ATTESA << fleg << false << true << false << false;
        QTest::newRow(("Connesso, " + f).constData())
            << Collegamento::CONNESSO << fleg << false << true << (fleg != 1) << true;
    }
}

void TstCollegamentoSupervisione::supervisione()
{
    QFETCH(QString, stato);
    QFETCH(int, fleg);
    QFETCH(bool, connetti);
    QFETCH(bool, disconetti);
    QFETCH(bool, programma);
    QFETCH(bool, init);

    ElementiProva c;
    Collegamento coll(c);
    c.stato_attuale = stato;
    if (fleg >= 0)
        coll.parametri().fleg = fleg;
    coll.Timer_stato_Timer();

    QCOMPARE(c.stati, QStringList());
    QCOMPARE(c.abilitazioni.size(), 6);
    QCOMPARE(c.abilitati.value(Abilitabile::Connetti), connetti);
    QCOMPARE(c.abilitati.value(Abilitabile::PortaCom), connetti);
    QCOMPARE(c.abilitati.value(Abilitabile::Disconetti), disconetti);
    QCOMPARE(c.abilitati.value(Abilitabile::Programma), programma);
    QCOMPARE(c.abilitati.value(Abilitabile::InitUhf), init);
    QCOMPARE(c.abilitati.value(Abilitabile::InitVhf), init);
}

void TstCollegamentoSupervisione::supervisione_stato_sconosciuto_data()
{
    QTest::addColumn<QString>("stato");

    QTest::newRow("vuoto") << QString();
    QTest::newRow("minuscolo") << " connesso";
    QTest::newRow("senza spazio iniziale") << "Connesso";
    QTest::newRow("spazio finale in più") << " Non Connesso ";
    QTest::newRow("senza spazio finale") << " In Attesa";
}

void TstCollegamentoSupervisione::supervisione_stato_sconosciuto()
{
    QFETCH(QString, stato);

    ElementiProva c;
    Collegamento coll(c);
    c.stato_attuale = stato;
    coll.Timer_stato_Timer();
    QCOMPARE(c.stati, QStringList{Collegamento::NON_CONNESSO});
    QCOMPARE(abilitazioni(c), QStringList());

    coll.Timer_stato_Timer();
    QCOMPARE(c.stati, QStringList{Collegamento::NON_CONNESSO});
    QCOMPARE(c.abilitati.value(Abilitabile::Connetti), true);
    QCOMPARE(c.abilitati.value(Abilitabile::PortaCom), true);
    QCOMPARE(c.abilitati.value(Abilitabile::Disconetti), false);
    QCOMPARE(c.abilitati.value(Abilitabile::Programma), false);
}

void TstCollegamentoSupervisione::scelta_porta_data()
{
    QTest::addColumn<QString>("scelta");
    QTest::addColumn<int>("numero");
    QTest::addColumn<int>("beep");

    QTest::newRow("Com 3") << "Com 3" << 3 << 0;
    QTest::newRow("Com 1") << "Com 1" << 1 << 0;
    QTest::newRow("Com 8") << "Com 8" << 8 << 0;
    QTest::newRow("com 3") << "com 3" << 5 << 1;
    QTest::newRow("Com 9") << "Com 9" << 5 << 1;
    QTest::newRow("Com 0") << "Com 0" << 5 << 1;
    QTest::newRow("Com 03") << "Com 03" << 5 << 1;
    QTest::newRow("Com3") << "Com3" << 5 << 1;
    QTest::newRow("spazio finale") << "Com 3 " << 5 << 1;
    QTest::newRow("vuoto") << "" << 5 << 1;
}

void TstCollegamentoSupervisione::scelta_porta()
{
    QFETCH(QString, scelta);
    QFETCH(int, numero);
    QFETCH(int, beep);

    ElementiProva c;
    Collegamento coll(c);
    coll.porta().imposta_numero(5);
    c.porta_scelta = scelta;
    coll.Cmb_com_Click();
    QCOMPARE(coll.porta().numero(), numero);
    QCOMPARE(c.beep_suonati, beep);
    QCOMPARE(abilitazioni(c), (QStringList{"PortaCom 0", "PortaCom 1"}));
    QCOMPARE(c.stati, QStringList());
}

void TstCollegamentoSupervisione::scelta_porta_chiude_senza_e()
{
    ImpiantoCollegamento b;
    PASSO(b.connetti());
    b.c.porta_scelta = QStringLiteral("Com 2");
    b.coll.Cmb_com_Click();
    QVERIFY(!b.coll.porta().aperta());
    QCOMPARE(b.coll.porta().numero(), 2);
    QCOMPARE(b.c.stati, QStringList());
    QCOMPARE(b.c.beep_suonati, 0);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size()), filo_connessione() + "E");
}

void TstCollegamentoSupervisione::scelta_porta_durante_transazione()
{
    ImpiantoCollegamento b;
    b.c.porta_scelta = QStringLiteral("Com 2");
    bool aperta_dopo = false;
    b.c.quando([&] { return b.ricevuti_almeno(11); },
               [&] {
                   b.coll.Cmb_com_Click();
                   aperta_dopo = b.coll.porta().aperta();
               });
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QVERIFY(aperta_dopo);
    QCOMPARE(b.coll.porta().numero(), 1);
    QCOMPARE(b.c.beep_suonati, 1);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size()), filo_connessione() + "E");
}

QTEST_GUILESS_MAIN(TstCollegamentoSupervisione)
#include "tst_collegamento_supervisione.moc"
