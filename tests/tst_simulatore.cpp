#include "parametri.h"
#include "processo_simulatore.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The PC side is a bare file descriptor on purpose: these tests must not
// depend on the project's own serial layer, which is tested against m5sim.
namespace {
constexpr int ATTESA_MS = 3000;

int apri_porta(const QString &percorso)
{
    const int fd = ::open(QFile::encodeName(percorso).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios modo;
    if (::tcgetattr(fd, &modo) != 0) {
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&modo);
    ::cfsetspeed(&modo, B2400);
    // TCSANOW: TCSAFLUSH would throw away the "K" already waiting.
    if (::tcsetattr(fd, TCSANOW, &modo) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool invia(int fd, const QByteArray &dati)
{
    return ::write(fd, dati.constData(), dati.size()) == dati.size();
}

// Up to n bytes, or what arrived before the time ran out.
QByteArray leggi(int fd, int n, int ms)
{
    QByteArray dati;
    const QDeadlineTimer scadenza(ms);
    while (dati.size() < n) {
        pollfd attesa = {fd, POLLIN, 0};
        if (::poll(&attesa, 1, static_cast<int>(scadenza.remainingTime())) <= 0)
            break;
        char buffer[256];
        const ssize_t letti =
            ::read(fd, buffer, std::min<qsizetype>(sizeof buffer, n - dati.size()));
        if (letti <= 0)
            break;
        dati.append(buffer, letti);
    }
    return dati;
}

// Everything that arrives within ms.
QByteArray leggi_per(int fd, int ms)
{
    return leggi(fd, std::numeric_limits<int>::max(), ms);
}

// Reads until the line drops; false if it is still up after ms.
bool attendi_riaggancio(int fd, int ms, QByteArray &dati)
{
    const QDeadlineTimer scadenza(ms);
    for (;;) {
        pollfd attesa = {fd, POLLIN, 0};
        const int pronti = ::poll(&attesa, 1, static_cast<int>(scadenza.remainingTime()));
        if (pronti <= 0)
            return false;
        if (attesa.revents & POLLIN) {
            char buffer[256];
            const ssize_t letti = ::read(fd, buffer, sizeof buffer);
            if (letti > 0) {
                dati.append(buffer, letti);
                continue;
            }
            return letti == 0 || errno == EIO;
        }
        if (attesa.revents & (POLLHUP | POLLERR))
            return true;
    }
}

QByteArray byte(std::initializer_list<int> valori)
{
    QByteArray dati;
    for (const int v : valori)
        dati.append(static_cast<char>(v));
    return dati;
}

QByteArray come_byte(const Blocco &blocco)
{
    return QByteArray(reinterpret_cast<const char *>(blocco.data()), NUM_CELLE);
}

QByteArray letture_di_tutte()
{
    QByteArray richieste;
    for (int i = 0; i < NUM_CELLE; ++i)
        richieste += byte({'R', i});
    return richieste;
}

// CPU seconds the process has used so far (user + system).
double tempo_cpu(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray riga = stat.readAll();
    // Fields after the parenthesised name, which may itself contain blanks.
    const QList<QByteArray> campi = riga.mid(riga.lastIndexOf(')') + 2).split(' ');
    if (campi.size() < 13)
        return -1;
    return (campi[11].toDouble() + campi[12].toDouble()) / ::sysconf(_SC_CLK_TCK);
}
} // namespace

class TestSimulatore : public QObject
{
    Q_OBJECT

private:
    // Starts m5sim, opens its port and sends "U" after the first "K". On
    // success fd is the open port with nothing left to read.
    void entra_in_dialogo(ProcessoSimulatore &sim, int &fd);
    QString file_di(const QByteArray &contenuto);

    QTemporaryDir m_cartella;
    int m_file = 0;

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
    void guasti_conferma_data();
    void guasti_conferma();
    void cella_corrotta_data();
    void cella_corrotta();
    void riaggancio_data();
    void riaggancio();
    void eeprom();
    void annunci_non_si_accumulano();
    void traccia();
    void riga_traccia_data();
    void riga_traccia();
    void tempi_di_linea_data();
    void tempi_di_linea();
    void collegamento_data();
    void collegamento();
    void collegamento_su_file();
    void errori_di_uso_data();
    void errori_di_uso();
};

void TestSimulatore::initTestCase()
{
    QVERIFY(m_cartella.isValid());
}

QString TestSimulatore::file_di(const QByteArray &contenuto)
{
    const QString percorso = m_cartella.filePath(QStringLiteral("file%1").arg(++m_file));
    QFile file(percorso);
    if (!file.open(QIODevice::WriteOnly) || file.write(contenuto) != contenuto.size())
        return {};
    return percorso;
}

void TestSimulatore::entra_in_dialogo(ProcessoSimulatore &sim, int &fd)
{
    fd = -1;
    QVERIFY(sim.avvia());
    fd = apri_porta(sim.percorso());
    QVERIFY2(fd >= 0, qPrintable(sim.percorso()));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    QVERIFY(invia(fd, "U"));
    QVERIFY(sim.attendi_ricevuti(1, ATTESA_MS));
    // An announcement may have crossed our "U"; nothing can follow it.
    leggi_per(fd, 50);
}

void TestSimulatore::annuncio_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("atteso");

    QTest::newRow("semplice") << QStringList{} << QByteArray("K");
    QTest::newRow("rumore") << QStringList{"--noise", "XY"} << QByteArray("XYK");
    QTest::newRow("rumore uguale al comando") << QStringList{"--noise", "KU"} << QByteArray("KUK");
}

void TestSimulatore::annuncio()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, atteso);

