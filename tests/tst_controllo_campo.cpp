// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllo_campo.h"
#include "finestra_prova.h"
#include "principale.h"
#include "ui_principale.h"

#include <QFocusEvent>
#include <QTest>
#include <QTimer>

class TstControlloCampo : public QObject
{
    Q_OBJECT

private slots:
    void controlla_campo_data();
    void controlla_campo();
    void testo_impostato_data();
    void testo_impostato();
    void testo_digitato_data();
    void testo_digitato();
    void perdita_del_fuoco_data();
    void perdita_del_fuoco();
    void due_campi_difettosi();
    void uscita_dalla_finestra_data();
    void uscita_dalla_finestra();
};

Q_DECLARE_METATYPE(TipoCampo)

namespace {
// Shown and active, so that the focus moves as for a user.
using Impianto = FinestraProva;
} // namespace

void TstControlloCampo::controlla_campo_data()
{
    QTest::addColumn<TipoCampo>("tipo");
    QTest::addColumn<QString>("testo");
    QTest::addColumn<int>("beep");
    QTest::addColumn<int>("inizio");

    const TipoCampo tempo = TipoCampo::Tempo;
    const TipoCampo codice = TipoCampo::Codice;
    const TipoCampo fq = TipoCampo::Frequenza;

    QTest::newRow("tempo vuoto") << tempo << "" << 0 << -1;
    QTest::newRow("tempo 0") << tempo << "0" << 0 << -1;
    QTest::newRow("tempo 255") << tempo << "255" << 0 << -1;
    QTest::newRow("tempo 256") << tempo << "256" << 3 << 2;
    QTest::newRow("tempo 300") << tempo << "300" << 3 << 2;
    QTest::newRow("tempo 0300") << tempo << "0300" << 4 << 2;
    QTest::newRow("tempo 12a") << tempo << "12a" << 1 << 2;
    QTest::newRow("tempo a7") << tempo << "a7" << 1 << 0;
    QTest::newRow("tempo 1x2y") << tempo << "1x2y" << 2 << 3;
    QTest::newRow("tempo spazio") << tempo << "12 " << 1 << 2;
    QTest::newRow("tempo segno") << tempo << "-5" << 1 << 0;
    QTest::newRow("tempo cifra non ASCII") << tempo << QString(QChar(0x0663)) << 1 << 0;
    // A bad character after the value reports: it takes the selection, the
    // value test of the same pass takes it back.
    QTest::newRow("tempo 300a") << tempo << "300a" << 5 << 2;
    QTest::newRow("tempo 30a0") << tempo << "30a0" << 1 << 2;

    QTest::newRow("codice vuoto") << codice << "" << 0 << -1;
    QTest::newRow("codice 0") << codice << "0" << 0 << -1;
    QTest::newRow("codice 4096") << codice << "4096" << 0 << -1;
    QTest::newRow("codice 4097") << codice << "4097" << 1 << 3;
    QTest::newRow("codice 5000") << codice << "5000" << 1 << 3;
    QTest::newRow("codice 40a") << codice << "40a" << 1 << 2;
    QTest::newRow("codice 1x2y") << codice << "1x2y" << 2 << 3;
    // The value report ends the scan: the letter is never reached.
    QTest::newRow("codice 4097a") << codice << "4097a" << 1 << 3;
    QTest::newRow("codice 12.5") << codice << "12.5" << 1 << 2;

    QTest::newRow("frequenza vuota") << fq << "" << 0 << -1;
    QTest::newRow("frequenza 999") << fq << "999" << 0 << -1;
    QTest::newRow("frequenza 1.2.3") << fq << "1.2.3" << 0 << -1;
    QTest::newRow("frequenza 160.9125") << fq << "160.9125" << 0 << -1;
    QTest::newRow("frequenza 433,92") << fq << "433,92" << 1 << 3;
    QTest::newRow("frequenza solo il primo") << fq << "a,b" << 1 << 0;
    QTest::newRow("frequenza spazio in coda") << fq << "433.92 " << 1 << 6;
}

