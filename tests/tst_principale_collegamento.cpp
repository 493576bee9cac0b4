// SPDX-License-Identifier: GPL-3.0-or-later
// The window against m5sim: connect, read, program, time-outs, and closing it mid-wait.
#include "impianto_finestra.h"
#include "principale.h"
#include "processo_simulatore.h"
#include "ui_principale.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

class TstPrincipaleCollegamento : public QObject
{
    Q_OBJECT

private slots:
    void attesa_senza_ricevitore();
    void connetti_e_leggi_data();
    void connetti_e_leggi();
    void strada_tipica();
    void codice_fuori_limite_dal_ricevitore();
    void time_out_data();
    void time_out();
    void esci_data();
    void esci();
    void chiusura_della_finestra_data();
    void chiusura_della_finestra();
};

namespace {
// A transaction runs inside the click that starts it; this acts once in the
// middle of it, as soon as the condition holds.
class Quando
{
public:
    Quando(std::function<bool()> condizione, std::function<void()> azione)
    {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this, condizione, azione] {
            if (!condizione())
                return;
            m_timer.stop();
            m_avvenuto = true;
            azione();
        });
        m_timer.start();
    }
    bool avvenuto() const { return m_avvenuto; }

private:
    QTimer m_timer;
    bool m_avvenuto = false;
};

QByteArray lettura_completa()
{
    QByteArray attesi;
    for (int t = 0; t <= 62; ++t)
        attesi += QByteArray("R") + static_cast<char>(t);
    return attesi;
}

bool porta_libera(const QString &percorso)
{
    PortaSeriale p;
    p.mappa(1, percorso);
    if (!p.apri())
        return false;
    p.chiudi();
    return true;
}
} // namespace

void TstPrincipaleCollegamento::attesa_senza_ricevitore()
{
    ProcessoSimulatore sim({QStringLiteral("--silent")});
    QVERIFY(sim.avvia());
    ImpiantoFinestra b;

    bool riga = false;
    bool banner = false;
    QString stato_prima_di_disconettere;
    Quando q([&] { return b.stato() == Collegamento::IN_ATTESA; },
             [&] {
                 riga = QTest::qWaitFor([&] { return b.abilitati() == RIGA_IN_ATTESA; }, 2000);
                 const QString titolo = b.w.windowTitle();
                 banner = QTest::qWaitFor([&] { return b.w.windowTitle() != titolo; }, 2000);
                 stato_prima_di_disconettere = b.stato();
                 clic(b.u().Cmd_disconetti);
             });
    b.connetti(sim);

    QVERIFY(q.avvenuto());
    QVERIFY2(riga, qPrintable(b.abilitati().join(' ')));
    QVERIFY(banner);
    QCOMPARE(stato_prima_di_disconettere, Collegamento::IN_ATTESA);
    QCOMPARE(b.avvisi, QStringList{Collegamento::ERRORE_PORTA});
    QCOMPARE(b.stato(), Collegamento::NON_CONNESSO);
    QTRY_COMPARE(b.abilitati(), RIGA_NON_CONNESSO);
    QVERIFY(sim.attendi_ricevuti(1, 2000));
    QCOMPARE(sim.ricevuti(), QByteArray("E"));
}

void TstPrincipaleCollegamento::connetti_e_leggi_data()
{
    QTest::addColumn<QString>("blocco");
    QTest::addColumn<QStringList>("campi");
    QTest::addColumn<QString>("banda");

    QTest::newRow("vhf") << "vhf" << QStringList{"1", "161", "30", "3"} << "  VHF";
    QTest::newRow("uhf") << "uhf" << QStringList{"1", "460", "30", "3"} << "  UHF";
}

