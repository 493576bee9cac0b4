// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it loads: its controls, options, help line, banner, geometry and fonts.
#include "impianto_finestra.h"
#include "principale.h"
#include "ui_principale.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class TstPrincipaleAspetto : public QObject
{
    Q_OBJECT

private slots:
    void stato_iniziale();
    void scelta_della_porta_data();
    void scelta_della_porta();
    void opzioni_data();
    void opzioni();
    void riga_di_aiuto_data();
    void riga_di_aiuto();
    void suggerimento_del_logo();
    void banner();
    void geometria_data();
    void geometria();
    void barra_sopra_la_riga_di_aiuto();
    void pulsanti_di_opzione_senza_didascalia();
    void caratteri_data();
    void caratteri();
};

void TstPrincipaleAspetto::stato_iniziale()
{
    ImpiantoFinestra b;
    auto &u = b.u();
    QVERIFY(QTest::qWaitForWindowActive(&b.w));
    QCOMPARE(b.w.size(), QSize(624, 515));
    QCOMPARE(QApplication::focusWidget(), u.txb_Codice_M5);
    for (QLineEdit *e :
         {u.txb_Codice_M5, u.txb_FqRx, u.txb_tmp_rele, u.txb_Usc_imp, u.Text7, u.Text1})
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(u.Opt_toni_alti->isChecked());
    QVERIFY(u.Opt_bidi->isChecked());
    QVERIFY(u.Opt_imp->isChecked());
    QVERIFY(!u.ProgressBar1->isVisible());

    QStringList porte;
    for (int i = 0; i < u.Cmb_com->count(); ++i)
        porte << u.Cmb_com->itemText(i);
    QCOMPARE(porte,
             QStringList({"Com 1", "Com 2", "Com 3", "Com 4", "Com 5", "Com 6", "Com 7", "Com 8"}));
    QCOMPARE(u.Cmb_com->currentText(), QStringLiteral("Com 1"));
    QVERIFY(u.Cmb_com->isEditable());
    QCOMPARE(b.w.collegamento().porta().numero(), 1);

    QTRY_COMPARE(b.stato(), Collegamento::NON_CONNESSO);
    QTRY_COMPARE(b.abilitati(), RIGA_NON_CONNESSO);
    QVERIFY(!b.w.collegamento().porta().aperta());
    QCOMPARE(b.beep, 0);
    QVERIFY(b.avvisi.isEmpty());
}

void TstPrincipaleAspetto::scelta_della_porta_data()
{
    QTest::addColumn<QList<int>>("tasti");
    QTest::addColumn<QString>("testo");
    QTest::addColumn<int>("numero");
    QTest::addColumn<QString>("suggerimento"); // the device behind it, with the ports below

    QTest::newRow("Com 2") << QList<int>{Qt::Key_Down} << "Com 2" << 2
                           << "Com 2 = /dev/ttyS0 (ttyS0)";
    QTest::newRow("Com 3") << QList<int>{Qt::Key_Down, Qt::Key_Down} << "Com 3" << 3
                           << "Com 3 = /dev/ttyS2";
    QTest::newRow("oltre l'ultima")
        << QList<int>(10, Qt::Key_Down) << "Com 8" << 8 << "Com 8 = /dev/ttyS7";
    QTest::newRow("avanti e indietro") << QList<int>{Qt::Key_Down, Qt::Key_Up} << "Com 1" << 1
                                       << "Com 1 = /dev/ttyUSB0 (FT232R USB UART)";
}