void TstControlloCampo::controlla_campo()
{
    QFETCH(TipoCampo, tipo);
    QFETCH(QString, testo);
    QFETCH(int, beep);
    QFETCH(int, inizio);

    const EsitoControllo e = ::controlla_campo(tipo, testo);
    QCOMPARE(e.beep, beep);
    QCOMPARE(e.inizio, inizio);
    QCOMPARE(e.lunghezza, inizio < 0 ? 0 : 1);
    QCOMPARE(e.difettoso(), beep > 0);
}

void TstControlloCampo::testo_impostato_data()
{
    QTest::addColumn<QString>("campo");
    QTest::addColumn<QString>("testo");
    QTest::addColumn<int>("beep");
    QTest::addColumn<int>("inizio");
    QTest::addColumn<QString>("selezione");

    QTest::newRow("rele 300") << "txb_tmp_rele"
                              << "300" << 3 << 2 << "0";
    QTest::newRow("rele 256") << "txb_tmp_rele"
                              << "256" << 3 << 2 << "6";
    QTest::newRow("rele 255") << "txb_tmp_rele"
                              << "255" << 0 << -1 << "";
    QTest::newRow("rele 0300") << "txb_tmp_rele"
                               << "0300" << 4 << 2 << "0";
    QTest::newRow("rele a7") << "txb_tmp_rele"
                             << "a7" << 1 << 0 << "a";
    QTest::newRow("impulsi 12a") << "txb_Usc_imp"
                                 << "12a" << 1 << 2 << "a";
    QTest::newRow("impulsi a7") << "txb_Usc_imp"
                                << "a7" << 1 << 0 << "a";
    QTest::newRow("impulsi 256") << "txb_Usc_imp"
                                 << "256" << 3 << 2 << "6";
    QTest::newRow("codice 4097") << "txb_Codice_M5"
                                 << "4097" << 1 << 3 << "7";
    QTest::newRow("codice 4096") << "txb_Codice_M5"
                                 << "4096" << 0 << -1 << "";
    QTest::newRow("frequenza 433,92") << "txb_FqRx"
                                      << "433,92" << 1 << 3 << ",";
    QTest::newRow("frequenza 1.2.3") << "txb_FqRx"
                                     << "1.2.3" << 0 << -1 << "";
    QTest::newRow("frequenza 999") << "txb_FqRx"
                                   << "999" << 0 << -1 << "";
    QTest::newRow("frequenza vuota") << "txb_FqRx"
                                     << "" << 0 << -1 << "";
    QTest::newRow("codice vuoto") << "txb_Codice_M5"
                                  << "" << 0 << -1 << "";
}

// The configurator fills a field while the focus is elsewhere, as the read does.
void TstControlloCampo::testo_impostato()
{
    QFETCH(QString, campo);
    QFETCH(QString, testo);
    QFETCH(int, beep);
    QFETCH(int, inizio);
    QFETCH(QString, selezione);

    Impianto b;
    QVERIFY(QTest::qWaitForWindowActive(&b.w));
    QLineEdit *e = b.campo(campo);
    QVERIFY(e);
    // A non-empty start, so that even an empty text is a change.
    e->blockSignals(true);
    e->setText(QStringLiteral("1"));
    e->blockSignals(false);
    b.u().Text7->setFocus();

    e->setText(testo);

    QCOMPARE(e->text(), testo);
    QCOMPARE(b.beep, beep);
    QCOMPARE(e->selectionStart(), inizio);
    QCOMPARE(e->selectedText(), selezione);
    QCOMPARE(QApplication::focusWidget(), beep > 0 ? e : b.u().Text7);
    QCOMPARE(b.avvisi, QStringList());
}

