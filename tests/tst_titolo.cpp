// SPDX-License-Identifier: GPL-3.0-or-later
#include "titolo.h"
#include "ui_titolo.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <functional>

class TstTitolo : public QObject
{
    Q_OBJECT

private slots:
    void aspetto();
    void modo_di_funzionamento();
    void chiusura_data();
    void chiusura();
};

void TstTitolo::aspetto()
{
    Titolo t;
    t.show();
    QVERIFY(QTest::qWaitForWindowActive(&t));
    QCOMPARE(t.size(), QSize(528, 331));
    auto &u = t.elementi();
    QCOMPARE(u.Command1->text(), QStringLiteral("Continua"));
    QCOMPARE(u.Command1->geometry(), QRect(224, 264, 137, 41));
    QCOMPARE(u.Image1->geometry(), QRect(16, 32, 240, 184));
    QCOMPARE(u.Frame9->geometry(), QRect(280, 24, 233, 193));
    QCOMPARE(u.lab_fabbrica->parentWidget(), u.Frame9);
    QCOMPARE(u.lab_fabbrica->geometry(), QRect(120, 80, 65, 17));
    QCOMPARE(u.Label28->text(), QStringLiteral("Version  \"1.0.0\""));
    QCOMPARE(u.Label27->text(), QStringLiteral("for \"Windows 9x,2000,XP \u00b0\""));
    QCOMPARE(u.Label24->text(), QStringLiteral("Configuratore per"));
    QCOMPARE(u.Label1->text(), QStringLiteral("Quorvanta M5"));
    QCOMPARE(QApplication::focusWidget(), u.Command1);
}

void TstTitolo::modo_di_funzionamento()
{
    Titolo t;
    t.show();
    auto &u = t.elementi();
    QCOMPARE(u.lab_fabbrica->text(), QStringLiteral("Fabbrica"));
    // Whatever else it may come to hold, the label is written back.
    u.lab_fabbrica->setText(QStringLiteral("Utente"));
    QTRY_COMPARE(u.lab_fabbrica->text(), QStringLiteral("Fabbrica"));
}

void TstTitolo::chiusura_data()
{
    QTest::addColumn<std::function<void(Titolo &)>>("azione");
    QTest::addColumn<int>("continua");
    QTest::addColumn<int>("abbandonata");

    using Azione = std::function<void(Titolo &)>;
    QTest::newRow("clic su Continua")
        << Azione([](Titolo &t) { QTest::mouseClick(t.elementi().Command1, Qt::LeftButton); }) << 1
        << 0;
    QTest::newRow("spazio su Continua")
        << Azione([](Titolo &t) { QTest::keyClick(t.elementi().Command1, Qt::Key_Space); }) << 1
        << 0;
    QTest::newRow("finestra chiusa") << Azione([](Titolo &t) { t.close(); }) << 0 << 1;
}

void TstTitolo::chiusura()
{
    QFETCH(std::function<void(Titolo &)>, azione);
    QFETCH(int, continua);
    QFETCH(int, abbandonata);

    Titolo t;
    QSignalSpy spia_continua(&t, &Titolo::continua);
    QSignalSpy spia_abbandonata(&t, &Titolo::abbandonata);
    // The main window is made on "continua": by then the title form is gone.
    bool visibile_a_continua = true;
    connect(&t, &Titolo::continua, [&] { visibile_a_continua = t.isVisible(); });
    t.show();
    QVERIFY(QTest::qWaitForWindowActive(&t));

    azione(t);
    QTest::qWait(50);

    QVERIFY(!t.isVisible());
    QCOMPARE(spia_continua.count(), continua);
    QCOMPARE(spia_abbandonata.count(), abbandonata);
    if (continua)
        QVERIFY(!visibile_a_continua);
}

QTEST_MAIN(TstTitolo)
#include "tst_titolo.moc"
