// SPDX-License-Identifier: GPL-3.0-or-later
// m5ctl at a programming station: finding ports, ports in use, several at once, runs.
#include "esecuzione_m5ctl.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

class TstProduzionePorte : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void porta_automatica();
    void elenco_porte();
    void avvisi_al_terminale_data();
    void avvisi_al_terminale();
    void permesso_negato();
    void porta_occupata();
    void piu_porte();
    void piu_porte_interrotta();
    void ripetizione_data();
    void ripetizione();

private:
    QString percorso(const QString &nome) const { return m_cartella.filePath(nome); }

    QTemporaryDir m_cartella;
};

void TstProduzionePorte::initTestCase()
{
    QVERIFY(m_cartella.isValid());
}

void TstProduzionePorte::porta_automatica()
{
    for (const QSerialPortInfo &p : QSerialPortInfo::availablePorts()) {
        if (p.hasVendorIdentifier())
            QSKIP("a USB serial adapter is present");
    }
    const Esecuzione e = esegui({"--port", "auto", "read"});
    QCOMPARE(e.esito, 3);
    QVERIFY2(e.errori.startsWith("m5ctl: --port auto: no USB serial adapter found"),
             e.errori.constData());
}

void TstProduzionePorte::elenco_porte()
{
    // "Com N" is the N-th port listed, in the table and in the JSON alike, and
    // so is each port's socket.
    const Esecuzione tabella = esegui({"ports"});
    const Esecuzione json = esegui({"ports", "--json"});
    QCOMPARE(tabella.esito, 0);
    QCOMPARE(json.esito, 0);
    const QList<QByteArray> righe =
        tabella.uscita_standard.split('\n').mid(0, tabella.uscita_standard.count('\n'));
    const QList<QJsonObject> oggetti = righe_json(json.uscita_standard);
    QCOMPARE(righe.size(), oggetti.size());
    for (int i = 0; i < righe.size(); ++i) {
        const QList<QByteArray> colonne = righe[i].split('\t');
        QCOMPARE(colonne.size(), 7);
        QCOMPARE(colonne[0], i < 8 ? "Com " + QByteArray::number(i + 1) : QByteArray("-"));
        QCOMPARE(oggetti[i].value("com").toInt(-1), i < 8 ? i + 1 : -1);
        QCOMPARE(QString::fromLocal8Bit(colonne[1]), oggetti[i].value("percorso").toString());
        // The socket, last: what --port and m5stazione --slot take.
        QCOMPARE(QString::fromLocal8Bit(colonne[6]), oggetti[i].value("presa").toString());
    }
}

void TstProduzionePorte::avvisi_al_terminale_data()
{
    QTest::addColumn<QStringList>("simulatore");
    QTest::addColumn<QStringList>("comando");
    QTest::addColumn<QString>("avviso"); // %P: the port

    QTest::newRow("in attesa del ricevitore")
        << QStringList{"--silent"} << QStringList{"read"}
        << QStringLiteral("m5ctl: waiting for the receiver on %P");
    // The unit stays on the line and keeps announcing itself: it was never taken
    // out, or the next one came in less than the silence.
    QTest::newRow("unità non tolta")
        << QStringList{} << QStringList{"init", "uhf", "--repeat", "2", "--swap-silence", "1"}
        << QStringLiteral("m5ctl: %P: the line has not gone silent since unit 1 ended: take the "
                          "unit out, leave the port empty for 1 s, then plug in the next one");
}

void TstProduzionePorte::avvisi_al_terminale()
{
    QFETCH(QStringList, simulatore);
    QFETCH(QStringList, comando);
    QFETCH(QString, avviso);

    // stderr on a terminal of its own, as a user at a console has it.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString terminale = QString::fromLocal8Bit(::ptsname(master));
    ProcessoSimulatore sim(simulatore);
    QVERIFY(sim.avvia());

    QProcess m5ctl;
    m5ctl.setStandardErrorFile(terminale);
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << comando);
    QVERIFY(m5ctl.waitForStarted());
    QByteArray visto;
    const QByteArray atteso = QString(avviso).replace("%P", sim.percorso()).toLocal8Bit();
    QVERIFY(QTest::qWaitFor(
        [&] {
            char buf[256];
            ssize_t n;
            while (::fcntl(master, F_SETFL, O_NONBLOCK) == 0 &&
                   (n = ::read(master, buf, sizeof buf)) > 0)
                visto.append(buf, n);
            return visto.contains(atteso);
        },
        FINE_MS));
    ::kill(static_cast<pid_t>(m5ctl.processId()), SIGINT);
    QVERIFY(m5ctl.waitForFinished(5000));
    QCOMPARE(m5ctl.exitCode(), 130);
    QCOMPARE(visto.count(atteso), 1);
    ::close(master);
}

