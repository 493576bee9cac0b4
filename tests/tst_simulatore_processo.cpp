// SPDX-License-Identifier: GPL-3.0-or-later
// m5sim as a program: its summary, cell file, link, signals, exit and usage errors.

#include "blocco.h"
#include "cartella_prova.h"
#include "disco_pieno.h"
#include "linea_grezza.h"
#include "linea_simulatore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace linea_grezza;

namespace {
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
} // namespace

class TestSimulatoreProcesso : public QObject
{
    Q_OBJECT

private:
    CartellaProva m_cartella;

private slots:
    void initTestCase();

    void riepilogo_data();
    void riepilogo();
    void segnale_a_traccia_piena();
    void fine_con_stdin_data();
    void fine_con_stdin();
    void eeprom();
    void scritture_fallite();
    void collegamento_data();
    void collegamento();
    void collegamento_su_file();
    void errori_di_uso_data();
    void errori_di_uso();
};

void TestSimulatoreProcesso::initTestCase()
{
    QVERIFY(m_cartella.valida());
}

void TestSimulatoreProcesso::riepilogo_data()
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

void TestSimulatoreProcesso::riepilogo()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, segnale);
    QFETCH(QByteArray, guasti);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString percorso = cartella.filePath(QStringLiteral("riepilogo.json"));
    LineaSimulatore linea(argomenti + QStringList{"--lose-write-at", "21", "--summary", percorso});
    if (!linea.apri())
        return;

    // Two dialogues; a write beyond the cells is a record too.
    const QByteArray richieste =
        byte({'U', 'W', 20, 0x11, 'W', 21, 0x22, 'W', 64, 0x33, 'E', 'U', 'W', 22, 0x44, 'R', 20});
    QVERIFY(invia(linea.fd, richieste));
    QVERIFY(linea.sim.attendi_ricevuti(int(richieste.size()), ATTESA_MS));
    if (segnale)
        QCOMPARE(::kill(static_cast<pid_t>(linea.sim.pid()), segnale), 0);
    else
        linea.sim.chiudi_stdin(); // no matter for the hang-up
    QVERIFY(linea.sim.attendi_fine(ATTESA_MS));
    QCOMPARE(linea.sim.esito(), 0);

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

void TestSimulatoreProcesso::segnale_a_traccia_piena()
{
    // A signal while a trace line waits for room on stderr must not fail
    // that write: the line goes out once read, and the exit is a clean one.
    LineaSimulatore linea;
    if (!linea.entra())
        return;
    const auto proc = [&linea](const char *voce) {
        QFile f(QStringLiteral("/proc/%1/%2").arg(linea.sim.pid()).arg(QLatin1String(voce)));
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
        pollfd pronta = {linea.fd, POLLOUT, 0};
        QVERIFY(::poll(&pronta, 1, ATTESA_MS) == 1 && invia(linea.fd, byte({'R', 0})));
        leggi_per(linea.fd, 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(ferma_su_stderr(), ATTESA_MS);
    QCOMPARE(::kill(static_cast<pid_t>(linea.sim.pid()), SIGTERM), 0);
    QTRY_VERIFY_WITH_TIMEOUT(segnale_gestito(), ATTESA_MS);
    QVERIFY(linea.sim.attendi_fine(ATTESA_MS));
    QCOMPARE(linea.sim.diagnostica(), QStringList());
    QCOMPARE(linea.sim.esito(), 0);
}

void TestSimulatoreProcesso::fine_con_stdin_data()
{
    QTest::addColumn<bool>("opzione");
    QTest::addColumn<bool>("uccidi_genitore"); // or close the simulator's stdin
    QTest::addColumn<bool>("finisce");

    QTest::newRow("stdin chiuso") << true << false << true;
    QTest::newRow("stdin chiuso, senza opzione") << false << false << false;
    // Our end of its stdin stays open: only the parent's death can end it.
    QTest::newRow("genitore ucciso") << true << true << true;
}

void TestSimulatoreProcesso::fine_con_stdin()
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

void TestSimulatoreProcesso::eeprom()
{
    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString percorso = cartella.filePath(QStringLiteral("celle.bin"));
    QByteArray atteso = come_byte(blocco_fabbrica(Banda::UHF));

    {
        LineaSimulatore linea({"--eeprom", percorso});
        if (!linea.entra())
            return;
        QFile file(percorso);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), atteso);
        file.close();

        QVERIFY(invia(linea.fd, byte({'W', 10, 77})));
        QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));
        atteso[10] = 77;
        // Saved by the time the write is acknowledged.
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), atteso);
    }
    QCOMPARE(QDir(cartella.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"celle.bin"});

    // The saved cells win over the block of the second run.
    LineaSimulatore linea({"--eeprom", percorso, "--block", "vhf"});
    if (!linea.entra())
        return;
    QVERIFY(invia(linea.fd, letture_di_tutte()));
    QCOMPARE(leggi(linea.fd, NUM_CELLE, ATTESA_MS), atteso);
}

void TestSimulatoreProcesso::scritture_fallite()
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
    LineaSimulatore linea({"--eeprom", percorso});
    if (!linea.entra())
        return;
    QVERIFY(invia(linea.fd, byte({'W', 10, 77})));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));
    QVERIFY(invia(linea.fd, byte({'R', 10})));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), byte({77}));
    linea.sim.termina();
    QCOMPARE(linea.sim.esito(), 1);
    const QString diagnostica = linea.sim.diagnostica().join('\n');
    QVERIFY2(diagnostica.contains("--eeprom: 1 save(s) of the cells failed") &&
                 diagnostica.contains("No space left on device"),
             qPrintable(diagnostica));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), come_byte(blocco_fabbrica(Banda::UHF)));
}

void TestSimulatoreProcesso::collegamento_data()
{
    QTest::addColumn<int>("segnale");

    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestSimulatoreProcesso::collegamento()
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
    QCOMPARE(sim.esito(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimulatoreProcesso::collegamento_su_file()
{
    const QString percorso = m_cartella.file_di("dati");
    QVERIFY(!percorso.isEmpty());

    ProcessoSimulatore sim({"--link", percorso});
    QVERIFY(!sim.avvia());
    QVERIFY(sim.attendi_fine(ATTESA_MS));
    QCOMPARE(sim.esito(), 1);
    QFile file(percorso);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("dati"));
}

void TestSimulatoreProcesso::errori_di_uso_data()
{
    QTest::addColumn<QStringList>("argomenti");

    const QByteArray corto(NUM_CELLE - 1, 0);
    const QByteArray lungo(NUM_CELLE + 1, 0);
    QTest::newRow("opzione sconosciuta") << QStringList{"--frobnicate"};
    QTest::newRow("argomento in più") << QStringList{"ttyS0"};
    QTest::newRow("valore mancante") << QStringList{"--block"};
    QTest::newRow("blocco inesistente") << QStringList{"--block", "/nonexistent/celle"};
    QTest::newRow("blocco corto") << QStringList{"--block", m_cartella.file_di(corto)};
    QTest::newRow("blocco lungo") << QStringList{"--block", m_cartella.file_di(lungo)};
    QTest::newRow("blocco vuoto") << QStringList{"--block", m_cartella.file_di({})};
    QTest::newRow("eeprom corta") << QStringList{"--eeprom", m_cartella.file_di(corto)};
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
    const QString fifo = m_cartella.percorso(QStringLiteral("fifo"));
    QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("eeprom su una fifo") << QStringList{"--eeprom", fifo};
}

void TestSimulatoreProcesso::errori_di_uso()
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

QTEST_GUILESS_MAIN(TestSimulatoreProcesso)
#include "tst_simulatore_processo.moc"
