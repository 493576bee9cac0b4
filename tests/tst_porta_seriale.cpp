// SPDX-License-Identifier: GPL-3.0-or-later
#include "porta_seriale.h"
#include "processo_simulatore.h"

#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

class TstPortaSeriale : public QObject
{
    Q_OBJECT

private slots:
    void mappatura_data();
    void mappatura();
    void mappatura_all_apertura();
    void numero_fuori_scala_data();
    void numero_fuori_scala();
    void porta_chiusa_rifiuta_data();
    void porta_chiusa_rifiuta();
    void porta_mancante();
    void porta_gia_aperta();
    void impostazioni_di_linea();
    void dialogo_con_il_ricevitore();
    void arretrati_scartati_all_apertura();
    void un_carattere_per_lettura();
    void chiusa_quando_la_linea_cade();
    void riapertura_dopo_la_caduta();
};

namespace {
bool attendi(const std::function<bool()> &condizione, int ms = 5000)
{
    return QTest::qWaitFor(condizione, ms);
}

// The next byte received within 5 s; -1 for none.
int attendi_byte(PortaSeriale &porta)
{
    std::optional<std::uint8_t> byte;
    attendi([&] { return (byte = porta.prendi_byte()).has_value(); });
    return byte ? *byte : -1;
}

// The unit's announcement, taken.
void attendi_k(PortaSeriale &porta)
{
    QCOMPARE(attendi_byte(porta), int('K'));
}

QString nessun_file()
{
    return QString::fromLocal8Bit(std::strerror(ENOENT));
}
} // namespace

void TstPortaSeriale::mappatura_data()
{
    QTest::addColumn<QStringList>("porte"); // "path" or "path usb": what the system has
    QTest::addColumn<QStringList>("mappe"); // "N=PATH" given
    QTest::addColumn<QStringList>("com");   // what "Com 1".."Com 8" name

    QStringList riserva;
    for (int n = 1; n <= 8; ++n)
        riserva << PortaSeriale::nome_predefinito(n);
    QTest::newRow("nessuna porta") << QStringList{} << QStringList{} << riserva;
#ifndef Q_OS_WIN
    // USB adapters first, then the others, each by path, numbers by value.
    const QStringList porte{"/dev/ttyS1",       "/dev/ttyUSB1 usb",  "/dev/ttyS0",
                            "/dev/ttyACM0 usb", "/dev/ttyUSB10 usb", "/dev/ttyUSB2 usb"};
    QTest::newRow("usb prima, poi le altre")
        << porte << QStringList{}
        << QStringList{"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10",
                       "/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS6",   "/dev/ttyS7"};
    QTest::newRow("una mappa vince")
        << QStringList{"/dev/ttyUSB0 usb"} << QStringList{"1=/dev/pts/9", "3=/dev/ttyUSB0"}
        << QStringList{"/dev/pts/9", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyS3",
                       "/dev/ttyS4", "/dev/ttyS5", "/dev/ttyS6",   "/dev/ttyS7"};
#endif
    QStringList automatica = riserva;
    automatica[0] = automatica[1] = QStringLiteral("/dev/ttyUSB3");
    QTest::newRow("auto: il solo adattatore")
        << QStringList{"/dev/ttyUSB3 usb"} << QStringList{"2=auto"} << automatica;
    automatica = riserva;
    automatica[1] = QString();
    QTest::newRow("auto: due adattatori")
        << QStringList{"/dev/ttyUSB0 usb", "/dev/ttyUSB1 usb"} << QStringList{"2=auto"}
        << QStringList{"/dev/ttyUSB0", "",           "/dev/ttyS2", "/dev/ttyS3",
                       "/dev/ttyS4",   "/dev/ttyS5", "/dev/ttyS6", "/dev/ttyS7"};
    QTest::newRow("auto: nessun adattatore")
        << QStringList{} << QStringList{"2=auto"} << automatica;
}