void TstPrincipaleCollegamento::connetti_e_leggi()
{
    QFETCH(QString, blocco);
    QFETCH(QStringList, campi);
    QFETCH(QString, banda);

    ProcessoSimulatore sim({QStringLiteral("--block"), blocco});
    QVERIFY(sim.avvia());
    ImpiantoFinestra b;
    auto &u = b.u();
    QVERIFY(QTest::qWaitForWindowExposed(&b.w));
    b.muovi_su(u.Frame2);
    QCOMPARE(u.Text7->text(), FREQ_RX);

    b.connetti(sim);

    QCOMPARE(b.avvisi, QStringList());
    QCOMPARE(b.beep, 0);
    QCOMPARE(b.campi(), campi);
    QVERIFY(u.Opt_toni_alti->isChecked());
    QVERIFY(u.opt_strip->isChecked());
    QVERIFY(u.Opt_memo->isChecked());
    const Parametri &p = b.w.collegamento().parametri();
    QVERIFY(p.Toni_HL.uguale(1));
    QVERIFY(p.RxP88.uguale(0));
    QVERIFY(p.Mem_Ipul.uguale(0));
    QCOMPARE(u.Text1->text(), banda);
    QCOMPARE(b.stato(), Collegamento::CONNESSO);
    QTRY_COMPARE(b.abilitati(), RIGA_CONNESSO);
    // The bar covered the help line only while the read ran.
    QVERIFY(!u.ProgressBar1->isVisible());
    QCOMPARE(u.Text7->text(), FREQ_RX);

    const QByteArray attesi = "U" + lettura_completa();
    QVERIFY(sim.attendi_ricevuti(attesi.size(), 2000));
    QCOMPARE(sim.ricevuti(), attesi);
}

void TstPrincipaleCollegamento::strada_tipica()
{
    ProcessoSimulatore sim({QStringLiteral("--block"), QStringLiteral("vhf"),
                            QStringLiteral("--reply-delay-ms"), QStringLiteral("8")});
    QVERIFY(sim.avvia());
    ImpiantoFinestra b;
    auto &u = b.u();
    b.w.collegamento().porta().mappa(3, sim.percorso());

    QTRY_COMPARE(b.stato(), Collegamento::NON_CONNESSO);
    QTRY_COMPARE(b.abilitati(), RIGA_NON_CONNESSO);
    QTest::keyClick(u.Cmb_com, Qt::Key_Down);
    QTest::keyClick(u.Cmb_com, Qt::Key_Down);
    QCOMPARE(u.Cmb_com->currentText(), QStringLiteral("Com 3"));

    // During the read: connected row, and the banner keeps scrolling.
    bool riga_durante = false;
    bool banner_durante = false;
    bool ancora_in_lettura = false;
    Quando durante_la_lettura(
        [&] { return b.stato() == Collegamento::CONNESSO && u.ProgressBar1->isVisible(); },
        [&] {
            riga_durante = QTest::qWaitFor([&] { return b.abilitati() == RIGA_CONNESSO; }, 2000);
            const QString titolo = b.w.windowTitle();
            banner_durante = QTest::qWaitFor([&] { return b.w.windowTitle() != titolo; }, 2000);
            ancora_in_lettura = u.ProgressBar1->isVisible();
        });
    clic(u.Cmd_connetti);
    QVERIFY(durante_la_lettura.avvenuto());
    QVERIFY2(riga_durante, qPrintable(b.abilitati().join(' ')));
    QVERIFY(banner_durante);
    QVERIFY(ancora_in_lettura);
    QCOMPARE(b.avvisi, QStringList());
    QCOMPARE(b.campi(), QStringList({"1", "161", "30", "3"}));
    QCOMPARE(b.stato(), Collegamento::CONNESSO);
    QTRY_COMPARE(b.abilitati(), RIGA_CONNESSO);

    // The user edits the values.
    u.txb_Codice_M5->selectAll();
    QTest::keyClicks(u.txb_Codice_M5, QStringLiteral("1234"));
    u.txb_tmp_rele->selectAll();
    QTest::keyClicks(u.txb_tmp_rele, QStringLiteral("45"));
    clic(u.Opt_toni_bassi);
    clic(u.Opt_bidi);
    QCOMPARE(b.beep, 0);

    // While fleg is 1 "Programma" must stay off whatever the supervision does.
    int campioni = 0;
    QStringList righe_sbagliate;
    QTimer campionatore;
    campionatore.setInterval(1);
    connect(&campionatore, &QTimer::timeout, [&] {
        if (!b.w.collegamento().parametri().fleg.uguale(1))
            return;
        ++campioni;
        if (b.abilitati() != RIGA_IN_PROGRAMMAZIONE)
            righe_sbagliate << b.abilitati().join(' ');
    });
    campionatore.start();
    clic(u.cmd_programma);
    campionatore.stop();

    QVERIFY2(campioni >= 10, qPrintable(QString::number(campioni)));
    QVERIFY2(righe_sbagliate.isEmpty(), qPrintable(righe_sbagliate.join(" | ")));
    QVERIFY(!b.w.collegamento().parametri().fleg.uguale(1));
    QCOMPARE(b.avvisi, QStringList());
    QCOMPARE(b.stato(), Collegamento::CONNESSO);
    QTRY_COMPARE(b.abilitati(), RIGA_CONNESSO);
    // What the verifying read brought back.
    QCOMPARE(b.campi(), QStringList({"1234", "161", "45", "3"}));
    QVERIFY(u.Opt_toni_bassi->isChecked());
    QVERIFY(u.Opt_bidi->isChecked());
    QVERIFY(u.Opt_memo->isChecked());

    const int prima = sim.ricevuti().size();
    clic(u.Cmd_disconetti);
    QVERIFY(sim.attendi_ricevuti(prima + 1, 2000));
    QCOMPARE(sim.ricevuti().mid(prima), QByteArray("E"));
    QCOMPARE(b.stato(), Collegamento::NON_CONNESSO);
    QCOMPARE(b.campi(), QStringList({"", "", "", ""}));
    QCOMPARE(u.Text1->text(), QStringLiteral("  VHF"));
    QVERIFY(u.Opt_toni_bassi->isChecked());
    QVERIFY(!b.w.collegamento().porta().aperta());
    QTRY_COMPARE(b.abilitati(), RIGA_NON_CONNESSO);
    QCOMPARE(b.beep, 0);
    QCOMPARE(b.avvisi, QStringList());
}

