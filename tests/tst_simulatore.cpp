// SPDX-License-Identifier: GPL-3.0-or-later
#include "blocco.h"
#include "disco_pieno.h"
#include "processo_simulatore.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

// The PC side is a bare file descriptor on purpose: these tests must not
// depend on the project's own serial layer, which is tested against m5sim.
namespace {
constexpr int ATTESA_MS = 3000;
constexpr int VALORE_SCRITTO = 0xA5;
constexpr char NIENTE = 'Z'; // in a dialogue, a byte that asks nothing

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

// The simulator in the background of a shell that waits for it and exits
// with its status; its stdin from the file ingresso. Its pid, or 0.
pid_t avvia_sotto_shell(QProcess &shell, const QString &ingresso, const QStringList &argomenti)
{
    shell.start("sh", QStringList{"-c", R"(f=$1; shift; "$0" "$@" <"$f" & echo "pid $!"; wait $!)",
                                  ProcessoSimulatore::eseguibile(), ingresso} +
                          argomenti);
    if (!shell.waitForStarted(ATTESA_MS))
        return 0;
    // The pid and then, or before, the terminal's path.
    const QDeadlineTimer scadenza(ATTESA_MS);
    QByteArray uscita_standard;
    while (uscita_standard.count('\n') < 2 && shell.waitForReadyRead(int(scadenza.remainingTime())))
        uscita_standard += shell.readAllStandardOutput();
    const qsizetype inizio = uscita_standard.indexOf("pid ");
    if (inizio < 0)
        return 0;
    return uscita_standard.mid(inizio + 4, uscita_standard.indexOf('\n', inizio) - inizio - 4)
        .toInt();
}

// Read-write, so that opening it does not wait for a reader; -1 on failure.
int crea_fifo(const QString &percorso)
{
    const QByteArray nome = QFile::encodeName(percorso);
    if (::mkfifo(nome.constData(), 0600) != 0)
        return -1;
    return ::open(nome.constData(), O_RDWR | O_CLOEXEC);
}

// The wait status of an orphan that fell to this process as subreaper.
std::optional<int> stato_orfano(pid_t pid, int ms)
{
    const QDeadlineTimer scadenza(ms);
    for (;;) {
        int stato = 0;
        if (::waitpid(pid, &stato, WNOHANG) == pid)
            return stato;
        if (scadenza.hasExpired())
            return std::nullopt;
        QTest::qSleep(10);
    }
}

QByteArray celle_di(const QJsonObject &riepilogo)
{
    QByteArray celle;
    for (const QJsonValue v : riepilogo.value("celle").toArray())
        celle.append(static_cast<char>(v.toInt(-1)));
    return celle;
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
    // Sends richieste in one go; risposte: what the simulator sent after each
    // of those bytes, also checked against what the port received.
    void scambia(ProcessoSimulatore &sim, int fd, const QByteArray &richieste,
                 QList<QByteArray> &risposte);
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
    void risposte_casuali_data();
    void risposte_casuali();
    void seme_data();
    void seme();
    void raffica_data();
    void raffica();
    void ritardo_celle_data();
    void ritardo_celle();
    void riepilogo_data();
    void riepilogo();
    void segnale_a_traccia_piena();
    void cambio_unita_data();
    void cambio_unita();
    void fine_con_stdin_data();
    void fine_con_stdin();
    void riaggancio_data();
    void riaggancio();
    void eeprom();
    void scritture_fallite();
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
    QTest::addColumn<QByteArray>("prima");
    QTest::addColumn<QByteArray>("conferma");
    QTest::addColumn<QByteArray>("riletto");

    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    const auto riga = [&](const char *nome, const QStringList &argomenti, int cella,
                          const QByteArray &conferma) -> QTestData & {
        return QTest::newRow(nome) << argomenti << cella << byte({fabbrica[cella]}) << conferma;
    };
    const QByteArray scritto = byte({VALORE_SCRITTO});
    riga("nessun guasto", {}, 10, "K") << scritto;
    riga("no-ack-from, sotto", {"--no-ack-from", "20"}, 19, "K") << scritto;
    riga("no-ack-from, uguale", {"--no-ack-from", "20"}, 20, {}) << scritto;
    riga("no-ack-from, sopra", {"--no-ack-from", "20"}, 63, {}) << scritto;
    riga("bad-ack-at, uguale", {"--bad-ack-at", "7"}, 7, "X") << scritto;
    riga("bad-ack-at, altra", {"--bad-ack-at", "7"}, 8, "K") << scritto;
    riga("double-ack-at, uguale", {"--double-ack-at", "3"}, 3, "KK") << scritto;
    riga("double-ack-at, altra", {"--double-ack-at", "3"}, 2, "K") << scritto;
    riga("lose-write-at, uguale", {"--lose-write-at", "7"}, 7, "K") << byte({fabbrica[7]});
    riga("lose-write-at, altra", {"--lose-write-at", "7"}, 8, "K") << scritto;
    // Sound until written: the read before the write is right.
    riga("flip-after-write, uguale", {"--flip-after-write", "7"}, 7, "K")
        << byte({VALORE_SCRITTO ^ 0x5A});
    riga("flip-after-write, altra", {"--flip-after-write", "7"}, 8, "K") << scritto;
    QTest::newRow("no-reply-at, uguale") << QStringList{"--no-reply-at", "7"} << 7 << QByteArray()
                                         << QByteArray("K") << QByteArray();
    riga("no-reply-at, altra", {"--no-reply-at", "7"}, 8, "K") << scritto;
}

void TestSimulatore::guasti_conferma()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, cella);
    QFETCH(QByteArray, prima);
    QFETCH(QByteArray, conferma);
    QFETCH(QByteArray, riletto);

    ProcessoSimulatore sim(argomenti);
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // The reads around the write show both the exact acknowledgement and
    // what the cell holds.
    QVERIFY(invia(fd, byte({'R', cella, 'W', cella, VALORE_SCRITTO, 'R', cella})));
    const QByteArray atteso = prima + conferma + riletto;
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