    ProcessoSimulatore sim(argomenti + QStringList{"--announce-ms", "100"});
    QVERIFY(sim.avvia());
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });

    // Announcements repeat while nobody answers.
    QCOMPARE(leggi(fd, atteso.size(), ATTESA_MS), atteso);
    QCOMPARE(leggi(fd, atteso.size(), ATTESA_MS), atteso);

    QVERIFY(invia(fd, "U"));
    QVERIFY(sim.attendi_ricevuti(1, ATTESA_MS));
    QTest::qSleep(400);

    const QList<ByteTraccia> traccia = sim.traccia();
    qint64 arrivo_u = -1;
    for (const ByteTraccia &b : traccia) {
        if (b.entrata && b.byte == 'U')
            arrivo_u = b.us;
        else if (!b.entrata && arrivo_u >= 0)
            QFAIL(qPrintable(QStringLiteral("sent 0x%1 after \"U\"").arg(b.byte, 2, 16)));
    }
    QVERIFY(arrivo_u >= 0);
}

void TestSimulatore::lettura_blocco_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("atteso");

    QTest::newRow("predefinito") << QStringList{} << come_byte(blocco_fabbrica(Banda::UHF));
    QTest::newRow("uhf") << QStringList{"--block", "uhf"} << come_byte(blocco_fabbrica(Banda::UHF));
    QTest::newRow("vhf") << QStringList{"--block", "vhf"} << come_byte(blocco_fabbrica(Banda::VHF));
}

void TestSimulatore::lettura_blocco()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, atteso);

    ProcessoSimulatore sim(argomenti);
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // One request at a time, as the PC does: each answer before the next "R".
    QByteArray letti;
    for (int i = 0; i < NUM_CELLE; ++i) {
        QVERIFY(invia(fd, byte({'R', i})));
        const QByteArray risposta = leggi(fd, 1, ATTESA_MS);
        QVERIFY2(risposta.size() == 1, qPrintable(QStringLiteral("cell %1").arg(i)));
        letti += risposta;
    }
    QCOMPARE(letti, atteso);
    QCOMPARE(leggi_per(fd, 100), QByteArray());
}