void TstPortaSeriale::mappatura()
{
    QFETCH(QStringList, porte);
    QFETCH(QStringList, mappe);
    QFETCH(QStringList, com);

    PortaSeriale porta;
    porta.imposta_fonte([porte] {
        QList<PortaSistema> elenco;
        for (const QString &p : porte)
            elenco.append(
                {p.section(' ', 0, 0), QStringLiteral("adattatore"), QString(),
                 p.endsWith(QLatin1String(" usb")) ? std::optional<quint16>(0x0403) : std::nullopt,
                 std::nullopt, QString()});
        return ordina_porte(elenco);
    });
    for (const QString &m : mappe)
        QVERIFY(porta.mappa(m.section('=', 0, 0).toInt(), m.section('=', 1)));
    QStringList avute;
    for (int n = 1; n <= 8; ++n)
        avute << porta.nome(n);
    QCOMPARE(avute, com);
}

void TstPortaSeriale::mappatura_all_apertura()
{
    // Worked out when the port opens: an adapter plugged in later is found.
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    QList<PortaSistema> sistema{{QStringLiteral("/dev/m5-nessuna-porta"), QString(), QString(),
                                 quint16(0x0403), quint16(0x6001), QString()}};
    PortaSeriale porta;
    porta.imposta_fonte([&sistema] { return sistema; });
    QVERIFY(!porta.apri());
    QCOMPARE(porta.motivo(), nessun_file());
    sistema = {{sim.percorso(), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
                quint16(0x0403), quint16(0x6001), QStringLiteral("A1")}};
    QCOMPARE(porta.descrizione(1),
             QStringLiteral("Com 1 = %1 (FT232R USB UART)").arg(sim.percorso()));
    QVERIFY(porta.apri());
    QCOMPARE(porta.dispositivo(), sim.percorso());
    attendi_k(porta);
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
    QVERIFY(!porta.imposta_numero(numero));
    QVERIFY(!porta.mappa(numero, QStringLiteral("/dev/null")));
    QCOMPARE(porta.numero(), 1);
}

void TstPortaSeriale::porta_chiusa_rifiuta_data()
{
    QTest::addColumn<std::function<bool(PortaSeriale &)>>("operazione"); // true: it did something
    using Op = std::function<bool(PortaSeriale &)>;
    QTest::newRow("invia") << Op([](PortaSeriale &p) { return p.invia("E"); });
    QTest::newRow("prendi_byte") << Op([](PortaSeriale &p) { return p.prendi_byte().has_value(); });
}

void TstPortaSeriale::porta_chiusa_rifiuta()
{
    QFETCH(std::function<bool(PortaSeriale &)>, operazione);
    PortaSeriale porta;
    QVERIFY(!porta.aperta());
    QVERIFY(!operazione(porta));
    porta.chiudi(); // closing a closed port is harmless
    QVERIFY(!porta.aperta());
}

void TstPortaSeriale::porta_mancante()
{
    PortaSeriale porta;
    QVERIFY(porta.mappa(2, QStringLiteral("/dev/m5-nessuna-porta")));
    QVERIFY(porta.imposta_numero(2));
    QVERIFY(!porta.apri());
    QCOMPARE(porta.motivo(), nessun_file());
    QVERIFY(!porta.aperta());
    QVERIFY(!porta.prendi_byte());
}

void TstPortaSeriale::porta_gia_aperta()
{
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    PortaSeriale prima;
    prima.mappa(1, sim.percorso());
    QVERIFY(prima.apri());
    QVERIFY(prima.aperta());
    QVERIFY(!prima.apri());
    QVERIFY(!prima.imposta_numero(2));
    QCOMPARE(prima.numero(), 1);
    QVERIFY(prima.aperta());

    PortaSeriale seconda;
    seconda.mappa(1, sim.percorso());
    QVERIFY(!seconda.apri());
    QVERIFY(!seconda.aperta());
    QVERIFY2(seconda.occupata(), qPrintable(seconda.motivo()));
    QVERIFY2(seconda.motivo().startsWith(QLatin1String("the port is in use by another program")),
             qPrintable(seconda.motivo()));

    prima.chiudi();
    QVERIFY(seconda.apri()); // released by the first
    QVERIFY(seconda.aperta());
}