void TestSimulatore::scambia(ProcessoSimulatore &sim, int fd, const QByteArray &richieste,
                             QList<QByteArray> &risposte)
{
    risposte.clear();
    const qsizetype gia_ricevuti = sim.ricevuti().size();
    // A byte that asks nothing closes the exchange: once it is on the trace,
    // every reply before it is on the trace and on the line.
    const QByteArray dati = richieste + QByteArray(1, NIENTE);
    QVERIFY(invia(fd, dati));
    QVERIFY(sim.attendi_ricevuti(int(gia_ricevuti + dati.size()), ATTESA_MS));

    qsizetype entrati = 0;
    QByteArray uscite;
    for (const ByteTraccia &b : sim.traccia()) {
        if (b.entrata && ++entrati > gia_ricevuti)
            risposte.append(QByteArray());
        else if (!b.entrata && !risposte.isEmpty())
            risposte.last().append(static_cast<char>(b.byte));
    }
    risposte.removeLast();
    for (const QByteArray &r : std::as_const(risposte))
        uscite += r;
    QCOMPARE(leggi(fd, uscite.size(), ATTESA_MS), uscite);
}

void TestSimulatore::risposte_casuali_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("letture");
    QTest::addColumn<int>("scritture");
    QTest::addColumn<int>("sostituite_min");
    QTest::addColumn<int>("sostituite_max");
    QTest::addColumn<int>("aggiunte_min");
    QTest::addColumn<int>("aggiunte_max");

    // A random byte may by chance be the right one.
    QTest::newRow("garbage-reads 1")
        << QStringList{"--garbage-reads", "1"} << 24 << 8 << 23 << 24 << 0 << 0;
    QTest::newRow("garbage-reads 0.5")
        << QStringList{"--garbage-reads", "0.5"} << 64 << 0 << 16 << 48 << 0 << 0;
    QTest::newRow("extra-bytes 1")
        << QStringList{"--extra-bytes", "1"} << 24 << 24 << 0 << 0 << 48 << 48;
    QTest::newRow("extra-bytes 0.5")
        << QStringList{"--extra-bytes", "0.5"} << 32 << 32 << 0 << 0 << 16 << 48;
    QTest::newRow("entrambi") << QStringList{"--garbage-reads", "1", "--extra-bytes", "1"} << 24
                              << 8 << 23 << 24 << 32 << 32;
}