void TestSimulatore::blocco_da_file()
{
    QByteArray contenuto;
    for (int i = 0; i < NUM_CELLE; ++i)
        contenuto.append(static_cast<char>((i * 37 + 11) & 0xFF));
    const QString percorso = file_di(contenuto);
    QVERIFY(!percorso.isEmpty());

    ProcessoSimulatore sim({"--block", percorso});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // All requests in one go: the answers must still come back in order.
    QVERIFY(invia(fd, letture_di_tutte()));
    QCOMPARE(leggi(fd, NUM_CELLE, ATTESA_MS), contenuto);
}

void TestSimulatore::scrittura_data()
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

void TestSimulatore::scrittura()
{
    QFETCH(int, cella);
    QFETCH(int, valore);

    ProcessoSimulatore sim;
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    QVERIFY(invia(fd, byte({'W', cella, valore})));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));

    // Only that cell changed.
    QByteArray atteso = come_byte(blocco_fabbrica(Banda::UHF));
    atteso[cella] = static_cast<char>(valore);
    QVERIFY(invia(fd, letture_di_tutte()));
    QCOMPARE(leggi(fd, NUM_CELLE, ATTESA_MS), atteso);
}

void TestSimulatore::byte_senza_risposta_data()
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

void TestSimulatore::byte_senza_risposta()
{
    QFETCH(QByteArray, sequenza);
    QFETCH(int, cella_intatta);

    ProcessoSimulatore sim;
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // The dialogue must carry on as if the sequence had never been sent: two
    // reads right after it give exactly two answers, the cells untouched.
    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    QVERIFY(invia(fd, sequenza + byte({'R', 1, 'R', cella_intatta})));
    QCOMPARE(leggi(fd, 2, ATTESA_MS), byte({fabbrica[1], fabbrica[cella_intatta]}));
    QCOMPARE(leggi_per(fd, 200), QByteArray());
}

void TestSimulatore::fine_dialogo_data()
{
    QTest::addColumn<QStringList>("argomenti");

    QTest::newRow("semplice") << QStringList{};
    // The noise only precedes the announcements before the first "U".
    QTest::newRow("rumore") << QStringList{"--noise", "XY"};
}

void TestSimulatore::fine_dialogo()
{
    QFETCH(QStringList, argomenti);

    ProcessoSimulatore sim(argomenti + QStringList{"--announce-ms", "200"});
    QVERIFY(sim.avvia());
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    QVERIFY(leggi(fd, 3, ATTESA_MS).endsWith('K'));
    QVERIFY(invia(fd, "U"));
    QVERIFY(sim.attendi_ricevuti(1, ATTESA_MS));
    leggi_per(fd, 50);

    QVERIFY(invia(fd, "E"));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));

    // Back in announcing, reads are ignored until the next "U".
    QVERIFY(invia(fd, byte({'R', 2})));
    QVERIFY(sim.attendi_ricevuti(4, ATTESA_MS));
    QVERIFY(invia(fd, "U"));
    QVERIFY(sim.attendi_ricevuti(5, ATTESA_MS));
    leggi_per(fd, 50);
    QVERIFY(invia(fd, byte({'R', 2})));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), byte({blocco_fabbrica(Banda::UHF)[2]}));
}

void TestSimulatore::riapertura()
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

void TestSimulatore::silenzioso()
{
    ProcessoSimulatore sim({"--silent", "--announce-ms", "100"});
    QVERIFY(sim.avvia());
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });

    QCOMPARE(leggi_per(fd, 1500), QByteArray());
    const QByteArray sequenza = byte({'U', 'R', 0, 'W', 1, 5, 'R', 1, 'E', 'U', 'R', 3});
    QVERIFY(invia(fd, sequenza));
    QVERIFY(sim.attendi_ricevuti(sequenza.size(), ATTESA_MS));
    QCOMPARE(leggi_per(fd, 300), QByteArray());
    QCOMPARE(sim.inviati(), QByteArray());
    QCOMPARE(sim.ricevuti(), sequenza);

    // Waiting for nothing must not cost CPU, announcing or in dialogue.
    const double cpu = tempo_cpu(sim.pid());
    QVERIFY(cpu >= 0);
    QVERIFY2(cpu < 0.5, qPrintable(QString::number(cpu)));
}