void TstProduzionePorte::permesso_negato()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("runuser")).isEmpty())
        QSKIP("needs root and runuser to run m5ctl as another user");
    // A copy another user may run: the build may sit in root's own home.
    QTemporaryDir aperta;
    QVERIFY(aperta.isValid());
    const QString m5ctl = aperta.filePath(QStringLiteral("m5ctl"));
    QVERIFY(QFile::copy(QStringLiteral(M5CTL_PATH), m5ctl));
    const auto tutti =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(aperta.path(), tutti) && QFile::setPermissions(m5ctl, tutti));

    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    QFile::setPermissions(sim.percorso(), QFile::ReadOwner | QFile::WriteOwner);
    QProcess p;
    p.start(QStringLiteral("runuser"),
            {"-u", "nobody", "--", m5ctl, "--port", sim.percorso(), "read"});
    QVERIFY(p.waitForFinished(FINE_MS));
    QCOMPARE(p.exitCode(), 3);
    const QByteArray errori = p.readAllStandardError();
    QVERIFY2(errori.contains("Permission denied") &&
                 errori.contains("sudo usermod -aG dialout $USER") && errori.count('\n') == 1,
             errori.constData());
}

void TstProduzionePorte::porta_occupata()
{
    // QSerialPort reports the lock of another program as a permission error,
    // even to root: no dialout group helps there.
    ProcessoSimulatore sim({QStringLiteral("--silent")});
    QVERIFY(sim.avvia());
    QProcess prima;
    prima.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << QStringLiteral("read"));
    QVERIFY(prima.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return ha_aperto(prima.processId(), sim.percorso()); }, 5000));

    const Esecuzione e = esegui(argomenti_porta(&sim) << QStringLiteral("read"));
    const qint64 pid = prima.processId();
    ::kill(static_cast<pid_t>(pid), SIGINT);
    QVERIFY(prima.waitForFinished(5000));
    QCOMPARE(e.esito, 3);
    QVERIFY2(e.errori.contains(": the port is in use by another program, m5ctl (PID " +
                               QByteArray::number(pid) + ')') &&
                 !e.errori.contains("dialout") && e.errori.count('\n') == 1,
             e.errori.constData());
}

void TstProduzionePorte::piu_porte()
{
    // The line of one drops in the middle of its programming; the others finish.
    const qsizetype a_meta = CONNESSIONE.size() + 90;
    ProcessoSimulatore uno;
    ProcessoSimulatore due({QStringLiteral("--hangup-after"), QString::number(a_meta)});
    ProcessoSimulatore tre({QStringLiteral("--block"), QStringLiteral("uhf")});
    for (ProcessoSimulatore *s : {&uno, &due, &tre})
        QVERIFY(s->avvia());
    const Esecuzione e = esegui({"--port", uno.percorso(), "--port", due.percorso(), "--port",
                                 tre.percorso(), "program", "--codice", "9"});
    // A line gone under a write is its time-out, as in the window.
    QCOMPARE(e.esito, 4);
    QVERIFY2(e.errori.contains("the line went away"), e.errori.constData());
    QMap<QString, int> esiti;
    for (const QJsonObject &r : righe_json(e.uscita_standard)) {
        QCOMPARE(r.value("unita").toInt(), 1);
        esiti.insert(r.value("porta").toString(), r.value("esito").toInt());
    }
    QCOMPARE(esiti,
             (QMap<QString, int>{{uno.percorso(), 0}, {due.percorso(), 4}, {tre.percorso(), 0}}));
    const QByteArray completo =
        CONNESSIONE + record_scrittura(celle_programmata_codice(9)) + richieste_lettura() + "E";
    for (ProcessoSimulatore *s : {&uno, &tre}) {
        QVERIFY(s->attendi_ricevuti(static_cast<int>(completo.size()), TRACCIA_MS));
        QCOMPARE(s->ricevuti(), completo);
    }
}

void TstProduzionePorte::piu_porte_interrotta()
{
    // Ctrl-C: the unit in progress ends with "E" and is recorded; the port still
    // waiting for its unit records none.
    ProcessoSimulatore lenta({QStringLiteral("--reply-delay-ms"), QStringLiteral("300")});
    ProcessoSimulatore muta({QStringLiteral("--silent")});
    QVERIFY(lenta.avvia() && muta.avvia());
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH),
                {"--port", lenta.percorso(), "--port", muta.percorso(), "read"});
    QVERIFY(lenta.attendi_ricevuti(4, FINE_MS));
    ::kill(static_cast<pid_t>(m5ctl.processId()), SIGINT);
    QVERIFY(m5ctl.waitForFinished(5000));
    QCOMPARE(m5ctl.exitCode(), 130);
    const QList<QJsonObject> righe = righe_json(m5ctl.readAllStandardOutput());
    QCOMPARE(righe.size(), 1);
    QCOMPARE(righe.first().value("porta").toString(), lenta.percorso());
    QCOMPARE(righe.first().value("esito").toInt(), 130);
    QVERIFY(QTest::qWaitFor([&] { return lenta.ricevuti().endsWith('E'); }, TRACCIA_MS));
    QVERIFY(muta.attendi_ricevuti(1, TRACCIA_MS));
    QCOMPARE(muta.ricevuti(), QByteArray("E"));
}