void TstControlloCampo::testo_digitato_data()
{
    QTest::addColumn<QString>("campo");
    QTest::addColumn<QString>("tasti");
    QTest::addColumn<QString>("testo");
    QTest::addColumn<int>("beep");
    QTest::addColumn<QString>("selezione");

    QTest::newRow("rele 300") << "txb_tmp_rele"
                              << "300"
                              << "300" << 3 << "0";
    QTest::newRow("rele 256") << "txb_tmp_rele"
                              << "256"
                              << "256" << 3 << "6";
    QTest::newRow("rele 255") << "txb_tmp_rele"
                              << "255"
                              << "255" << 0 << "";
    QTest::newRow("rele 0300") << "txb_tmp_rele"
                               << "0300"
                               << "0300" << 4 << "0";
    QTest::newRow("impulsi 12a") << "txb_Usc_imp"
                                 << "12a"
                                 << "12a" << 1 << "a";
    // The selected bad character is overwritten by the next key.
    QTest::newRow("impulsi a7") << "txb_Usc_imp"
                                << "a7"
                                << "7" << 1 << "";
    QTest::newRow("codice 4097") << "txb_Codice_M5"
                                 << "4097"
                                 << "4097" << 1 << "7";
    QTest::newRow("codice 4096") << "txb_Codice_M5"
                                 << "4096"
                                 << "4096" << 0 << "";
    QTest::newRow("frequenza 433,92") << "txb_FqRx"
                                      << "433,92"
                                      << "43392" << 1 << "";
    QTest::newRow("frequenza 1.2.3") << "txb_FqRx"
                                     << "1.2.3"
                                     << "1.2.3" << 0 << "";
    QTest::newRow("frequenza 999") << "txb_FqRx"
                                   << "999"
                                   << "999" << 0 << "";
}

void TstControlloCampo::testo_digitato()
{
    QFETCH(QString, campo);
    QFETCH(QString, tasti);
    QFETCH(QString, testo);
    QFETCH(int, beep);
    QFETCH(QString, selezione);

    Impianto b;
    QVERIFY(QTest::qWaitForWindowActive(&b.w));
    QLineEdit *e = b.campo(campo);
    QVERIFY(e);
    e->setFocus();
    QTest::keyClicks(e, tasti);

    QCOMPARE(e->text(), testo);
    QCOMPARE(b.beep, beep);
    QCOMPARE(e->selectedText(), selezione);
    QCOMPARE(QApplication::focusWidget(), e);
}

void TstControlloCampo::perdita_del_fuoco_data()
{
    QTest::addColumn<QString>("campo");
    QTest::addColumn<QString>("testo");
    QTest::addColumn<bool>("con_tab");
    QTest::addColumn<int>("beep");
    QTest::addColumn<QString>("selezione");

    QTest::newRow("rele 300, clic altrove") << "txb_tmp_rele"
                                            << "300" << false << 3 << "0";
    QTest::newRow("rele 300, tab") << "txb_tmp_rele"
                                   << "300" << true << 3 << "0";
    QTest::newRow("codice 4097, clic altrove") << "txb_Codice_M5"
                                               << "4097" << false << 1 << "7";
    QTest::newRow("codice 4097, tab") << "txb_Codice_M5"
                                      << "4097" << true << 1 << "7";
    QTest::newRow("frequenza 433,92") << "txb_FqRx"
                                      << "433,92" << false << 1 << ",";
    QTest::newRow("impulsi 12a") << "txb_Usc_imp"
                                 << "12a" << true << 1 << "a";
    QTest::newRow("rele 255 esce") << "txb_tmp_rele"
                                   << "255" << false << 0 << "";
    QTest::newRow("codice vuoto esce") << "txb_Codice_M5"
                                       << "" << true << 0 << "";
}