void TstPrincipaleAspetto::scelta_della_porta()
{
    QFETCH(QList<int>, tasti);
    QFETCH(QString, testo);
    QFETCH(int, numero);

    QFETCH(QString, suggerimento);

    ImpiantoFinestra b;
    b.w.collegamento().porta().imposta_fonte([] {
        return ordina_porte({{"/dev/ttyS0", "ttyS0", "", std::nullopt, std::nullopt, ""},
                             {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", 0x0403, 0x6001, "A1"}});
    });
    for (int t : tasti)
        QTest::keyClick(b.u().Cmb_com, static_cast<Qt::Key>(t));
    QCOMPARE(b.u().Cmb_com->currentText(), testo);
    QCOMPARE(b.w.collegamento().porta().numero(), numero);
    QCOMPARE(b.beep, 0);
    QCOMPARE(b.u().Cmb_com->count(), 8);
    QHelpEvent aiuto(QEvent::ToolTip, QPoint(2, 2), b.u().Cmb_com->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(b.u().Cmb_com, &aiuto);
    QCOMPARE(b.u().Cmb_com->toolTip(), suggerimento);
}

void TstPrincipaleAspetto::opzioni_data()
{
    QTest::addColumn<QStringList>("clic");
    QTest::addColumn<QStringList>("scelti");
    // -1: still unset
    QTest::addColumn<int>("toni_hl");
    QTest::addColumn<int>("mem_ipul");
    QTest::addColumn<int>("rxp88");

    const QStringList iniziali{"Opt_toni_alti", "Opt_bidi", "Opt_imp"};
    QTest::newRow("al caricamento") << QStringList{} << iniziali << -1 << -1 << -1;
    QTest::newRow("Alti già scelto") << QStringList{"Opt_toni_alti"} << iniziali << -1 << -1 << -1;
    QTest::newRow("Bidi già scelto") << QStringList{"Opt_bidi"} << iniziali << -1 << -1 << -1;
    QTest::newRow("Imp già scelto") << QStringList{"Opt_imp"} << iniziali << -1 << -1 << -1;
    QTest::newRow("Bassi") << QStringList{"Opt_toni_bassi"}
                           << QStringList{"Opt_toni_bassi", "Opt_bidi", "Opt_imp"} << 0 << -1 << -1;
    QTest::newRow("Bassi poi Alti")
        << QStringList{"Opt_toni_bassi", "Opt_toni_alti"} << iniziali << 1 << -1 << -1;
    QTest::newRow("Mem") << QStringList{"Opt_memo"}
                         << QStringList{"Opt_toni_alti", "Opt_bidi", "Opt_memo"} << -1 << 0 << -1;
    QTest::newRow("Mem poi Imp") << QStringList{"Opt_memo", "Opt_imp"} << iniziali << -1 << 1 << -1;
    QTest::newRow("Mono+Strip") << QStringList{"opt_strip"}
                                << QStringList{"Opt_toni_alti", "opt_strip", "Opt_imp"} << -1 << -1
                                << 0;
    QTest::newRow("Mono+Strip poi Bidi")
        << QStringList{"opt_strip", "Opt_bidi"} << iniziali << -1 << -1 << 1;
    QTest::newRow("uno per gruppo")
        << QStringList{"Opt_toni_bassi", "Opt_memo", "opt_strip"}
        << QStringList{"Opt_toni_bassi", "opt_strip", "Opt_memo"} << 0 << 0 << 0;
}

void TstPrincipaleAspetto::opzioni()
{
    QFETCH(QStringList, clic);
    QFETCH(QStringList, scelti);
    QFETCH(int, toni_hl);
    QFETCH(int, mem_ipul);
    QFETCH(int, rxp88);

    ImpiantoFinestra b;
    QVERIFY(QTest::qWaitForWindowExposed(&b.w));
    for (const QString &nome : clic) {
        auto *o = b.w.findChild<QRadioButton *>(nome);
        QVERIFY2(o, qPrintable(nome));
        ::clic(o);
    }
    QStringList selezionati;
    for (QRadioButton *o : b.w.findChildren<QRadioButton *>()) {
        if (o->isChecked())
            selezionati << o->objectName();
    }
    selezionati.sort();
    scelti.sort();
    QCOMPARE(selezionati, scelti);

    const Parametri &p = b.w.collegamento().parametri();
    const auto valore = [](const Variante &v) { return v.impostata() ? int(v.valore()) : -1; };
    QCOMPARE(valore(p.Toni_HL), toni_hl);
    QCOMPARE(valore(p.Mem_Ipul), mem_ipul);
    QCOMPARE(valore(p.RxP88), rxp88);
}

void TstPrincipaleAspetto::riga_di_aiuto_data()
{
    QTest::addColumn<QString>("prima");
    QTest::addColumn<QString>("poi");
    QTest::addColumn<QString>("atteso");

    // Each hint, coming from bare background.
    const QString sfondo = QStringLiteral("Principale");
    QTest::newRow("Frame1") << sfondo << "Frame1" << CODICE_M5;
    QTest::newRow("Frame2") << sfondo << "Frame2" << FREQ_RX;
    QTest::newRow("Frame3") << sfondo << "Frame3"
                            << " Inserire il Tempo del Rele' di Allarme espresso in sec (Range 1 - "
                               "255 sec)";
    QTest::newRow("Frame4") << sfondo << "Frame4"
                            << " Inserire il Tempo dell'Uscita Impulsiva espresso in sec (Range 1 "
                               "- 255 sec)";
    QTest::newRow("toni_h_l") << sfondo << "toni_h_l"
                              << " Toni H/L se impostato ALTI solo verso Quorvanta K2 o K6 ,BASSI "
                                 "verso Quorvanta P/S";
    QTest::newRow("Frame15")
        << sfondo << "Frame15"
        << " Seleziona se deve Ricevere un Msg da uno Strip/mono o da un Bidirezionale";
    QTest::newRow("Mem_Imp") << sfondo << "Mem_Imp"
                             << " Imposta L'Uscite Memorizzate o Impulsive  secondo le specifiche "
                                "del Monodir.,Strip,Bidirez.";
    QTest::newRow("Frame11") << sfondo << "Frame11"
                             << " Stato di Connessione ,indica se la connessione e' attiva o "
                                "disattiva tra PC e Quorvanta M5";
    QTest::newRow("Frame10") << sfondo << "Frame10"
                             << " Setup Com seleziona la porta di comunicazione seriale ";
    QTest::newRow("Label7") << sfondo << "Label7"
                            << " Configuratore per Quorvanta M5 V 1.0.0 F.T";

    // What leaves the line as it was.
    QTest::newRow("dal riquadro al suo campo") << "Frame1"
                                               << "txb_Codice_M5" << CODICE_M5;
    QTest::newRow("campo di un altro riquadro") << "Frame2"
                                                << "txb_Codice_M5" << FREQ_RX;
    QTest::newRow("etichetta nel riquadro") << "Frame1"
                                            << "Label2" << CODICE_M5;
    QTest::newRow("pulsante") << "Frame1"
                              << "Cmd_connetti" << CODICE_M5;
    QTest::newRow("riquadro senza titolo") << "Frame1"
                                           << "Frame7" << CODICE_M5;
    QTest::newRow("ESCI") << "Frame1"
                          << "Command4" << CODICE_M5;
    QTest::newRow("scelta della porta") << "Frame1"
                                        << "Cmb_com" << CODICE_M5;
    QTest::newRow("Inizializza") << "Frame1"
                                 << "Frame9" << CODICE_M5;
    QTest::newRow("pulsante VHF") << "Frame1"
                                  << "Cmd_init_vhf" << CODICE_M5;
    QTest::newRow("Banda") << "Frame1"
                           << "Frame18" << CODICE_M5;
    QTest::newRow("pulsante di opzione") << "Frame1"
                                         << "Opt_toni_alti" << CODICE_M5;
    QTest::newRow("pulsante di opzione di Mem") << "Frame1"
                                                << "Opt_memo" << CODICE_M5;
    QTest::newRow("riga di aiuto") << "Frame1"
                                   << "Text7" << CODICE_M5;
    QTest::newRow("Label1") << "Frame1"
                            << "Label1" << CODICE_M5;

    // Bare background clears it.
    QTest::newRow("sfondo") << "Frame1" << sfondo << QString();
    QTest::newRow("riga del disegno") << "Frame1"
                                      << "Line2" << QString();
    QTest::newRow("riga del disegno verticale") << "Frame1"
                                                << "Line7" << QString();
}

void TstPrincipaleAspetto::riga_di_aiuto()
{
    QFETCH(QString, prima);
    QFETCH(QString, poi);
    QFETCH(QString, atteso);

    ImpiantoFinestra b;
    QVERIFY(QTest::qWaitForWindowExposed(&b.w));
    const auto widget = [&](const QString &nome) -> QWidget * {
        return nome == QLatin1String("Principale") ? &b.w : b.w.findChild<QWidget *>(nome);
    };
    QWidget *da = widget(prima);
    QWidget *a = widget(poi);
    QVERIFY(da && a);
    b.muovi_su(da);
    b.muovi_su(a);
    QCOMPARE(b.u().Text7->text(), atteso);
    // A second move over the same control changes nothing.
    b.muovi_su(a);
    QCOMPARE(b.u().Text7->text(), atteso);
}

void TstPrincipaleAspetto::suggerimento_del_logo()
{
    ImpiantoFinestra b;
    QVERIFY(QTest::qWaitForWindowExposed(&b.w));
    b.muovi_su(b.u().Image1);
    const QString t = b.u().Text7->text();
    QCOMPARE(t.size(), 84);
    QVERIFY2(QRegularExpression(QStringLiteral("^ \\S.{24}\\S  \\S.*\\S$")).match(t).hasMatch(),
             qPrintable(t));
}

void TstPrincipaleAspetto::banner()
{
    ImpiantoFinestra b;
    const QString al_caricamento = b.w.windowTitle();
    QCOMPARE(al_caricamento, Principale::CAPTION);
    QCOMPARE(al_caricamento.size(), 118);
    // Company, address, town, web address and the gap, in blocks of fixed width.
    const QRegularExpression forma(
        QStringLiteral("^(\\S.{24}\\S) {2}(\\S.{21}\\S) {6}(\\S.{9}\\S) {7}(\\S.{22}\\S) {19}$"));
    QVERIFY2(forma.match(al_caricamento).hasMatch(), qPrintable(al_caricamento));

    auto *tmr = b.w.findChild<QTimer *>(QStringLiteral("Tmr_scritte"));
    QVERIFY(tmr);
    const auto passo = [tmr] { QVERIFY(QMetaObject::invokeMethod(tmr, "timeout")); };
    passo();
    QCOMPARE(b.w.windowTitle(), al_caricamento.mid(1) + al_caricamento.left(1));
    for (int i = 1; i < 118; ++i)
        passo();
    QCOMPARE(b.w.windowTitle(), al_caricamento);
    for (int i = 0; i < 30; ++i)
        passo();
    QCOMPARE(b.w.windowTitle(), al_caricamento.mid(30) + al_caricamento.left(30));

    // And it scrolls by itself.
    const QString ora = b.w.windowTitle();
    QTRY_VERIFY(b.w.windowTitle() != ora);
    QCOMPARE(b.w.windowTitle().size(), 118);
}

void TstPrincipaleAspetto::geometria_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("contenitore");
    QTest::addColumn<QRect>("posto");

    const QString f = QStringLiteral("Principale");
    const auto riga = [](const char *nome, const QString &in, int x, int y, int l, int a) {
        QTest::newRow(nome) << QString::fromLatin1(nome) << in << QRect(x, y, l, a);
    };
    riga("Image1", f, 16, 16, 110, 61);
    riga("Label7", f, 152, 16, 313, 25);
    riga("Label1", f, 136, 64, 161, 17);
    riga("Frame1", f, 16, 96, 137, 65);
    riga("txb_Codice_M5", "Frame1", 16, 32, 57, 19);
    riga("Label2", "Frame1", 80, 40, 49, 17);
    riga("Frame2", f, 160, 96, 145, 65);
    riga("txb_FqRx", "Frame2", 8, 32, 65, 19);
    riga("Label3", "Frame2", 80, 24, 57, 17);
    riga("Label4", "Frame2", 80, 40, 57, 17);
    riga("Frame3", f, 312, 96, 145, 65);
    riga("txb_tmp_rele", "Frame3", 16, 32, 57, 19);
    riga("Frame4", f, 464, 96, 145, 65);
    riga("txb_Usc_imp", "Frame4", 16, 32, 57, 19);
    riga("toni_h_l", f, 24, 176, 89, 65);
    riga("alti", "toni_h_l", 16, 24, 25, 17);
    riga("Label9", "toni_h_l", 48, 24, 33, 17);
    riga("Opt_toni_alti", "toni_h_l", 16, 40, 17, 17);
    riga("Opt_toni_bassi", "toni_h_l", 56, 40, 17, 17);
    riga("Frame15", f, 144, 176, 137, 65);
    riga("Label16", "Frame15", 16, 24, 57, 17);
    riga("Label17", "Frame15", 88, 24, 33, 17);
    riga("opt_strip", "Frame15", 32, 40, 17, 21);
    riga("Opt_bidi", "Frame15", 88, 40, 17, 21);
    riga("Mem_Imp", f, 312, 176, 105, 65);
    riga("Label14", "Mem_Imp", 24, 24, 33, 17);
    riga("Label15", "Mem_Imp", 72, 24, 25, 17);
    riga("Opt_memo", "Mem_Imp", 24, 40, 17, 17);
    riga("Opt_imp", "Mem_Imp", 72, 40, 17, 17);
    riga("Frame11", f, 448, 176, 153, 65);
    riga("txb_stato_con", "Frame11", 24, 32, 105, 19);
    riga("Frame7", f, 48, 272, 105, 57);
    riga("Cmd_connetti", "Frame7", 16, 16, 73, 33);
    riga("Frame14", f, 192, 272, 105, 57);
    riga("cmd_programma", "Frame14", 16, 16, 73, 33);
    riga("Frame8", f, 336, 272, 105, 57);
    riga("Cmd_disconetti", "Frame8", 16, 16, 73, 33);
    riga("Frame13", f, 480, 272, 97, 57);
    riga("Command4", "Frame13", 16, 16, 65, 33);
    riga("Frame12", f, 24, 344, 577, 49);
    riga("Text7", "Frame12", 8, 16, 561, 25);
    riga("ProgressBar1", f, 32, 360, 561, 25);
    riga("Frame9", f, 48, 424, 145, 65);
    riga("Cmd_init_vhf", "Frame9", 16, 24, 49, 25);
    riga("Cmd_init_uhf", "Frame9", 80, 24, 49, 25);
    riga("Frame10", f, 264, 424, 145, 65);
    riga("Label13", "Frame10", 16, 32, 41, 25);
    riga("Cmb_com", "Frame10", 64, 32, 65, 21);
    riga("Frame18", f, 480, 424, 97, 65);
    riga("Text1", "Frame18", 24, 32, 49, 19);
}

void TstPrincipaleAspetto::geometria()
{
    QFETCH(QString, nome);
    QFETCH(QString, contenitore);
    QFETCH(QRect, posto);

    ImpiantoFinestra b;
    auto *w = b.w.findChild<QWidget *>(nome);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), contenitore);
    QCOMPARE(w->geometry(), posto);
}

void TstPrincipaleAspetto::barra_sopra_la_riga_di_aiuto()
{
    ImpiantoFinestra b;
    auto &u = b.u();
    QVERIFY(QTest::qWaitForWindowExposed(&b.w));
    const QRect riga(u.Text7->mapTo(&b.w, QPoint(0, 0)), u.Text7->size());
    QCOMPARE(riga, QRect(32, 360, 561, 25));
    QCOMPARE(u.ProgressBar1->parentWidget(), &b.w);
    QCOMPARE(u.ProgressBar1->geometry(), riga);

    QCOMPARE(b.w.childAt(riga.center()), u.Text7);
    b.w.elementi_collegamento().mostra_progresso(true);
    QCOMPARE(b.w.childAt(riga.center()), u.ProgressBar1);
    b.w.elementi_collegamento().mostra_progresso(false);
    QCOMPARE(b.w.childAt(riga.center()), u.Text7);
}

void TstPrincipaleAspetto::pulsanti_di_opzione_senza_didascalia()
{
    ImpiantoFinestra b;
    const QList<QRadioButton *> opzioni = b.w.findChildren<QRadioButton *>();
    QCOMPARE(opzioni.size(), 6);
    for (QRadioButton *o : opzioni) {
        QVERIFY2(o->text().isEmpty(), qPrintable(o->objectName()));
        QCOMPARE(o->width(), 17);
    }
}

void TstPrincipaleAspetto::caratteri_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("famiglia");
    QTest::addColumn<qreal>("punti");
    QTest::addColumn<bool>("grassetto");

    const QString ms = QStringLiteral("MS Sans Serif");
    QTest::newRow("Label7") << "Label7"
                            << "Arial" << 14.25 << true;
    QTest::newRow("Label13") << "Label13" << ms << 9.75 << true;
    QTest::newRow("riquadro") << "Frame1" << ms << 8.25 << true;
    QTest::newRow("campo") << "txb_FqRx" << ms << 8.25 << true;
    QTest::newRow("pulsante") << "Cmd_connetti" << ms << 8.25 << true;
    QTest::newRow("scelta della porta") << "Cmb_com" << ms << 8.25 << true;
    QTest::newRow("pulsante di opzione") << "Opt_bidi" << ms << 8.25 << false;
    QTest::newRow("riquadro senza titolo") << "Frame7" << ms << 8.25 << false;
}

void TstPrincipaleAspetto::caratteri()
{
    QFETCH(QString, nome);
    QFETCH(QString, famiglia);
    QFETCH(qreal, punti);
    QFETCH(bool, grassetto);

    ImpiantoFinestra b;
    auto *w = b.w.findChild<QWidget *>(nome);
    QVERIFY(w);
    QCOMPARE(w->font().family(), famiglia);
    QCOMPARE(w->font().pointSizeF(), punti);
    QCOMPARE(w->font().bold(), grassetto);
}

QTEST_MAIN(TstPrincipaleAspetto)
#include "tst_principale_aspetto.moc"