void TestSimulatore::risposte_casuali()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, letture);
    QFETCH(int, scritture);
    QFETCH(int, sostituite_min);
    QFETCH(int, sostituite_max);
    QFETCH(int, aggiunte_min);
    QFETCH(int, aggiunte_max);

    ProcessoSimulatore sim(argomenti);
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    QByteArray richieste;
    QByteArray esatte; // the sound reply to each request
    for (int i = 0; i < letture; ++i) {
        richieste += byte({'R', i});
        esatte += static_cast<char>(fabbrica[i]);
    }
    for (int i = 0; i < scritture; ++i) {
        richieste += byte({'W', 20 + i, 0x33});
        esatte += 'K';
    }
    QList<QByteArray> risposte;
    scambia(sim, fd, richieste, risposte);
    if (QTest::currentTestFailed())
        return;

    // Only the byte that completes a request is answered, with the sound
    // reply or a random byte in its place, then 1-3 bytes more or none.
    QCOMPARE(risposte.size(), richieste.size());
    int sostituite = 0;
    int aggiunte = 0;
    QSet<qsizetype> quante_in_piu;
    for (int r = 0, i = 0; r < esatte.size(); ++r) {
        const int ultimo = i + (r < letture ? 1 : 2);
        for (; i < ultimo; ++i)
            QCOMPARE(risposte[i], QByteArray());
        const QByteArray &risposta = risposte[i++];
        QVERIFY2(risposta.size() >= 1 && risposta.size() <= 4, risposta.toHex().constData());
        if (risposta[0] != esatte[r]) {
            QVERIFY2(r < letture, "a write acknowledgement was replaced");
            ++sostituite;
        }
        if (risposta.size() > 1) {
            ++aggiunte;
            quante_in_piu.insert(risposta.size() - 1);
        }
    }
    QVERIFY2(sostituite >= sostituite_min && sostituite <= sostituite_max,
             qPrintable(QString::number(sostituite)));
    QVERIFY2(aggiunte >= aggiunte_min && aggiunte <= aggiunte_max,
             qPrintable(QString::number(aggiunte)));
    if (aggiunte >= 16)
        QCOMPARE(quante_in_piu, (QSet<qsizetype>{1, 2, 3}));
}

void TestSimulatore::seme_data()
{
    QTest::addColumn<QStringList>("primo");
    QTest::addColumn<QStringList>("secondo");
    QTest::addColumn<bool>("uguali");

    QTest::newRow("stesso seme") << QStringList{"--seed", "7"} << QStringList{"--seed", "7"}
                                 << true;
    QTest::newRow("semi diversi") << QStringList{"--seed", "7"} << QStringList{"--seed", "8"}
                                  << false;
    QTest::newRow("predefinito 1") << QStringList{} << QStringList{"--seed", "1"} << true;
    QTest::newRow("solo i bit alti diversi")
        << QStringList{"--seed", "1"} << QStringList{"--seed", "4294967297"} << false;
    QTest::newRow("massimo") << QStringList{"--seed", "18446744073709551615"}
                             << QStringList{"--seed", "18446744073709551615"} << true;
}

void TestSimulatore::seme()
{
    QFETCH(QStringList, primo);
    QFETCH(QStringList, secondo);
    QFETCH(bool, uguali);

    const QStringList guasti{"--garbage-reads", "0.5", "--extra-bytes", "0.5",
                             "--burst-after",   "5"};
    QByteArray richieste = letture_di_tutte();
    for (int i = 0; i < 8; ++i)
        richieste += byte({'W', i, i});
    QByteArray uscite[2];
    for (int volta = 0; volta < 2; ++volta) {
        ProcessoSimulatore sim(guasti + (volta == 0 ? primo : secondo));
        int fd;
        entra_in_dialogo(sim, fd);
        const auto chiudi = qScopeGuard([fd] { ::close(fd); });
        if (QTest::currentTestFailed())
            return;
        QList<QByteArray> risposte;
        scambia(sim, fd, richieste, risposte);
        if (QTest::currentTestFailed())
            return;
        for (const QByteArray &r : std::as_const(risposte))
            uscite[volta] += r;
    }
    QCOMPARE(uscite[0] == uscite[1], uguali);
}

