// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QProcess>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// m5config as a process: what it does without a display, with a bad
// argument, and when a signal ends it.
class TstM5config : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void senza_display_data();
    void senza_display();
    void segnale_data();
    void segnale();

private:
    QProcessEnvironment ambiente(bool display) const;

    QTemporaryDir m_casa;
};

namespace {
constexpr int FINE_MS = 10000;

// The pids of the process's children.
QList<qint64> figli(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    QList<qint64> pid_figli;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &p : f.readAll().simplified().split(' '))
            if (!p.isEmpty())
                pid_figli << p.toLongLong();
    }
    return pid_figli;
}

bool vivo(qint64 pid)
{
    // A zombie has finished: only its parent has not reaped it yet.
    QFile stato(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stato.open(QIODevice::ReadOnly))
        return false;
    const QByteArray s = stato.readAll();
    return s.mid(s.lastIndexOf(')') + 2, 1) != "Z";
}
} // namespace

void TstM5config::initTestCase()
{
    QVERIFY(m_casa.isValid());
}

QProcessEnvironment TstM5config::ambiente(bool display) const
{
    QProcessEnvironment a = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        a.remove(QLatin1String(v));
    if (display)
        a.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // --demo keeps its simulated cells there.
    a.insert(QStringLiteral("XDG_DATA_HOME"), m_casa.path());
    a.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_casa.path());
    return a;
}

void TstM5config::senza_display_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("display_x");
    QTest::addColumn<int>("codice");
    QTest::addColumn<QString>("uscita_standard");
    QTest::addColumn<QString>("errori");

    QTest::newRow("--help") << QStringList{"--help"} << false << "" << 0 << "Usage:"
                            << "";
    QTest::newRow("--version") << QStringList{"--version"} << false << "" << 0 << "m5config "
                               << "";
    QTest::newRow("-v con altro") << QStringList{"--demo", "-v"} << false << "" << 0 << "m5config "
                                  << "";
    QTest::newRow("nessun display") << QStringList{} << false << "" << 1 << ""
                                    << "m5config: no display";
    // Said at once, not left to a broken port at the first connect.
    QTest::newRow("--com auto senza adattatore")
        << QStringList{"--com", "1=auto"} << true << "" << 2 << ""
        << "m5config: --com 1=auto: no USB serial adapter found";
    QTest::newRow("traccia non scrivibile")
        << QStringList{"--trace", "/m5-nessuna-cartella/traccia"} << true << "" << 2 << ""
        << "m5config: --trace /m5-nessuna-cartella/traccia: ";
    // A stale DISPLAY, as over ssh: Qt alone would abort with its advice to reinstall.
    QTest::newRow("display irraggiungibile") << QStringList{} << false << ":55" << 1 << ""
                                             << "m5config: cannot open the display :55 (";
}

void TstM5config::senza_display()
{
    QFETCH(QStringList, argomenti);
    QFETCH(bool, display);
    QFETCH(QString, display_x);
    QFETCH(int, codice);
    QFETCH(QString, uscita_standard);
    QFETCH(QString, errori);
    if (argomenti.contains(QStringLiteral("1=auto"))) {
        for (const QSerialPortInfo &p : QSerialPortInfo::availablePorts()) {
            if (p.hasVendorIdentifier())
                QSKIP("a USB serial adapter is present");
        }
    }

    if (!display_x.isEmpty() && QFile::exists(QStringLiteral("/tmp/.X11-unix/X55")))
        QSKIP("an X server runs on :55");

    QProcess p;
    QProcessEnvironment a = ambiente(display);
    if (!display_x.isEmpty())
        a.insert(QStringLiteral("DISPLAY"), display_x);
    p.setProcessEnvironment(a);
    p.start(QStringLiteral(M5CONFIG_PATH), argomenti);
    QVERIFY(p.waitForFinished(FINE_MS));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), codice);
    const QByteArray fuori = p.readAllStandardOutput();
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(fuori.startsWith(uscita_standard.toLocal8Bit()), fuori.constData());
    QVERIFY2(err.startsWith(errori.toLocal8Bit()), err.constData());
    if (!errori.isEmpty())
        QVERIFY2(err.count('\n') == 1 && err.endsWith('\n'), err.constData());
}

void TstM5config::segnale_data()
{
    QTest::addColumn<int>("segnale");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGKILL") << SIGKILL;
}

void TstM5config::segnale()
{
    QFETCH(int, segnale);

    QProcess p;
    p.setProcessEnvironment(ambiente(true));
    p.start(QStringLiteral(M5CONFIG_PATH), {QStringLiteral("--demo")});
    QVERIFY(p.waitForStarted());
    QList<qint64> sim;
    QVERIFY(QTest::qWaitFor([&] { return !(sim = figli(p.processId())).isEmpty(); }, FINE_MS));

    QCOMPARE(::kill(static_cast<pid_t>(p.processId()), segnale), 0);
    QVERIFY(p.waitForFinished(FINE_MS));
    if (segnale != SIGKILL) {
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }
    // The simulated receiver never outlives the program, however it ends.
    QVERIFY(QTest::qWaitFor([&] { return !vivo(sim.first()); }, FINE_MS));
}

QTEST_GUILESS_MAIN(TstM5config)
#include "tst_m5config.moc"