void TstProduzionePorte::ripetizione_data()
{
    QTest::addColumn<int>("ripetizioni"); // 0: until Ctrl-C
    QTest::addColumn<QString>("registro");
    QTest::addColumn<QStringList>("guasto");
    QTest::addColumn<int>("codice");
    QTest::addColumn<int>("unita");
    QTest::addColumn<bool>("interrotta"); // Ctrl-C once the units have ended
    QTest::addColumn<int>("esito");       // of each unit
    QTest::addColumn<QString>("errore");  // %P: the port

    QTest::newRow("tre unità") << 3 << QStringLiteral("run.jsonl") << QStringList{} << 0 << 3
                               << false << 0 << QString();
    // A log that cannot be written stops the run before the next unit.
    QTest::newRow("registro pieno")
        << 3 << QStringLiteral("/dev/full") << QStringList{} << 3 << 1 << false << 0
        << QStringLiteral("m5ctl: 1 unit done, then --log /dev/full");
    // The line drops right after the first unit's "E": that unit stays good.
    const qsizetype dialogo = CONNESSIONE.size() + 62 * 3 + richieste_lettura().size() + 1;
    QTest::newRow("porta persa tra le unità")
        << 3 << QStringLiteral("run1.jsonl")
        << QStringList{"--hangup-after", QString::number(dialogo)} << 3 << 1 << false << 0
        << QStringLiteral("m5ctl: 1 unit done, then \"Errore!!  Porta Seriale Guasta o Mancante "
                          "\": %P");
    // Ctrl-C between units is the normal end of --repeat 0.
    QTest::newRow("fino a Ctrl-C")
        << 0 << QStringLiteral("run0.jsonl") << QStringList{} << 0 << 2 << true << 0 << QString();
    // Cut short, whatever the units did before.
    QTest::newRow("Ctrl-C dopo unità fallite")
        << 3 << QStringLiteral("run2.jsonl") << QStringList{"--corrupt-cell", "7"} << 130 << 2
        << true << 5
        << QStringLiteral("m5ctl: interrupted; %P: 2 units, 0 OK; the first failure: %P unit 1: "
                          "\"Errore di Lettura nei Parametri, Riprovare \"");
}

void TstProduzionePorte::ripetizione()
{
    QFETCH(int, ripetizioni);
    QFETCH(QString, registro);
    QFETCH(QStringList, guasto);
    QFETCH(int, codice);
    QFETCH(int, unita);
    QFETCH(bool, interrotta);
    QFETCH(int, esito);
    QFETCH(QString, errore);

    const QString file_registro = registro.startsWith('/') ? registro : percorso(registro);
    const QString riepilogo = percorso(QStringLiteral("riepilogo.json"));
    ProcessoSimulatore sim(QStringList{"--block", "vhf", "--swap-ms", "700", "--next-block", "uhf",
                                       "--summary", riepilogo}
                           << guasto);
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim)
                                                << "--log" << file_registro << "program"
                                                << "--codice"
                                                << "9"
                                                << "--repeat" << QString::number(ripetizioni)
                                                << "--swap-silence"
                                                << "0.3");
    QByteArray uscita_standard;
    if (interrotta) {
        QVERIFY(QTest::qWaitFor(
            [&] {
                m5ctl.waitForReadyRead(100);
                uscita_standard += m5ctl.readAllStandardOutput();
                return uscita_standard.count('\n') == unita;
            },
            FINE_MS));
        // Between units: the second has ended, the third has not announced itself yet.
        ::kill(static_cast<pid_t>(m5ctl.processId()), SIGINT);
    }
    QVERIFY(m5ctl.waitForFinished(FINE_MS));
    QCOMPARE(m5ctl.exitCode(), codice);
    uscita_standard += m5ctl.readAllStandardOutput();
    const QList<QJsonObject> righe = righe_json(uscita_standard);
    QCOMPARE(righe.size(), unita);
    for (int n = 0; n < unita; ++n) {
        QCOMPARE(righe[n].value("unita").toInt(), n + 1);
        QCOMPARE(righe[n].value("esito").toInt(), esito);
        if (esito == 0)
            QCOMPARE(righe[n].value("valori").toObject().value("codice").toInt(), 9);
    }
    if (codice == 0)
        QCOMPARE(righe_json(carica_tutto(file_registro)).size(), unita);
    const QString errori = QString::fromLocal8Bit(m5ctl.readAllStandardError());
    errore.replace(QStringLiteral("%P"), sim.percorso());
    QVERIFY2(errore.isEmpty() ? errori.isEmpty()
                              : errori.startsWith(errore) && errori.count('\n') == 1,
             qPrintable(errori));

    sim.termina();
    const QJsonObject fine = QJsonDocument::fromJson(carica_tutto(riepilogo)).object();
    QCOMPARE(fine.value("dialoghi").toInt(), unita);
    QCOMPARE(fine.value("scritture").toInt(), esito == 0 ? 62 * unita : 0);
}

QTEST_GUILESS_MAIN(TstProduzionePorte)
#include "tst_produzione_porte.moc"