void TestSimulatore::guasti_conferma_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("cella");
    QTest::addColumn<QByteArray>("conferma");

    QTest::newRow("nessun guasto") << QStringList{} << 10 << QByteArray("K");
    QTest::newRow("no-ack-from, sotto")
        << QStringList{"--no-ack-from", "20"} << 19 << QByteArray("K");
    QTest::newRow("no-ack-from, uguale")
        << QStringList{"--no-ack-from", "20"} << 20 << QByteArray();
    QTest::newRow("no-ack-from, sopra") << QStringList{"--no-ack-from", "20"} << 63 << QByteArray();
    QTest::newRow("bad-ack-at, uguale") << QStringList{"--bad-ack-at", "7"} << 7 << QByteArray("X");
    QTest::newRow("bad-ack-at, altra") << QStringList{"--bad-ack-at", "7"} << 8 << QByteArray("K");
    QTest::newRow("double-ack-at, uguale")
        << QStringList{"--double-ack-at", "3"} << 3 << QByteArray("KK");
    QTest::newRow("double-ack-at, altra")
        << QStringList{"--double-ack-at", "3"} << 2 << QByteArray("K");
}

void TestSimulatore::guasti_conferma()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, cella);
    QFETCH(QByteArray, conferma);

    ProcessoSimulatore sim(argomenti);
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // The value is stored whatever the acknowledgement, so the read that
    // follows shows both the exact acknowledgement and the new value.
    constexpr int valore = 0xA5;
    QVERIFY(invia(fd, byte({'W', cella, valore, 'R', cella})));
    const QByteArray atteso = conferma + byte({valore});
    QCOMPARE(leggi(fd, atteso.size(), ATTESA_MS), atteso);
    QCOMPARE(leggi_per(fd, 200), QByteArray());
}

void TestSimulatore::cella_corrotta_data()
{
    QTest::addColumn<int>("cella");

    QTest::newRow("prima") << 0;
    QTest::newRow("in mezzo") << 13;
    QTest::newRow("ultima") << 63;
}

void TestSimulatore::cella_corrotta()
{
    QFETCH(int, cella);

    ProcessoSimulatore sim({"--corrupt-cell", QString::number(cella)});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    QByteArray atteso = come_byte(blocco_fabbrica(Banda::UHF));
    atteso[cella] = static_cast<char>(atteso[cella] ^ 0x5A);
    QVERIFY(invia(fd, letture_di_tutte()));
    QCOMPARE(leggi(fd, NUM_CELLE, ATTESA_MS), atteso);

    // The cell itself is fine: what it stores comes back altered, every time.
    QVERIFY(invia(fd, byte({'W', cella, 0x33, 'R', cella})));
    QCOMPARE(leggi(fd, 2, ATTESA_MS), byte({'K', 0x33 ^ 0x5A}));
}

void TestSimulatore::riaggancio_data()
{
    QTest::addColumn<int>("dopo");
    QTest::addColumn<QList<QByteArray>>("richieste");
    QTest::addColumn<QByteArray>("risposte");

    using Richieste = QList<QByteArray>;
    // Bytes sent while announcing count too.
    QTest::newRow("durante l'annuncio") << 2 << Richieste{"Z", "Z"} << QByteArray();
    QTest::newRow("al primo U") << 1 << Richieste{"U"} << QByteArray();
    QTest::newRow("dopo una lettura")
        << 4 << Richieste{"U", byte({'R', 1}), "R"} << byte({blocco_fabbrica(Banda::UHF)[1]});
    // The last byte completes the read, but the line is gone before the answer.
    QTest::newRow("a lettura completa") << 3 << Richieste{"U", byte({'R', 1})} << QByteArray();
}