void TestSimulatore::raffica_data()
{
    QTest::addColumn<int>("dopo");
    QTest::addColumn<int>("indice"); // of the byte it follows, in the dialogue below

    QTest::newRow("dopo U") << 1 << 0;
    QTest::newRow("dopo una lettura") << 3 << 2;
    QTest::newRow("dopo una scrittura") << 8 << 7;
    QTest::newRow("oltre il dialogo") << 20 << -1;
}

void TestSimulatore::raffica()
{
    QFETCH(int, dopo);
    QFETCH(int, indice);

    ProcessoSimulatore sim({"--burst-after", QString::number(dopo), "--announce-ms", "60000"});
    QVERIFY(sim.avvia());
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));

    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    const QByteArray dialogo = byte({'U', 'R', 1, 'R', 2, 'W', 20, 0x33, 'R', 20});
    const QList<QByteArray> esatte{
        {}, {}, byte({fabbrica[1]}), {}, byte({fabbrica[2]}), {}, {}, "K", {}, "\x33"};
    // Twice: once per dialogue, not once in all.
    for (int volta = 0; volta < 2; ++volta) {
        QList<QByteArray> risposte;
        scambia(sim, fd, dialogo, risposte);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(risposte.size(), esatte.size());
        for (qsizetype i = 0; i < risposte.size(); ++i) {
            QVERIFY2(risposte[i].startsWith(esatte[i]), qPrintable(QString::number(i)));
            const qsizetype raffica = risposte[i].size() - esatte[i].size();
            if (i == indice)
                QVERIFY2(raffica >= 1 && raffica <= 8, qPrintable(QString::number(raffica)));
            else
                QCOMPARE(raffica, 0);
        }
        QVERIFY(invia(fd, "E"));
        QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    }
}

void TestSimulatore::ritardo_celle_data()
{
    QTest::addColumn<QStringList>("argomenti");
    // Each group sent at once, its replies read before the next.
    QTest::addColumn<QList<QList<QByteArray>>>("invii");
    QTest::addColumn<QList<int>>("ritardi_ms"); // the least for each reply
    QTest::addColumn<QByteArray>("atteso");

    using Invii = QList<QList<QByteArray>>;
    const Blocco &f = blocco_fabbrica(Banda::UHF);
    // The reply to R7 waits behind the delayed one.
    QTest::newRow("una cella") << QStringList{"--delay-at", "5", "--delay-ms", "300"}
                               << Invii{{byte({'R', 3}), byte({'R', 5}), byte({'R', 7})}}
                               << QList<int>{0, 300, 300} << byte({f[3], f[5], f[7]});
    QTest::newRow("più celle, scrittura")
        << QStringList{"--delay-at", "3,9,15", "--delay-ms", "200"}
        << Invii{{byte({'R', 4})},
                 {byte({'W', 9, 0x21})},
                 {byte({'R', 15})},
                 {byte({'R', 3})},
                 {byte({'R', 9})}}
        << QList<int>{0, 200, 200, 200, 200} << byte({f[4], 'K', f[15], f[3], 0x21});
    QTest::newRow("con reply-delay-ms")
        << QStringList{"--reply-delay-ms", "100", "--delay-at", "5", "--delay-ms", "150"}
        << Invii{{byte({'R', 5})}, {byte({'R', 6})}} << QList<int>{250, 100} << byte({f[5], f[6]});
}

