#include "porta_seriale.h"
#include "processo_simulatore.h"

#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

class TstPortaSeriale : public QObject
{
    Q_OBJECT

private slots:
    void nomi_delle_porte();
    void numero_fuori_scala_data();
    void numero_fuori_scala();
    void porta_chiusa_rifiuta_data();
    void porta_chiusa_rifiuta();
    void porta_mancante();
    void porta_gia_aperta();
    void impostazioni_di_linea();
    void dialogo_con_il_ricevitore();
    void un_carattere_per_lettura();
    void chiusa_quando_la_linea_cade();
    void riapertura_dopo_la_caduta();
};

namespace {
bool attendi(const std::function<bool()> &condizione, int ms = 5000)
{
    return QTest::qWaitFor(condizione, ms);
}

void attendi_k(PortaSeriale &porta)
{
    QVERIFY(attendi([&] { return porta.in_attesa() > 0; }));
}
} // namespace

void TstPortaSeriale::nomi_delle_porte()
{
    PortaSeriale porta;
    QCOMPARE(porta.numero(), 1);
#ifdef Q_OS_WIN
    QCOMPARE(PortaSeriale::nome_predefinito(1), QStringLiteral("COM1"));
#else
    QCOMPARE(PortaSeriale::nome_predefinito(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(PortaSeriale::nome_predefinito(8), QStringLiteral("/dev/ttyS7"));
    QCOMPARE(porta.nome(3), QStringLiteral("/dev/ttyS2"));
#endif
    porta.mappa(3, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(porta.nome(3), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(porta.nome(4), PortaSeriale::nome_predefinito(4));
}

void TstPortaSeriale::numero_fuori_scala_data()
{
    QTest::addColumn<int>("numero");
    QTest::newRow("zero") << 0;
    QTest::newRow("nove") << 9;
    QTest::newRow("negativo") << -1;
}

void TstPortaSeriale::numero_fuori_scala()
{
    QFETCH(int, numero);
    PortaSeriale porta;
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.imposta_numero(numero));
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.mappa(numero, QStringLiteral("/dev/null")));
    QCOMPARE(porta.numero(), 1);
}

void TstPortaSeriale::porta_chiusa_rifiuta_data()
{
    QTest::addColumn<std::function<void(PortaSeriale &)>>("operazione");
    using Op = std::function<void(PortaSeriale &)>;
    QTest::newRow("granularita") << Op([](PortaSeriale &p) { p.imposta_granularita(1); });
    QTest::newRow("soglia") << Op([](PortaSeriale &p) { p.imposta_soglia(1); });
    QTest::newRow("scrivi") << Op([](PortaSeriale &p) { p.scrivi("E"); });
    QTest::newRow("in_attesa") << Op([](PortaSeriale &p) { p.in_attesa(); });
    QTest::newRow("leggi") << Op([](PortaSeriale &p) { p.leggi(); });
}

void TstPortaSeriale::porta_chiusa_rifiuta()
{
    QFETCH(std::function<void(PortaSeriale &)>, operazione);
    PortaSeriale porta;
    QVERIFY(!porta.aperta());
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, operazione(porta));
    porta.chiudi(); // closing a closed port is harmless
    QVERIFY(!porta.aperta());
}

void TstPortaSeriale::porta_mancante()
{
    PortaSeriale porta;
    porta.mappa(2, QStringLiteral("/dev/m5-nessuna-porta"));
    porta.imposta_numero(2);
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.apri());
    QVERIFY(!porta.aperta());
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.in_attesa());
}

void TstPortaSeriale::porta_gia_aperta()
{
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    PortaSeriale prima;
    prima.mappa(1, sim.percorso());
    prima.apri();
    QVERIFY(prima.aperta());
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, prima.apri());
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, prima.imposta_numero(2));
    QVERIFY(prima.aperta());

    PortaSeriale seconda;
    seconda.mappa(1, sim.percorso());
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, seconda.apri());
    QVERIFY(!seconda.aperta());

    prima.chiudi();
    seconda.apri(); // released by the first
    QVERIFY(seconda.aperta());
}

void TstPortaSeriale::impostazioni_di_linea()
{
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(5, sim.percorso());
    porta.imposta_numero(5);
    porta.apri();

    const int fd = ::open(sim.percorso().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios t{};
    QCOMPARE(::tcgetattr(fd, &t), 0);
    ::close(fd);
    QCOMPARE(cfgetospeed(&t), speed_t(B2400));
    QCOMPARE(cfgetispeed(&t), speed_t(B2400));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void TstPortaSeriale::dialogo_con_il_ricevitore()
{
    ProcessoSimulatore sim({QStringLiteral("--block"), QStringLiteral("vhf")});
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(1, sim.percorso());
    porta.apri();
    porta.imposta_soglia(1);
    porta.imposta_granularita(1);
    attendi_k(porta);
    QCOMPARE(porta.leggi(), QByteArray("K"));

    porta.scrivi("U");
    porta.scrivi("R");
    porta.scrivi(QByteArray(1, '\x3e'));
    QVERIFY(attendi([&] { return porta.in_attesa() > 0; }));
    QCOMPARE(porta.leggi(), QByteArray("V"));
    QVERIFY(porta.leggi().isEmpty());
    QVERIFY(sim.attendi_ricevuti(3, 2000));
    QCOMPARE(sim.ricevuti(), QByteArray("UR\x3e"));
}

void TstPortaSeriale::un_carattere_per_lettura()
{
    ProcessoSimulatore sim({QStringLiteral("--double-ack-at"), QStringLiteral("20")});
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(1, sim.percorso());
    porta.apri();
    porta.imposta_granularita(1);
    attendi_k(porta);
    porta.leggi();
    porta.scrivi("U");
    porta.scrivi(QByteArray("W\x14\x07", 3));
    QVERIFY(attendi([&] { return porta.in_attesa() >= 2; }));
    QCOMPARE(porta.leggi(), QByteArray("K"));
    QCOMPARE(porta.in_attesa(), 1);
    QCOMPARE(porta.leggi(), QByteArray("K"));
    QCOMPARE(porta.in_attesa(), 0);
}

void TstPortaSeriale::chiusa_quando_la_linea_cade()
{
    ProcessoSimulatore sim({QStringLiteral("--hangup-after"), QStringLiteral("2")});
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(1, sim.percorso());
    porta.apri();
    porta.imposta_granularita(1);
    attendi_k(porta);
    porta.leggi();
    porta.scrivi("U");
    porta.scrivi("R");
    // Without the close, QSerialPort would stay open and spin on ReadError.
    QVERIFY(attendi([&] { return !porta.aperta(); }));
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.in_attesa());
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.scrivi("E"));
    QVERIFY(sim.attendi_fine(5000));
    QTest::qWait(50); // the deferred close runs; nothing may re-open it
    QVERIFY(!porta.aperta());
}

void TstPortaSeriale::riapertura_dopo_la_caduta()
{
    ProcessoSimulatore sim({QStringLiteral("--hangup-after"), QStringLiteral("1")});
    QVERIFY(sim.avvia());
    const QString percorso = sim.percorso();
    PortaSeriale porta;
    porta.mappa(1, percorso);
    porta.apri();
    porta.scrivi("U");
    QVERIFY(attendi([&] { return !porta.aperta(); }));
    QVERIFY(sim.attendi_fine(5000));
    // The device is gone: opening again fails cleanly instead of reusing the dead handle.
    QVERIFY_THROWS_EXCEPTION(ErrorePorta, porta.apri());
    QVERIFY(!porta.aperta());
}

QTEST_GUILESS_MAIN(TstPortaSeriale)
#include "tst_porta_seriale.moc"
