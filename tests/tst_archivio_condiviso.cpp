// SPDX-License-Identifier: GPL-3.0-or-later
// Stations and m5ctl runs that share one plan through one archive: no code twice, no record lost.

#include "esecuzione_m5ctl.h"
#include "server_postgres.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {
constexpr int FINE_CORSA_MS = 150000;
constexpr int FERMO_SERVER_MS = 20000;
const QString PIANO = QStringLiteral("101-140");

QProcessEnvironment ambiente(const QString &cartella)
{
    QProcessEnvironment a = QProcessEnvironment::systemEnvironment();
    a.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    a.insert(QStringLiteral("XDG_CONFIG_HOME"), cartella + QStringLiteral("/config"));
    a.insert(QStringLiteral("XDG_DATA_HOME"), cartella + QStringLiteral("/data"));
    a.insert(QStringLiteral("XDG_RUNTIME_DIR"), cartella + QStringLiteral("/run"));
    return a;
}

// Waits with the event loop running, the traces read meanwhile.
bool attendi_fine(QProcess &p, int ms)
{
    return QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, ms);
}

// The simulators' traces read as they come: a full pipe would stop them.
class Drenaggio
{
public:
    explicit Drenaggio(QList<ProcessoSimulatore *> simulatori)
    {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [simulatori] {
            for (ProcessoSimulatore *s : simulatori)
                s->traccia();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

// One line of psql's unaligned output, or empty.
QString valore(ServerPostgres &server, const QString &sql)
{
    QString uscita;
    return server.sql(sql, &uscita) ? uscita.trimmed() : QString();
}
// The codes the units were given pairwise distinct; every record of every
// log in the archive once; the plan's counts adding up.
void verifica(ServerPostgres &server,
              const std::vector<std::unique_ptr<ProcessoSimulatore>> &simulatori,
              const QStringList &registri)
{
    QList<int> codici;
    for (auto &sim : simulatori)
        codici += senza_zeri(codici_scritti(sim->ricevuti()));
    QSet<int> visti;
    for (const int c : std::as_const(codici)) {
        QVERIFY2(!visti.contains(c), qPrintable(QStringLiteral("code %1 twice").arg(c)));
        QVERIFY(c >= 101 && c <= 140);
        visti.insert(c);
    }
    QSet<QString> id;
    int dati = 0;
    for (const QString &registro : registri) {
        for (const QJsonObject &r : righe_json(carica_tutto(registro))) {
            if (!r.contains(QStringLiteral("id")))
                continue; // a station's event
            QVERIFY(!id.contains(r.value("id").toString()));
            id.insert(r.value("id").toString());
            dati += r.value("codice_stato").toString() == QLatin1String("dato");
        }
    }
    QStringList nel_archivio =
        valore(server, QStringLiteral("SELECT id FROM m5_record ORDER BY id"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &uno : std::as_const(id))
        QVERIFY2(nel_archivio.contains(uno), qPrintable(uno + QStringLiteral(" not delivered")));
    QCOMPARE(nel_archivio.size(), id.size());
    QCOMPARE(valore(server, QStringLiteral("SELECT count(*) FROM m5_codici WHERE stato = 'dato'")),
             QString::number(dati));
    QCOMPARE(valore(server, QStringLiteral("SELECT count(*) FROM m5_codici WHERE stato IN "
                                           "('dato', 'speso')")),
             QStringLiteral("40"));
    QVERIFY(visti.size() >= dati);
}
} // namespace

class TstArchivioCondiviso : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nessun_doppione();
    void privilegi_minimi();
    void rifiuti_data();
    void rifiuti();

private:
    std::unique_ptr<QProcess> avvia_m5ctl(const QStringList &porte, const QString &registro,
                                          const QString &indirizzo);

    QTemporaryDir m_cartella;
};

void TstArchivioCondiviso::initTestCase()
{
    if (ServerPostgres::cartella_programmi().isEmpty())
        QSKIP("no PostgreSQL server programs here (Debian's postgresql-15)");
    QVERIFY(m_cartella.isValid());
    for (const char *sotto : {"config", "data", "run"})
        QVERIFY(QDir(m_cartella.path()).mkpath(QLatin1String(sotto)));
    QFile::setPermissions(m_cartella.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The profile: a unit's values, read from a unit as a station's engineer would.
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    const Esecuzione e =
        esegui(argomenti_porta(&sim) << QStringLiteral("read") << QStringLiteral("-o")
                                     << m_cartella.filePath(QStringLiteral("profilo.json")));
    QCOMPARE(e.esito, 0);
}

std::unique_ptr<QProcess> TstArchivioCondiviso::avvia_m5ctl(const QStringList &porte,
                                                            const QString &registro,
                                                            const QString &indirizzo)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(ambiente(m_cartella.path()));
    QStringList argomenti{QStringLiteral("program"),
                          QStringLiteral("--from"),
                          m_cartella.filePath(QStringLiteral("profilo.json")),
                          QStringLiteral("--codici"),
                          PIANO,
                          QStringLiteral("--repeat"),
                          QStringLiteral("0"),
                          QStringLiteral("--swap-silence"),
                          QStringLiteral("0.2"),
                          QStringLiteral("--log"),
                          registro,
                          QStringLiteral("--archivio"),
                          indirizzo};
    for (const QString &porta : porte)
        argomenti << QStringLiteral("--port") << porta;
    p->start(QStringLiteral(M5CTL_PATH), argomenti);
    return p;
}

// Three processes, a station and two m5ctl runs of 4 ports each, share a plan
// of 40 codes to its end; one run is killed in a unit and started again, and
// the server is away for 20 s meanwhile.
void TstArchivioCondiviso::nessun_doppione()
{
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    const QString indirizzo = server.indirizzo();
    std::vector<std::unique_ptr<ProcessoSimulatore>> simulatori;
    QStringList percorsi;
    // Long enough a unit for a kill to fall inside one; the station's
    // units are taken out after its silence of 2 s.
    const auto nuovo = [&](const char *scambio) {
        simulatori.push_back(std::make_unique<ProcessoSimulatore>(
            QStringList{QStringLiteral("--swap-ms"), QLatin1String(scambio),
                        QStringLiteral("--reply-delay-ms"), QStringLiteral("8")}));
        return simulatori.back()->avvia() ? simulatori.back()->percorso() : QString();
    };
    for (int i = 0; i < 12; ++i)
        percorsi << nuovo(i < 4 ? "2500" : "300");
    QVERIFY(!percorsi.contains(QString()));
    QList<ProcessoSimulatore *> tutti;
    for (auto &s : simulatori)
        tutti << s.get();
    Drenaggio drenaggio(tutti);
    const QString registro_a = m_cartella.filePath(QStringLiteral("a.jsonl"));
    const QString registro_b = m_cartella.filePath(QStringLiteral("b.jsonl"));
    const QString registro_s = m_cartella.filePath(QStringLiteral("stazione.jsonl"));
    QProcess stazione;
    stazione.setProcessEnvironment(ambiente(m_cartella.path()));
    QStringList argomenti{
        QStringLiteral("--from"),     m_cartella.filePath(QStringLiteral("profilo.json")),
        QStringLiteral("--codici"),   PIANO,
        QStringLiteral("--archivio"), indirizzo,
        QStringLiteral("--log"),      registro_s,
        QStringLiteral("--mute")};
    for (int i = 0; i < 4; ++i)
        argomenti << QStringLiteral("--slot")
                  << QStringLiteral("%1=%2").arg(i + 1).arg(percorsi.at(i));
    stazione.start(QStringLiteral(M5STAZIONE_PATH), argomenti);
    auto a = avvia_m5ctl(percorsi.mid(4, 4), registro_a, indirizzo);
    auto b = avvia_m5ctl(percorsi.mid(8, 4), registro_b, indirizzo);

    // Killed once it has done a unit and is in the next.
    QTRY_VERIFY_WITH_TIMEOUT(!carica_tutto(registro_a).isEmpty(), FINE_CORSA_MS);
    QTest::qWait(700);
    ::kill(static_cast<pid_t>(a->processId()), SIGKILL);
    QVERIFY(attendi_fine(*a, FINE_MS));
    // The half-programmed units wait for a dialogue that is gone: the
    // worker takes them out, and plugs in new ones.
    QStringList nuovi;
    for (int i = 4; i < 8; ++i) {
        simulatori.at(i)->termina();
        nuovi << nuovo("300");
        tutti << simulatori.back().get();
    }
    Drenaggio drenaggio_nuovi(tutti.mid(12));
    a = avvia_m5ctl(nuovi, registro_a, indirizzo);
    QVERIFY(server.ferma());
    QTest::qWait(FERMO_SERVER_MS);
    QVERIFY2(server.riavvia(&errore), qPrintable(errore));

    QVERIFY2(attendi_fine(*a, FINE_CORSA_MS), a->readAllStandardError().constData());
    QVERIFY2(attendi_fine(*b, FINE_CORSA_MS), b->readAllStandardError().constData());
    QCOMPARE(a->exitCode(), 10);
    QCOMPARE(b->exitCode(), 10);
    // The station waits for a new plan: its end is the worker's.
    QTRY_COMPARE_WITH_TIMEOUT(
        valore(server, QStringLiteral("SELECT count(*) FROM m5_codici WHERE stato IN "
                                      "('libero', 'riservato', 'avviato')")),
        QStringLiteral("0"), FINE_CORSA_MS);
    ::kill(static_cast<pid_t>(stazione.processId()), SIGTERM);
    QVERIFY(attendi_fine(stazione, FINE_MS));

    verifica(server, simulatori, {registro_a, registro_b, registro_s});
}

// An administrator made the archive from the package's file, and granted a
// station's role what the README lists: that is enough.
void TstArchivioCondiviso::privilegi_minimi()
{
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    QFile schema(QStringLiteral(ARCHIVIO_SQL));
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QVERIFY(server.sql(QStringLiteral("BEGIN;\n") + QString::fromUtf8(schema.readAll()) +
                       QStringLiteral("COMMIT;\n")));
    QVERIFY(server.sql(QStringLiteral("CREATE ROLE stazione LOGIN;\n"
                                      "GRANT SELECT ON m5_versione TO stazione;\n"
                                      "GRANT SELECT, INSERT ON m5_piani, m5_record TO stazione;\n"
                                      "GRANT SELECT, INSERT, UPDATE ON m5_codici TO stazione;\n")));
    ProcessoSimulatore sim({QStringLiteral("--swap-ms"), QStringLiteral("200")});
    QVERIFY(sim.avvia());
    Drenaggio drenaggio({&sim});
    const QString registro = m_cartella.filePath(QStringLiteral("minimi.jsonl"));
    auto corsa =
        avvia_m5ctl({sim.percorso()}, registro, server.indirizzo(QStringLiteral("stazione")));
    QVERIFY(attendi_fine(*corsa, FINE_CORSA_MS));
    QVERIFY2(corsa->exitCode() == 10, corsa->readAllStandardError().constData());
    QCOMPARE(valore(server, QStringLiteral("SELECT count(*) FROM m5_codici WHERE stato = 'dato'")),
             QStringLiteral("40"));
    QCOMPARE(valore(server, QStringLiteral("SELECT count(*) FROM m5_record")),
             QStringLiteral("40"));
}

void TstArchivioCondiviso::rifiuti_data()
{
    QTest::addColumn<QString>("ruolo");
    QTest::addColumn<QString>("aggiunta");
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("parola");

    QTest::newRow("ruolo sconosciuto") << "nessuno" << QString() << 11 << "refused";
    QTest::newRow("ruolo senza accesso") << "chiuso" << QString() << 11 << "refused";
    QTest::newRow("password nella riga") << QString() << " password=segreta" << 2 << "password";
}

// A role the archive refuses, or a password where anyone sees it: one line,
// and no unit is touched.
void TstArchivioCondiviso::rifiuti()
{
    QFETCH(QString, ruolo);
    QFETCH(QString, aggiunta);
    QFETCH(int, esito);
    QFETCH(QString, parola);

    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    QVERIFY(server.sql(QStringLiteral("CREATE ROLE chiuso NOLOGIN;")));
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.setProcessEnvironment(ambiente(m_cartella.path()));
    m5ctl.start(QStringLiteral(M5CTL_PATH),
                argomenti_porta(&sim)
                    << QStringLiteral("program") << QStringLiteral("--codici")
                    << QStringLiteral("1-5") << QStringLiteral("--repeat") << QStringLiteral("1")
                    << QStringLiteral("--archivio") << server.indirizzo(ruolo) + aggiunta);
    QVERIFY(attendi_fine(m5ctl, FINE_MS));
    const QString errori = QString::fromLocal8Bit(m5ctl.readAllStandardError());
    QCOMPARE(m5ctl.exitCode(), esito);
    QVERIFY2(errori.count(QLatin1Char('\n')) == 1 && errori.contains(parola), qPrintable(errori));
    QVERIFY(!errori.contains(QLatin1String("segreta")));
    QVERIFY(sim.ricevuti().isEmpty());
}

QTEST_GUILESS_MAIN(TstArchivioCondiviso)
#include "tst_archivio_condiviso.moc"
