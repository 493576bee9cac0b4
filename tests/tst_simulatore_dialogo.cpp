// SPDX-License-Identifier: GPL-3.0-or-later
// m5sim's dialogue on a sound line: announcing, reads, writes, its end, its timing and trace.

#include "blocco.h"
#include "cartella_prova.h"
#include "linea_grezza.h"
#include "linea_simulatore.h"
#include "riga_traccia.h"

#include <QScopeGuard>
#include <QtTest>

#include <limits>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace linea_grezza;

class TestSimulatoreDialogo : public QObject
{
    Q_OBJECT

private:
    CartellaProva m_cartella;

private slots:
    void initTestCase();

    void annuncio_data();
    void annuncio();
    void lettura_blocco_data();
    void lettura_blocco();
    void blocco_da_file();
    void scrittura_data();
    void scrittura();
    void byte_senza_risposta_data();
    void byte_senza_risposta();
    void fine_dialogo_data();
    void fine_dialogo();
    void riapertura();
    void silenzioso();
    void annunci_non_si_accumulano();
    void traccia();
    void riga_traccia_data();
    void riga_traccia();
    void tempi_di_linea_data();
    void tempi_di_linea();
};

void TestSimulatoreDialogo::initTestCase()
{
    QVERIFY(m_cartella.valida());
}

void TestSimulatoreDialogo::annuncio_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("atteso");

    QTest::newRow("semplice") << QStringList{} << QByteArray("K");
    QTest::newRow("rumore") << QStringList{"--noise", "XY"} << QByteArray("XYK");
    QTest::newRow("rumore uguale al comando") << QStringList{"--noise", "KU"} << QByteArray("KUK");
}

void TestSimulatoreDialogo::annuncio()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, atteso);

    LineaSimulatore linea(argomenti + QStringList{"--announce-ms", "100"});
    if (!linea.apri())
        return;

    // Announcements repeat while nobody answers.
    QCOMPARE(leggi(linea.fd, atteso.size(), ATTESA_MS), atteso);
    QCOMPARE(leggi(linea.fd, atteso.size(), ATTESA_MS), atteso);

    QVERIFY(invia(linea.fd, "U"));
    QVERIFY(linea.sim.attendi_ricevuti(1, ATTESA_MS));
    QTest::qSleep(400);

    const QList<ByteTraccia> traccia = linea.sim.traccia();
    qint64 arrivo_u = -1;
    for (const ByteTraccia &b : traccia) {
        if (b.entrata && b.byte == 'U')
            arrivo_u = b.us;
        else if (!b.entrata && arrivo_u >= 0)
            QFAIL(qPrintable(QStringLiteral("sent 0x%1 after \"U\"").arg(b.byte, 2, 16)));
    }
    QVERIFY(arrivo_u >= 0);
}

void TestSimulatoreDialogo::lettura_blocco_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("atteso");

    QTest::newRow("predefinito") << QStringList{} << come_byte(blocco_fabbrica(Banda::UHF));
    QTest::newRow("uhf") << QStringList{"--block", "uhf"} << come_byte(blocco_fabbrica(Banda::UHF));
    QTest::newRow("vhf") << QStringList{"--block", "vhf"} << come_byte(blocco_fabbrica(Banda::VHF));
}

void TestSimulatoreDialogo::lettura_blocco()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, atteso);

    LineaSimulatore linea(argomenti);
    if (!linea.entra())
        return;

    // One request at a time, as the PC does: each answer before the next "R".
    QByteArray letti;
    for (int i = 0; i < NUM_CELLE; ++i) {
        QVERIFY(invia(linea.fd, byte({'R', i})));
        const QByteArray risposta = leggi(linea.fd, 1, ATTESA_MS);
        QVERIFY2(risposta.size() == 1, qPrintable(QStringLiteral("cell %1").arg(i)));
        letti += risposta;
    }
    QCOMPARE(letti, atteso);
    QCOMPARE(leggi_per(linea.fd, 100), QByteArray());
}

void TestSimulatoreDialogo::blocco_da_file()
{
    QByteArray contenuto;
    for (int i = 0; i < NUM_CELLE; ++i)
        contenuto.append(static_cast<char>((i * 37 + 11) & 0xFF));
    const QString percorso = m_cartella.file_di(contenuto);
    QVERIFY(!percorso.isEmpty());

    LineaSimulatore linea({"--block", percorso});
    if (!linea.entra())
        return;

    // All requests in one go: the answers must still come back in order.
    QVERIFY(invia(linea.fd, letture_di_tutte()));
    QCOMPARE(leggi(linea.fd, NUM_CELLE, ATTESA_MS), contenuto);
}