void TstPortaSeriale::impostazioni_di_linea()
{
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(5, sim.percorso());
    QVERIFY(porta.imposta_numero(5));
    QVERIFY(porta.apri());

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
    QVERIFY(porta.apri());
    attendi_k(porta);

    QVERIFY(porta.invia("U"));
    QVERIFY(porta.invia("R"));
    QVERIFY(porta.invia(QByteArray(1, '\x3e')));
    QCOMPARE(attendi_byte(porta), int('V'));
    QVERIFY(!porta.prendi_byte());
    QVERIFY(sim.attendi_ricevuti(3, 2000));
    QCOMPARE(sim.ricevuti(), QByteArray("UR\x3e"));
}

void TstPortaSeriale::arretrati_scartati_all_apertura()
{
    // One "K" and no other for a minute: it waits in the terminal before the open.
    ProcessoSimulatore sim({QStringLiteral("--announce-ms"), QStringLiteral("60000")});
    QVERIFY(sim.avvia());
    const int fd = ::open(sim.percorso().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    int accodati = 0;
    QVERIFY(attendi([&] { return ::ioctl(fd, FIONREAD, &accodati) == 0 && accodati == 1; }));
    ::close(fd);

    PortaSeriale porta;
    porta.mappa(1, sim.percorso());
    QVERIFY(porta.apri());
    // Taken for the announcement, it would make the unit's next "K" cross the "U".
    QTest::qWait(300);
    QVERIFY(!porta.prendi_byte());
    QVERIFY(porta.invia("U"));
    QVERIFY(porta.invia("R"));
    QVERIFY(porta.invia(QByteArray(1, '\x3e')));
    QVERIFY(sim.attendi_ricevuti(3, 2000));
    QCOMPARE(attendi_byte(porta), int('U')); // what comes after the open is kept
}

void TstPortaSeriale::un_carattere_per_lettura()
{
    ProcessoSimulatore sim({QStringLiteral("--double-ack-at"), QStringLiteral("20")});
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(1, sim.percorso());
    QVERIFY(porta.apri());
    attendi_k(porta);
    const int annunci = int(sim.inviati().size());
    QVERIFY(porta.invia("U"));
    QVERIFY(porta.invia(QByteArray("W\x14\x07", 3)));
    // Both acknowledgements on the line before the first is taken: one each.
    QVERIFY(sim.attendi_inviati(annunci + 2, 2000));
    QCOMPARE(attendi_byte(porta), int('K'));
    QCOMPARE(attendi_byte(porta), int('K'));
    QVERIFY(!porta.prendi_byte());
}

void TstPortaSeriale::chiusa_quando_la_linea_cade()
{
    ProcessoSimulatore sim({QStringLiteral("--hangup-after"), QStringLiteral("2")});
    QVERIFY(sim.avvia());
    PortaSeriale porta;
    porta.mappa(1, sim.percorso());
    QVERIFY(porta.apri());
    attendi_k(porta);
    QVERIFY(porta.invia("U"));
    QVERIFY(porta.invia("R"));
    // Without the close, QSerialPort would stay open and spin on ReadError.
    QVERIFY(attendi([&] { return !porta.aperta(); }));
    QVERIFY(!porta.prendi_byte());
    QVERIFY(!porta.invia("E"));
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
    QVERIFY(porta.apri());
    QVERIFY(porta.invia("U"));
    QVERIFY(attendi([&] { return !porta.aperta(); }));
    QVERIFY(sim.attendi_fine(5000));
    // The device is gone: opening again fails cleanly instead of reusing the dead handle.
    QVERIFY(!porta.apri());
    QVERIFY(!porta.motivo().isEmpty());
    QVERIFY(!porta.aperta());
}

QTEST_GUILESS_MAIN(TstPortaSeriale)
#include "tst_porta_seriale.moc"