void TestSimulatore::ritardo_celle()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QList<QList<QByteArray>>, invii);
    QFETCH(QList<int>, ritardi_ms);
    QFETCH(QByteArray, atteso);

    ProcessoSimulatore sim(argomenti);
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    QByteArray letti;
    for (const QList<QByteArray> &gruppo : std::as_const(invii)) {
        QVERIFY(invia(fd, gruppo.join()));
        letti += leggi(fd, gruppo.size(), ATTESA_MS);
    }
    QCOMPARE(letti, atteso);

    // Positions in the trace of the bytes after the "U".
    const QList<ByteTraccia> traccia = sim.traccia();
    QList<qsizetype> entrate, uscite;
    for (qsizetype i = 0; i < traccia.size(); ++i) {
        if (traccia[i].entrata)
            entrate << i;
        else if (!entrate.isEmpty())
            uscite << i;
    }
    entrate.removeFirst();
    QCOMPARE(uscite.size(), atteso.size());
    qsizetype entrato = 0;
    int k = 0;
    for (const QList<QByteArray> &gruppo : std::as_const(invii)) {
        const qsizetype fine_gruppo = entrate[entrato + gruppo.join().size() - 1];
        for (const QByteArray &richiesta : gruppo) {
            entrato += richiesta.size();
            const ByteTraccia &completa = traccia[entrate[entrato - 1]];
            QVERIFY2(traccia[uscite[k]].us - completa.us >= ritardi_ms[k] * 1000LL,
                     qPrintable(QString::number(k)));
            // Still receiving while a reply waits.
            if (ritardi_ms[k] > 0)
                QVERIFY2(uscite[k] > fine_gruppo, qPrintable(QString::number(k)));
            ++k;
        }
    }
}

void TestSimulatore::riepilogo_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("segnale"); // 0: it ends by itself
    QTest::addColumn<QByteArray>("guasti");

    QTest::newRow("SIGTERM") << QStringList{} << int(SIGTERM)
                             << QByteArray(R"({"seed":1,"lose-write-at":21})");
    QTest::newRow("SIGHUP, ogni guasto")
        << QStringList{"--seed",
                       "18446744073709551615",
                       "--garbage-reads",
                       "0.25",
                       "--extra-bytes",
                       "1",
                       "--delay-at",
                       "9,3",
                       "--delay-ms",
                       "5",
                       "--no-reply-at",
                       "4",
                       "--burst-after",
                       "100",
                       "--flip-after-write",
                       "30",
                       "--bad-ack-at",
                       "2",
                       "--noise",
                       "\"x"}
        << int(SIGHUP)
        << QByteArray(R"({"seed":18446744073709551615,"garbage-reads":0.25,"extra-bytes":1,)"
                      R"("delay-at":[3,9],"delay-ms":5,"no-reply-at":4,"burst-after":100,)"
                      R"("lose-write-at":21,"flip-after-write":30,"bad-ack-at":2,"noise":"\"x"})");
    QTest::newRow("riaggancio") << QStringList{"--hangup-after", "17"} << 0
                                << QByteArray(R"({"seed":1,"lose-write-at":21,"hangup-after":17})");
    QTest::newRow("fine di stdin")
        << QStringList{"--exit-with-stdin"} << 0 << QByteArray(R"({"seed":1,"lose-write-at":21})");
}

void TestSimulatore::riepilogo()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, segnale);
    QFETCH(QByteArray, guasti);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString percorso = cartella.filePath(QStringLiteral("riepilogo.json"));
    ProcessoSimulatore sim(argomenti + QStringList{"--lose-write-at", "21", "--summary", percorso});
    QVERIFY(sim.avvia());
    const int fd = apri_porta(sim.percorso());
    QVERIFY(fd >= 0);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });

    // Two dialogues; a write beyond the cells is a record too.
    const QByteArray richieste =
        byte({'U', 'W', 20, 0x11, 'W', 21, 0x22, 'W', 64, 0x33, 'E', 'U', 'W', 22, 0x44, 'R', 20});
    QVERIFY(invia(fd, richieste));
    QVERIFY(sim.attendi_ricevuti(int(richieste.size()), ATTESA_MS));
    if (segnale)
        QCOMPARE(::kill(static_cast<pid_t>(sim.pid()), segnale), 0);
    else
        sim.chiudi_stdin(); // no matter for the hang-up
    QVERIFY(sim.attendi_fine(ATTESA_MS));
    QCOMPARE(sim.codice_uscita(), 0);

    // Written whole under its name, nothing left beside it.
    QCOMPARE(QDir(cartella.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"riepilogo.json"});
    QFile file(percorso);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonParseError errore;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll(), &errore);
    QCOMPARE(errore.error, QJsonParseError::NoError);
    QByteArray celle = come_byte(blocco_fabbrica(Banda::UHF));
    celle[20] = 0x11;
    celle[22] = 0x44;
    QCOMPARE(celle_di(json.object()), celle);
    QCOMPARE(json.object().value("scritture").toInt(), 4);
    QCOMPARE(json.object().value("dialoghi").toInt(), 2);
    QCOMPARE(json.object().value("unita").toInt(), 1);
    QCOMPARE(json.object().value("guasti").toObject(), QJsonDocument::fromJson(guasti).object());
}