void TestSimulatoreDialogo::scrittura_data()
{
    QTest::addColumn<int>("cella");
    QTest::addColumn<int>("valore");

    QTest::newRow("prima cella") << 0 << 0x42;
    QTest::newRow("ultima cella") << 63 << 0x17;
    QTest::newRow("checksum") << CELLA_CKS << 0;
    QTest::newRow("valore 255") << 20 << 255;
    // Values that are also command letters must be taken as data.
    QTest::newRow("valore 'R'") << 1 << int('R');
    QTest::newRow("valore 'W'") << 2 << int('W');
    QTest::newRow("valore 'E'") << 3 << int('E');
    QTest::newRow("valore 'U'") << 4 << int('U');
    QTest::newRow("valore 'K'") << 5 << int('K');
}

void TestSimulatoreDialogo::scrittura()
{
    QFETCH(int, cella);
    QFETCH(int, valore);

    LineaSimulatore linea;
    if (!linea.entra())
        return;

    QVERIFY(invia(linea.fd, byte({'W', cella, valore})));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));

    // Only that cell changed.
    QByteArray atteso = come_byte(blocco_fabbrica(Banda::UHF));
    atteso[cella] = static_cast<char>(valore);
    QVERIFY(invia(linea.fd, letture_di_tutte()));
    QCOMPARE(leggi(linea.fd, NUM_CELLE, ATTESA_MS), atteso);
}

void TestSimulatoreDialogo::byte_senza_risposta_data()
{
    QTest::addColumn<QByteArray>("sequenza");
    QTest::addColumn<int>("cella_intatta");

    QTest::newRow("lettura 64") << byte({'R', 64}) << 0;
    QTest::newRow("lettura 255") << byte({'R', 255}) << 63;
    // Indices beyond the block that equal command letters: still operands.
    QTest::newRow("lettura 'E'") << byte({'R', 'E'}) << 'E' - 64;
    QTest::newRow("lettura 'W'") << byte({'R', 'W'}) << 'W' - 64;
    QTest::newRow("lettura 'R'") << byte({'R', 'R'}) << 'R' - 64;
    QTest::newRow("lettura 'U'") << byte({'R', 'U'}) << 'U' - 64;
    QTest::newRow("scrittura 64") << byte({'W', 64, 0x99}) << 0;
    QTest::newRow("scrittura 'E' 'R'") << byte({'W', 'E', 'R'}) << 'E' - 64;
    QTest::newRow("scrittura 'W' 'E'") << byte({'W', 'W', 'E'}) << 'W' - 64;
    QTest::newRow("scrittura 'R' 'W'") << byte({'W', 'R', 'W'}) << 'R' - 64;
    QTest::newRow("byte estranei") << byte({'K', 'U', 'Z', 0, 0xFF, 'r', 'w'}) << 0;
}

void TestSimulatoreDialogo::byte_senza_risposta()
{
    QFETCH(QByteArray, sequenza);
    QFETCH(int, cella_intatta);

    LineaSimulatore linea;
    if (!linea.entra())
        return;

    // The dialogue must carry on as if the sequence had never been sent: two
    // reads right after it give exactly two answers, the cells untouched.
    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    QVERIFY(invia(linea.fd, sequenza + byte({'R', 1, 'R', cella_intatta})));
    QCOMPARE(leggi(linea.fd, 2, ATTESA_MS), byte({fabbrica[1], fabbrica[cella_intatta]}));
    QCOMPARE(leggi_per(linea.fd, 200), QByteArray());
}

void TestSimulatoreDialogo::fine_dialogo_data()
{
    QTest::addColumn<QStringList>("argomenti");

    QTest::newRow("semplice") << QStringList{};
    // The noise only precedes the announcements before the first "U".
    QTest::newRow("rumore") << QStringList{"--noise", "XY"};
}

void TestSimulatoreDialogo::fine_dialogo()
{
    QFETCH(QStringList, argomenti);

    LineaSimulatore linea(argomenti + QStringList{"--announce-ms", "200"});
    if (!linea.apri())
        return;
    QVERIFY(leggi(linea.fd, 3, ATTESA_MS).endsWith('K'));
    QVERIFY(invia(linea.fd, "U"));
    QVERIFY(linea.sim.attendi_ricevuti(1, ATTESA_MS));
    leggi_per(linea.fd, 50);

    QVERIFY(invia(linea.fd, "E"));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));

    // Back in announcing, reads are ignored until the next "U".
    QVERIFY(invia(linea.fd, byte({'R', 2})));
    QVERIFY(linea.sim.attendi_ricevuti(4, ATTESA_MS));
    QVERIFY(invia(linea.fd, "U"));
    QVERIFY(linea.sim.attendi_ricevuti(5, ATTESA_MS));
    leggi_per(linea.fd, 50);
    QVERIFY(invia(linea.fd, byte({'R', 2})));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), byte({blocco_fabbrica(Banda::UHF)[2]}));
}