void TestSimulatore::riaggancio()
{
    QFETCH(int, dopo);
    QFETCH(QList<QByteArray>, richieste);
    QFETCH(QByteArray, risposte);

    ProcessoSimulatore sim({"--hangup-after", QString::number(dopo)});
    QVERIFY(sim.avvia());
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));

    // One request at a time, each answer read before the next request: an
    // answer still in flight when the cable goes is lost, as on a real line.
    QByteArray arrivati;
    int inviati = 0;
    for (const QByteArray &richiesta : std::as_const(richieste)) {
        QVERIFY(invia(fd, richiesta));
        inviati += richiesta.size();
        if (inviati < dopo) {
            QVERIFY(sim.attendi_ricevuti(inviati, ATTESA_MS));
            arrivati += leggi_per(fd, 100);
        }
    }
    QVERIFY(attendi_riaggancio(fd, ATTESA_MS, arrivati));
    arrivati.replace("K", ""); // announcements that crossed our bytes
    QCOMPARE(arrivati, risposte);
    QVERIFY(sim.attendi_fine(ATTESA_MS));
    QCOMPARE(sim.codice_uscita(), 0);
    QCOMPARE(sim.ricevuti().size(), dopo);
}

void TestSimulatore::eeprom()
{
    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString percorso = cartella.filePath(QStringLiteral("celle.bin"));
    QByteArray atteso = come_byte(blocco_fabbrica(Banda::UHF));

    {
        ProcessoSimulatore sim({"--eeprom", percorso});
        int fd;
        entra_in_dialogo(sim, fd);
        const auto chiudi = qScopeGuard([fd] { ::close(fd); });
        if (QTest::currentTestFailed())
            return;
        QFile file(percorso);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), atteso);
        file.close();

        QVERIFY(invia(fd, byte({'W', 10, 77})));
        QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
        atteso[10] = 77;
        // Saved by the time the write is acknowledged.
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), atteso);
    }
    QCOMPARE(QDir(cartella.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"celle.bin"});

    // The saved cells win over the block of the second run.
    ProcessoSimulatore sim({"--eeprom", percorso, "--block", "vhf"});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;
    QVERIFY(invia(fd, letture_di_tutte()));
    QCOMPARE(leggi(fd, NUM_CELLE, ATTESA_MS), atteso);
}

void TestSimulatore::annunci_non_si_accumulano()
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

void TestSimulatore::traccia()
{
    ProcessoSimulatore sim;
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    const QByteArray richieste = byte({'R', 0, 'W', 3, 9});
    QVERIFY(invia(fd, richieste));
    QCOMPARE(leggi(fd, 2, ATTESA_MS), byte({blocco_fabbrica(Banda::UHF)[0], 'K'}));
    sim.termina();

    // Every line parsed as a trace line, in order, with a clock that only
    // goes forward.
    QCOMPARE(sim.diagnostica(), QStringList());
    QCOMPARE(sim.ricevuti(), QByteArray("U") + richieste);
    const QByteArray inviati = sim.inviati();
    QVERIFY(inviati.endsWith(byte({blocco_fabbrica(Banda::UHF)[0], 'K'})));
    QCOMPARE(inviati.count('K'), inviati.size() - 1);
    const QList<ByteTraccia> traccia = sim.traccia();
    QVERIFY(!traccia.isEmpty());
    QVERIFY(!traccia.first().entrata);
    for (qsizetype i = 1; i < traccia.size(); ++i)
        QVERIFY(traccia[i].us >= traccia[i - 1].us);
    QVERIFY(traccia.last().us < 60'000'000);
}

void TestSimulatore::riga_traccia_data()
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
void TestSimulatore::riga_traccia()
{
    QFETCH(QByteArray, riga);
    QFETCH(bool, valida);
    QFETCH(qint64, us);
    QFETCH(bool, entrata);
    QFETCH(int, byte);

    const auto b = leggi_riga_traccia(std::string_view(riga.constData(), riga.size()));
    QCOMPARE(b.has_value(), valida);
    if (!valida)
        return;
    QCOMPARE(b->us, us);
    QCOMPARE(b->entrata, entrata);
    QCOMPARE(int(b->byte), byte);
    QCOMPARE(QByteArray::fromStdString(scrivi_riga_traccia(*b)), riga);
}

void TestSimulatore::tempi_di_linea_data()
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