void TestSimulatore::segnale_a_traccia_piena()
{
    // A signal while a trace line waits for room on stderr must not fail
    // that write: the line goes out once read, and the exit is a clean one.
    ProcessoSimulatore sim;
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;
    const auto proc = [&sim](const char *voce) {
        QFile f(QStringLiteral("/proc/%1/%2").arg(sim.pid()).arg(QLatin1String(voce)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const auto ferma_su_stderr = [&proc] { return proc("wchan").contains("pipe_write"); };
    // Handled, not only sent: room made before would let the write end unharmed.
    const auto segnale_gestito = [&proc] {
        const QByteArray stato = proc("status");
        return stato.contains("\nSigPnd:\t0000000000000000\n") &&
               stato.contains("\nShdPnd:\t0000000000000000\n");
    };
    // Nobody reads its stderr meanwhile: three trace lines a read fill the pipe.
    for (int i = 0; i < 4000 && !ferma_su_stderr(); ++i) {
        pollfd pronta = {fd, POLLOUT, 0};
        QVERIFY(::poll(&pronta, 1, ATTESA_MS) == 1 && invia(fd, byte({'R', 0})));
        leggi_per(fd, 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(ferma_su_stderr(), ATTESA_MS);
    QCOMPARE(::kill(static_cast<pid_t>(sim.pid()), SIGTERM), 0);
    QTRY_VERIFY_WITH_TIMEOUT(segnale_gestito(), ATTESA_MS);
    QVERIFY(sim.attendi_fine(ATTESA_MS));
    QCOMPARE(sim.diagnostica(), QStringList());
    QCOMPARE(sim.codice_uscita(), 0);
}

void TestSimulatore::cambio_unita_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("primo");
    QTest::addColumn<QByteArray>("successivo");
    QTest::addColumn<QString>("eeprom");

    const QByteArray uhf = come_byte(blocco_fabbrica(Banda::UHF));
    const QByteArray vhf = come_byte(blocco_fabbrica(Banda::VHF));
    QByteArray contenuto;
    for (int i = 0; i < NUM_CELLE; ++i)
        contenuto.append(static_cast<char>(i * 3 + 1));
    const QString eeprom = m_cartella.filePath(QStringLiteral("cambio.eeprom"));
    QFile::remove(eeprom);

    QTest::newRow("come il primo") << QStringList{"--block", "vhf"} << vhf << vhf << QString();
    QTest::newRow("next-block vhf")
        << QStringList{"--next-block", "vhf"} << uhf << vhf << QString();
    QTest::newRow("eeprom, next-block da file")
        << QStringList{"--eeprom", eeprom, "--next-block", file_di(contenuto)} << uhf << contenuto
        << eeprom;
}

void TestSimulatore::cambio_unita()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, primo);
    QFETCH(QByteArray, successivo);
    QFETCH(QString, eeprom);

    constexpr int CAMBIO_MS = 400;
    const QString riepilogo = m_cartella.filePath(QStringLiteral("cambio.json"));
    ProcessoSimulatore sim(argomenti + QStringList{"--swap-ms", QString::number(CAMBIO_MS),
                                                   "--announce-ms", "100", "--flip-after-write",
                                                   "10", "--delay-at", "1", "--delay-ms", "100",
                                                   "--summary", riepilogo});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    QVERIFY(invia(fd, byte({'R', 0, 'W', 10, 0x4D, 'R', 10})));
    QCOMPARE(leggi(fd, 3, ATTESA_MS), byte({primo[0], 'K', 0x4D ^ 0x5A}));
    // Taken away at the "E" with the reply it still held back; what follows
    // meets no unit.
    const QByteArray ignorati = byte({'U', 'R', 0});
    QVERIFY(invia(fd, byte({'R', 1, 'E'}) + ignorati));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    const qsizetype fine_primo = sim.ricevuti().size() - ignorati.size() - 1;

    // The next unit, its cells sound: nothing of the first one's faults.
    QVERIFY(invia(fd, "U" + letture_di_tutte()));
    QCOMPARE(leggi(fd, NUM_CELLE, ATTESA_MS), successivo);
    if (!eeprom.isEmpty()) {
        QFile file(eeprom);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), successivo);
    }
    sim.termina();

    // Nothing went out from the "E" until the swap was over.
    const QList<ByteTraccia> traccia = sim.traccia();
    qsizetype entrati = 0;
    std::optional<qint64> fine;
    for (const ByteTraccia &b : traccia) {
        if (b.entrata && ++entrati == fine_primo + 1)
            fine = b.us;
        else if (!b.entrata && fine) {
            QVERIFY2(b.us >= *fine + CAMBIO_MS * 1000, qPrintable(QString::number(b.us - *fine)));
            break;
        }
    }
    QVERIFY(fine);
    QCOMPARE(sim.ricevuti().mid(fine_primo, 1 + ignorati.size()), "E" + ignorati);

    QFile file(riepilogo);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("unita").toInt(), 2);
    QCOMPARE(json.value("dialoghi").toInt(), 2);
    QCOMPARE(json.value("scritture").toInt(), 1);
    QCOMPARE(celle_di(json), successivo);
}