void TestSimulatoreDialogo::riapertura()
{
    ProcessoSimulatore sim({"--announce-ms", "100"});
    QVERIFY(sim.avvia());
    // The PC closing its port is no hangup: the next run of the PC finds the
    // receiver as it left it.
    for (int volta = 0; volta < 2; ++volta) {
        const int fd = apri_porta(sim.percorso());
        QVERIFY(fd >= 0);
        QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
        ::close(fd);
        QTest::qSleep(250);
    }
    int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    QVERIFY(leggi(fd, 1, ATTESA_MS) == "K");
    QVERIFY(invia(fd, "U"));
    QVERIFY(sim.attendi_ricevuti(1, ATTESA_MS));
    leggi_per(fd, 50);
    ::close(fd);
    QTest::qSleep(250);

    fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    QVERIFY(invia(fd, byte({'W', 9, 0x44, 'R', 9})));
    QCOMPARE(leggi(fd, 2, ATTESA_MS), QByteArray("K\x44"));
    QVERIFY(sim.in_esecuzione());
}

void TestSimulatoreDialogo::silenzioso()
{
    LineaSimulatore linea({"--silent", "--announce-ms", "100"});
    if (!linea.apri())
        return;

    QCOMPARE(leggi_per(linea.fd, 1500), QByteArray());
    const QByteArray sequenza = byte({'U', 'R', 0, 'W', 1, 5, 'R', 1, 'E', 'U', 'R', 3});
    QVERIFY(invia(linea.fd, sequenza));
    QVERIFY(linea.sim.attendi_ricevuti(sequenza.size(), ATTESA_MS));
    QCOMPARE(leggi_per(linea.fd, 300), QByteArray());
    QCOMPARE(linea.sim.inviati(), QByteArray());
    QCOMPARE(linea.sim.ricevuti(), sequenza);

    // Waiting for nothing must not cost CPU, announcing or in dialogue.
    const double cpu = tempo_cpu(linea.sim.pid());
    QVERIFY(cpu >= 0);
    QVERIFY2(cpu < 0.5, qPrintable(QString::number(cpu)));
}

void TestSimulatoreDialogo::annunci_non_si_accumulano()
{
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    QTest::qSleep(1200);
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });

    int in_attesa = -1;
    QCOMPARE(::ioctl(fd, FIONREAD, &in_attesa), 0);
    QCOMPARE(in_attesa, 1);
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    // They were sent all the same.
    QVERIFY(sim.inviati().count('K') >= 3);

    const double cpu = tempo_cpu(sim.pid());
    QVERIFY(cpu >= 0);
    QVERIFY2(cpu < 0.5, qPrintable(QString::number(cpu)));
}

void TestSimulatoreDialogo::traccia()
{
    // One announcement right after the "E", the next one far off.
    LineaSimulatore linea({"--announce-ms", "60000"});
    if (!linea.entra())
        return;

    // The announcement after the "E" too is stamped when it leaves.
    const QByteArray richieste = byte({'R', 0, 'W', 3, 9, 'E'});
    QVERIFY(invia(linea.fd, richieste));
    QCOMPARE(leggi(linea.fd, 3, ATTESA_MS), byte({blocco_fabbrica(Banda::UHF)[0], 'K', 'K'}));
    linea.sim.termina();

    // Every line parsed as a trace line, in order, with a clock that only
    // goes forward.
    QCOMPARE(linea.sim.diagnostica(), QStringList());
    QCOMPARE(linea.sim.ricevuti(), QByteArray("U") + richieste);
    const QByteArray inviati = linea.sim.inviati();
    QVERIFY(inviati.endsWith(byte({blocco_fabbrica(Banda::UHF)[0], 'K', 'K'})));
    QCOMPARE(inviati.count('K'), inviati.size() - 1);
    const QList<ByteTraccia> traccia = linea.sim.traccia();
    QVERIFY(!traccia.isEmpty());
    QVERIFY(!traccia.first().entrata);
    for (qsizetype i = 1; i < traccia.size(); ++i)
        QVERIFY(traccia[i].us >= traccia[i - 1].us);
    QVERIFY(traccia.last().us < 60'000'000);
}