void TestSimulatore::tempi_di_linea()
{
    QFETCH(QStringList, argomenti);
    QFETCH(qint64, durata_byte_us);
    QFETCH(qint64, ritardo_us);

    // The double acknowledgement gives two bytes due at the same moment.
    ProcessoSimulatore sim(argomenti + QStringList{"--double-ack-at", "2"});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // All at once from the PC; the simulator's own clock shows how it took them.
    const QByteArray richieste = byte({'R', 0, 'R', 1, 'W', 2, 7});
    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    QVERIFY(invia(fd, richieste));
    QCOMPARE(leggi(fd, 4, ATTESA_MS), byte({fabbrica[0], fabbrica[1], 'K', 'K'}));

    QList<ByteTraccia> entrate;
    QList<ByteTraccia> uscite;
    for (const ByteTraccia &b : sim.traccia()) {
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

void TestSimulatore::collegamento_data()
{
    QTest::addColumn<int>("segnale");

    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestSimulatore::collegamento()
{
    QFETCH(int, segnale);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString link = cartella.filePath(QStringLiteral("ttyM5"));
    // A leftover link from an earlier run is replaced.
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link));

    ProcessoSimulatore sim({"--link", link});
    QVERIFY(sim.avvia());
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.percorso());
    const int fd = apri_porta(link);
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));

    QCOMPARE(::kill(static_cast<pid_t>(sim.pid()), segnale), 0);
    QVERIFY(sim.attendi_fine(ATTESA_MS));
    QCOMPARE(sim.codice_uscita(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimulatore::collegamento_su_file()
{
    const QString percorso = file_di("dati");
    QVERIFY(!percorso.isEmpty());

    ProcessoSimulatore sim({"--link", percorso});
    QVERIFY(!sim.avvia());
    QVERIFY(sim.attendi_fine(ATTESA_MS));
    QCOMPARE(sim.codice_uscita(), 1);
    QFile file(percorso);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("dati"));
}

void TestSimulatore::errori_di_uso_data()
{
    QTest::addColumn<QStringList>("argomenti");

    const QByteArray corto(NUM_CELLE - 1, 0);
    const QByteArray lungo(NUM_CELLE + 1, 0);
    QTest::newRow("opzione sconosciuta") << QStringList{"--frobnicate"};
    QTest::newRow("argomento in più") << QStringList{"ttyS0"};
    QTest::newRow("valore mancante") << QStringList{"--block"};
    QTest::newRow("blocco inesistente") << QStringList{"--block", "/nonexistent/celle"};
    QTest::newRow("blocco corto") << QStringList{"--block", file_di(corto)};
    QTest::newRow("blocco lungo") << QStringList{"--block", file_di(lungo)};
    QTest::newRow("blocco vuoto") << QStringList{"--block", file_di({})};
    QTest::newRow("eeprom corta") << QStringList{"--eeprom", file_di(corto)};
    QTest::newRow("cella 64") << QStringList{"--corrupt-cell", "64"};
    QTest::newRow("cella negativa") << QStringList{"--no-ack-from", "-1"};
    QTest::newRow("cella non numerica") << QStringList{"--bad-ack-at", "tre"};
    QTest::newRow("baud zero") << QStringList{"--baud", "0"};
    QTest::newRow("annuncio zero") << QStringList{"--announce-ms", "0"};
    QTest::newRow("riaggancio zero") << QStringList{"--hangup-after", "0"};
}

void TestSimulatore::errori_di_uso()
{
    QFETCH(QStringList, argomenti);

    QProcess processo;
    processo.start(ProcessoSimulatore::eseguibile(), argomenti);
    QVERIFY(processo.waitForFinished(ATTESA_MS));
    QCOMPARE(processo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(processo.exitCode(), 2);
    QCOMPARE(processo.readAllStandardOutput(), QByteArray());
    QVERIFY(processo.readAllStandardError().startsWith("m5sim: "));
}

QTEST_GUILESS_MAIN(TestSimulatore)
#include "tst_simulatore.moc"