void TestSimulatore::fine_con_stdin_data()
{
    QTest::addColumn<bool>("opzione");
    QTest::addColumn<bool>("uccidi_genitore"); // or close the simulator's stdin
    QTest::addColumn<bool>("finisce");

    QTest::newRow("stdin chiuso") << true << false << true;
    QTest::newRow("stdin chiuso, senza opzione") << false << false << false;
    // Our end of its stdin stays open: only the parent's death can end it.
    QTest::newRow("genitore ucciso") << true << true << true;
}

void TestSimulatore::fine_con_stdin()
{
    QFETCH(bool, opzione);
    QFETCH(bool, uccidi_genitore);
    QFETCH(bool, finisce);

    // Orphaned, the simulator becomes our child, and its exit status ours to see.
    QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1UL, 0UL, 0UL, 0UL), 0);
    const auto basta = qScopeGuard([] { ::prctl(PR_SET_CHILD_SUBREAPER, 0UL, 0UL, 0UL, 0UL); });
    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString link = cartella.filePath(QStringLiteral("ttyM5"));
    // Its stdin: a fifo whose only writer is this test.
    const QString fifo = cartella.filePath(QStringLiteral("stdin"));
    int scrittore = crea_fifo(fifo);
    QVERIFY(scrittore >= 0);
    const auto chiudi = qScopeGuard([&scrittore] {
        if (scrittore >= 0)
            ::close(scrittore);
    });

    QProcess genitore;
    const pid_t pid = avvia_sotto_shell(
        genitore, fifo,
        QStringList{"--link", link} + (opzione ? QStringList{"--exit-with-stdin"} : QStringList{}));
    QVERIFY(pid > 0);
    bool in_vita = true;
    const auto ferma = qScopeGuard([&in_vita, pid] {
        if (in_vita)
            ::kill(pid, SIGKILL);
    });
    // Announcing: past its start-up, guards set.
    const int fd = apri_porta(link);
    QVERIFY(fd >= 0);
    const auto chiudi_porta = qScopeGuard([fd] { ::close(fd); });
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));

    if (uccidi_genitore) {
        genitore.kill();
        QVERIFY(genitore.waitForFinished(ATTESA_MS));
    } else {
        ::close(scrittore);
        scrittore = -1;
    }
    if (!finisce) {
        QVERIFY(!genitore.waitForFinished(500));
        QVERIFY(QFileInfo(link).isSymLink());
        // The shell still waits for it, so the pid is still its own.
        ::kill(pid, SIGTERM);
        in_vita = false;
        QVERIFY(genitore.waitForFinished(ATTESA_MS));
        return;
    }
    // It exits as on SIGTERM, and its link goes with it.
    if (uccidi_genitore) {
        const std::optional<int> stato = stato_orfano(pid, ATTESA_MS);
        QVERIFY(stato);
        in_vita = false;
        QVERIFY(WIFEXITED(*stato));
        QCOMPARE(WEXITSTATUS(*stato), 0);
    } else {
        QVERIFY(genitore.waitForFinished(ATTESA_MS));
        in_vita = false;
        QCOMPARE(genitore.exitCode(), 0); // the simulator's, through "wait"
    }
    QVERIFY(!QFileInfo(link).isSymLink());
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