// Leaving a field checks it again; a faulty one takes the focus back.
void TstControlloCampo::perdita_del_fuoco()
{
    QFETCH(QString, campo);
    QFETCH(QString, testo);
    QFETCH(bool, con_tab);
    QFETCH(int, beep);
    QFETCH(QString, selezione);

    Impianto b;
    QVERIFY(QTest::qWaitForWindowActive(&b.w));
    QLineEdit *e = b.campo(campo);
    QVERIFY(e);
    e->setFocus();
    e->setText(testo);
    QCOMPARE(QApplication::focusWidget(), e);
    e->setCursorPosition(0);
    b.beep = 0;

    if (con_tab)
        QTest::keyClick(e, Qt::Key_Tab);
    else
        QTest::mouseClick(b.u().Text7, Qt::LeftButton);

    QCOMPARE(b.beep, beep);
    if (beep > 0) {
        QCOMPARE(QApplication::focusWidget(), e);
        QCOMPARE(e->selectedText(), selezione);
    } else {
        QVERIFY(QApplication::focusWidget() != e);
    }
    QCOMPARE(e->text(), testo);
}

// Each faulty field takes the focus back from the other: the focus must
// come to rest on one of them, with the event loop still running.
void TstControlloCampo::due_campi_difettosi()
{
    Impianto b;
    auto &u = b.u();
    QVERIFY(QTest::qWaitForWindowActive(&b.w));
    u.txb_tmp_rele->setText(QStringLiteral("300"));
    u.txb_FqRx->setText(QStringLiteral("433,92"));
    QLineEdit *const difettosi[] = {u.txb_tmp_rele, u.txb_FqRx};
    const auto su_un_difettoso = [&] {
        QWidget *f = QApplication::focusWidget();
        return f == difettosi[0] || f == difettosi[1];
    };
    QVERIFY(su_un_difettoso());

    const QList<QWidget *> mosse = {u.txb_tmp_rele, u.txb_FqRx,    u.Text7,
                                    u.txb_tmp_rele, u.txb_Usc_imp, u.txb_FqRx};
    for (QWidget *verso : mosse) {
        const int beep_prima = b.beep;
        QTest::mouseClick(verso, Qt::LeftButton);
        bool scattato = false;
        QTimer::singleShot(20, [&] { scattato = true; });
        QVERIFY(QTest::qWaitFor([&] { return scattato; }, 2000));
        QWidget *fermo = QApplication::focusWidget();
        QVERIFY2(su_un_difettoso(), qPrintable(fermo ? fermo->objectName() : QString()));
        // At most one check of the field that lost the focus.
        QVERIFY2(b.beep - beep_prima <= 3, qPrintable(QString::number(b.beep - beep_prima)));
        // A click into the field itself places the cursor there instead.
        if (verso != fermo)
            QCOMPARE(static_cast<QLineEdit *>(fermo)->selectedText(),
                     fermo == u.txb_tmp_rele ? QStringLiteral("0") : QStringLiteral(","));
        const int beep_fermo = b.beep;
        QTest::qWait(50);
        QCOMPARE(QApplication::focusWidget(), fermo);
        QCOMPARE(b.beep, beep_fermo);
    }
    QCOMPARE(u.txb_tmp_rele->text(), QStringLiteral("300"));
    QCOMPARE(u.txb_FqRx->text(), QStringLiteral("433,92"));
}

void TstControlloCampo::uscita_dalla_finestra_data()
{
    QTest::addColumn<Qt::FocusReason>("motivo");
    QTest::addColumn<int>("beep");
    QTest::newRow("altra finestra") << Qt::ActiveWindowFocusReason << 0;
    QTest::newRow("menu") << Qt::PopupFocusReason << 0;
    QTest::newRow("tab") << Qt::TabFocusReason << 3;
}

void TstControlloCampo::uscita_dalla_finestra()
{
    // A warning box or another window takes the focus from the whole
    // window: that is no reason to beep at a faulty field again.
    QFETCH(Qt::FocusReason, motivo);
    QFETCH(int, beep);
    Impianto b;
    QLineEdit *e = b.campo(QStringLiteral("txb_tmp_rele"));
    e->setText(QStringLiteral("300"));
    b.beep = 0;
    QFocusEvent perdita(QEvent::FocusOut, motivo);
    QApplication::sendEvent(e, &perdita);
    QCOMPARE(b.beep, beep);
}

QTEST_MAIN(TstControlloCampo)
#include "tst_controllo_campo.moc"