void TstPrincipaleCollegamento::codice_fuori_limite_dal_ricevitore()
{
    // Code 5000 = 19 * 256 + 136, with a checksum that matches.
    const Blocco &fabbrica = blocco_fabbrica(Banda::VHF);
    QByteArray celle(reinterpret_cast<const char *>(fabbrica.data()), NUM_CELLE);
    celle[7] = static_cast<char>(19);
    celle[8] = static_cast<char>(136);
    int somma = 0;
    for (int i = 0; i <= 13; ++i)
        somma += static_cast<quint8>(celle[i]);
    celle[CELLA_CKS] = static_cast<char>((255 - somma) & 255);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("celle.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(celle);
    file.close();

    ProcessoSimulatore sim({QStringLiteral("--block"), file.fileName()});
    QVERIFY(sim.avvia());
    ImpiantoFinestra b;
    QVERIFY(QTest::qWaitForWindowActive(&b.w));
    b.u().txb_tmp_rele->setFocus();
    b.connetti(sim);

    QCOMPARE(b.avvisi, QStringList());
    QCOMPARE(b.u().txb_Codice_M5->text(), QStringLiteral("5000"));
    QCOMPARE(b.beep, 1);
    QCOMPARE(b.u().txb_Codice_M5->selectionStart(), 3);
    QCOMPARE(b.u().txb_Codice_M5->selectedText(), QStringLiteral("0"));
    QCOMPARE(QApplication::focusWidget(), b.u().txb_Codice_M5);
}

void TstPrincipaleCollegamento::time_out_data()
{
    QTest::addColumn<QString>("pulsante");
    QTest::newRow("Programma") << "cmd_programma";
    QTest::newRow("Inizializza VHF") << "Cmd_init_vhf";
}

void TstPrincipaleCollegamento::time_out()
{
    QFETCH(QString, pulsante);

    ProcessoSimulatore sim({QStringLiteral("--block"), QStringLiteral("vhf"),
                            QStringLiteral("--no-ack-from"), QStringLiteral("0")});
    QVERIFY(sim.avvia());
    ImpiantoFinestra b;
    b.connetti(sim);
    QCOMPARE(b.avvisi, QStringList());
    QTRY_COMPARE(b.abilitati(), RIGA_CONNESSO);

    clic(b.w.findChild<QPushButton *>(pulsante));

    QCOMPARE(b.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
    QCOMPARE(b.stato(), Collegamento::NON_CONNESSO);
    QCOMPARE(b.campi(), QStringList({"", "", "", ""}));
    QVERIFY(!b.u().ProgressBar1->isVisible());
    QVERIFY(!b.w.collegamento().porta().aperta());
    QVERIFY(!b.w.collegamento().parametri().fleg.uguale(1));
    QTRY_COMPARE(b.abilitati(), RIGA_NON_CONNESSO);
    // One write record, never acknowledged, and nothing after it.
    const QByteArray attesi = "U" + lettura_completa();
    QVERIFY(sim.attendi_ricevuti(attesi.size() + 3, 2000));
    QCOMPARE(sim.ricevuti().mid(attesi.size()).left(2), QByteArray("W\x00", 2));
    QCOMPARE(sim.ricevuti().size(), attesi.size() + 3);
}

namespace {
enum class Fase { Nessuna, AttesaK, Lettura, Connesso };

bool in_fase(ImpiantoFinestra &b, Fase f)
{
    switch (f) {
    case Fase::AttesaK:
        return b.stato() == Collegamento::IN_ATTESA;
    case Fase::Lettura:
        return b.stato() == Collegamento::CONNESSO && b.u().ProgressBar1->isVisible();
    case Fase::Nessuna:
    case Fase::Connesso:
        break;
    }
    return true;
}

void dati_di_chiusura(bool esci)
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("fase");
    QTest::addColumn<QByteArray>("attesi");

    const QByteArray e = esci ? "E" : "";
    QTest::newRow("in attesa del K")
        << QStringList{"--silent"} << static_cast<int>(Fase::AttesaK) << e;
    QTest::newRow("durante la lettura")
        << QStringList{"--reply-delay-ms", "10000"} << static_cast<int>(Fase::Lettura)
        << QByteArray("UR\x00", 3) + e;
    QTest::newRow("connesso") << QStringList{"--block", "vhf"} << static_cast<int>(Fase::Connesso)
                              << "U" + lettura_completa() + e;
    QTest::newRow("mai connesso") << QStringList{} << static_cast<int>(Fase::Nessuna)
                                  << QByteArray();
}

// Ends the window with chiudi in the given phase; checks what reached the
// receiver, that no warning followed and that the port was let go.
void chiudi_in_fase(const std::function<void(ImpiantoFinestra &)> &chiudi)
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, fase);
    QFETCH(QByteArray, attesi);
    const Fase f = static_cast<Fase>(fase);

    ProcessoSimulatore sim(argomenti);
    QVERIFY(sim.avvia());
    ImpiantoFinestra b;
    QSignalSpy chiusa(&b.w, &Principale::chiusa);
    b.w.collegamento().porta().mappa(1, sim.percorso());
    QTRY_COMPARE(b.abilitati(), RIGA_NON_CONNESSO);

    if (f == Fase::AttesaK || f == Fase::Lettura) {
        Quando q([&] { return in_fase(b, f); }, [&] { chiudi(b); });
        clic(b.u().Cmd_connetti);
        QVERIFY(q.avvenuto());
    } else {
        if (f == Fase::Connesso)
            clic(b.u().Cmd_connetti);
        chiudi(b);
    }

    QCOMPARE(chiusa.count(), 1);
    QVERIFY(!b.w.isVisible());
    QVERIFY(!b.w.collegamento().porta().aperta());
    if (!attesi.isEmpty())
        QVERIFY(sim.attendi_ricevuti(attesi.size(), 2000));
    QVERIFY(!sim.attendi_ricevuti(attesi.size() + 1, 300));
    QCOMPARE(sim.ricevuti(), attesi);
    QTest::qWait(50); // anything left queued runs now
    QCOMPARE(b.avvisi, QStringList());
    QVERIFY(porta_libera(sim.percorso()));
}
} // namespace

void TstPrincipaleCollegamento::esci_data()
{
    dati_di_chiusura(true);
}

void TstPrincipaleCollegamento::esci()
{
    chiudi_in_fase([](ImpiantoFinestra &b) { clic(b.u().Command4); });
}

void TstPrincipaleCollegamento::chiusura_della_finestra_data()
{
    dati_di_chiusura(false);
}

void TstPrincipaleCollegamento::chiusura_della_finestra()
{
    chiudi_in_fase([](ImpiantoFinestra &b) { b.w.close(); });
}

QTEST_MAIN(TstPrincipaleCollegamento)
#include "tst_principale_collegamento.moc"