void TestSimulatore::scritture_fallite()
{
    // A trace that cannot be written ends the simulator, which is not taken for a dialogue.
    QProcess tracciato;
    tracciato.setStandardErrorFile(QStringLiteral("/dev/full"));
    tracciato.start(ProcessoSimulatore::eseguibile(), {"--trace"});
    QVERIFY(tracciato.waitForFinished(ATTESA_MS));
    QCOMPARE(tracciato.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tracciato.exitCode(), 1);

    // The unit keeps the value, but the run does not end as if it were saved.
    DiscoPieno disco;
    if (!disco.montato())
        QSKIP("needs root to mount a small tmpfs");
    const QString percorso = disco.percorso(QStringLiteral("celle.bin"));
    QFile file(percorso);
    QVERIFY(file.open(QIODevice::WriteOnly) &&
            file.write(come_byte(blocco_fabbrica(Banda::UHF))) == NUM_CELLE);
    file.close();
    QVERIFY(disco.riempi());
    ProcessoSimulatore sim({"--eeprom", percorso});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;
    QVERIFY(invia(fd, byte({'W', 10, 77})));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    QVERIFY(invia(fd, byte({'R', 10})));
    QCOMPARE(leggi(fd, 1, ATTESA_MS), byte({77}));
    sim.termina();
    QCOMPARE(sim.codice_uscita(), 1);
    const QString diagnostica = sim.diagnostica().join('\n');
    QVERIFY2(diagnostica.contains("--eeprom: 1 save(s) of the cells failed") &&
                 diagnostica.contains("No space left on device"),
             qPrintable(diagnostica));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), come_byte(blocco_fabbrica(Banda::UHF)));
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
    // One announcement right after the "E", the next one far off.
    ProcessoSimulatore sim({"--announce-ms", "60000"});
    int fd;
    entra_in_dialogo(sim, fd);
    const auto chiudi = qScopeGuard([fd] { ::close(fd); });
    if (QTest::currentTestFailed())
        return;

    // The announcement after the "E" too is stamped when it leaves.
    const QByteArray richieste = byte({'R', 0, 'W', 3, 9, 'E'});
    QVERIFY(invia(fd, richieste));
    QCOMPARE(leggi(fd, 3, ATTESA_MS), byte({blocco_fabbrica(Banda::UHF)[0], 'K', 'K'}));
    sim.termina();

    // Every line parsed as a trace line, in order, with a clock that only
    // goes forward.
    QCOMPARE(sim.diagnostica(), QStringList());
    QCOMPARE(sim.ricevuti(), QByteArray("U") + richieste);
    const QByteArray inviati = sim.inviati();
    QVERIFY(inviati.endsWith(byte({blocco_fabbrica(Banda::UHF)[0], 'K', 'K'})));
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
    QTest::newRow("probabilità oltre 1") << QStringList{"--garbage-reads", "1.5"};
    QTest::newRow("probabilità non numerica") << QStringList{"--extra-bytes", "metà"};
    QTest::newRow("seme negativo") << QStringList{"--seed", "-1"};
    QTest::newRow("seme oltre 64 bit") << QStringList{"--seed", "18446744073709551616"};
    QTest::newRow("celle ritardate malformate")
        << QStringList{"--delay-at", "3,,9", "--delay-ms", "5"};
    QTest::newRow("celle ritardate senza ritardo") << QStringList{"--delay-at", "3"};
    QTest::newRow("raffica zero") << QStringList{"--burst-after", "0"};
    QTest::newRow("next-block senza swap-ms") << QStringList{"--next-block", "vhf"};
    QTest::newRow("riepilogo senza cartella") << QStringList{"--summary", "/nonexistent/r.json"};
    // A rename would put a file in place of the device.
    QTest::newRow("riepilogo su un dispositivo") << QStringList{"--summary", "/dev/full"};
    const QString fifo = m_cartella.filePath(QStringLiteral("fifo"));
    QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("eeprom su una fifo") << QStringList{"--eeprom", fifo};
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