void TestSimulatoreDialogo::riga_traccia_data()
{
    QTest::addColumn<QByteArray>("riga");
    QTest::addColumn<bool>("valida");
    QTest::addColumn<qint64>("us");
    QTest::addColumn<bool>("entrata");
    QTest::addColumn<int>("byte");

    QTest::newRow("in") << QByteArray("0.000000 in 55") << true << qint64(0) << true << 0x55;
    QTest::newRow("out") << QByteArray("12.034567 out 4B") << true << qint64(12'034'567) << false
                         << 0x4B;
    QTest::newRow("byte alto") << QByteArray("3600.999999 in FF") << true << qint64(3'600'999'999)
                               << true << 0xFF;
    QTest::newRow("tempo massimo") << QByteArray("9223372036854.775807 in 00") << true
                                   << std::numeric_limits<qint64>::max() << true << 0;
    for (const char *riga :
         {"m5sim: read: Input/output error", "", "1.00000 in 55", "1.0000000 in 55",
          "1.000000 in 5", "1.000000 in 555", "1.000000 in 4b", "1.000000 inn 55",
          "1.000000 in 55 ", "1.000000  in 55", "1,000000 in 55", "-1.000000 in 55",
          ".000000 in 55", "1.000000 in", "1.000000 in G0",
          // Past the clock's range: the time would overflow.
          "9223372036854.775808 in 00", "9223372075836854.775807 in 00"})
        QTest::newRow(riga) << QByteArray(riga) << false << qint64(0) << false << 0;
}

// The simulator writes these lines and the tests and the benchmark read them
// back; a diagnostic must never be taken for a byte.
void TestSimulatoreDialogo::riga_traccia()
{
    QFETCH(QByteArray, riga);
    QFETCH(bool, valida);
    QFETCH(qint64, us);
    QFETCH(bool, entrata);
    QFETCH(int, byte);

    const auto b = interpreta_riga_traccia(std::string_view(riga.constData(), riga.size()));
    QCOMPARE(b.has_value(), valida);
    if (!valida)
        return;
    QCOMPARE(b->us, us);
    QCOMPARE(b->entrata, entrata);
    QCOMPARE(int(b->byte), byte);
    QCOMPARE(QByteArray::fromStdString(testo_riga_traccia(*b)), riga);
}

void TestSimulatoreDialogo::tempi_di_linea_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<qint64>("durata_byte_us");
    QTest::addColumn<qint64>("ritardo_us");

    QTest::newRow("2400 baud") << QStringList{"--baud", "2400"} << qint64(4166) << qint64(0);
    QTest::newRow("ritardo") << QStringList{"--reply-delay-ms", "150"} << qint64(0)
                             << qint64(150'000);
    QTest::newRow("entrambi") << QStringList{"--baud", "2400", "--reply-delay-ms", "100"}
                              << qint64(4166) << qint64(100'000);
}

void TestSimulatoreDialogo::tempi_di_linea()
{
    QFETCH(QStringList, argomenti);
    QFETCH(qint64, durata_byte_us);
    QFETCH(qint64, ritardo_us);

    // The double acknowledgement gives two bytes due at the same moment.
    LineaSimulatore linea(argomenti + QStringList{"--double-ack-at", "2"});
    if (!linea.entra())
        return;

    // All at once from the PC; the simulator's own clock shows how it took them.
    const QByteArray richieste = byte({'R', 0, 'R', 1, 'W', 2, 7});
    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    QVERIFY(invia(linea.fd, richieste));
    QCOMPARE(leggi(linea.fd, 4, ATTESA_MS), byte({fabbrica[0], fabbrica[1], 'K', 'K'}));

    QList<ByteTraccia> entrate;
    QList<ByteTraccia> uscite;
    for (const ByteTraccia &b : linea.sim.traccia()) {
        if (b.entrata)
            entrate << b;
        else if (!entrate.isEmpty())
            uscite << b; // answers, after the "U"
    }
    QCOMPARE(entrate.size(), 1 + richieste.size());
    QCOMPARE(uscite.size(), 4);
    for (qsizetype i = 2; i < entrate.size(); ++i)
        QVERIFY2(entrate[i].us - entrate[i - 1].us >= durata_byte_us,
                 qPrintable(QString::number(i)));
    for (qsizetype i = 1; i < uscite.size(); ++i)
        QVERIFY2(uscite[i].us - uscite[i - 1].us >= durata_byte_us, qPrintable(QString::number(i)));
    // The bytes that complete each request: indices 2, 4 and 7 of the trace.
    const qsizetype completano[] = {2, 4, 7, 7};
    for (int k = 0; k < 4; ++k)
        QVERIFY(uscite[k].us - entrate[completano[k]].us >= ritardo_us);
}

QTEST_GUILESS_MAIN(TestSimulatoreDialogo)
#include "tst_simulatore_dialogo.moc"
