// SPDX-License-Identifier: GPL-3.0-or-later
// m5ctl giving each unit of a run its own code from a plan, through the store of the machine.
#include "celle.h"
#include "disco_pieno.h"
#include "esecuzione_m5ctl.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

namespace {
const QStringList SCAMBIO = {QStringLiteral("--swap-ms"), QStringLiteral("200")};
const QStringList SILENZIO = {QStringLiteral("--swap-silence"), QStringLiteral("0.1")};

// Each test's own store: XDG_DATA_HOME is where m5ctl keeps it.
void avvia(QProcess &m5ctl, const QString &dati, const QStringList &argomenti)
{
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("XDG_DATA_HOME"), dati);
    m5ctl.setProcessEnvironment(ambiente);
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti);
}

Esecuzione esegui_in(const QString &dati, const QStringList &argomenti)
{
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("XDG_DATA_HOME"), dati);
    return esegui(argomenti, FINE_MS, ambiente);
}

// As the plan's messages and records name it.
QString impronta(const QList<int> &codici)
{
    QByteArray testo;
    for (const int c : codici)
        testo += QByteArray::number(c) + '\n';
    return QString::fromLatin1(
        QCryptographicHash::hash(testo, QCryptographicHash::Sha256).toHex().left(8));
}

QList<int> da_a(int primo, int ultimo)
{
    QList<int> codici;
    for (int c = primo; c <= ultimo; ++c)
        codici << c;
    return codici;
}

int codice_dopo(const QJsonObject &record)
{
    const QJsonArray celle = record.value("celle_dopo").toArray();
    return celle.at(CELLA_COD_H).toInt() * 256 + celle.at(CELLA_COD_L).toInt();
}

// The plan's two fields close each record, after those it had before.
bool chiude_con_piano(const QByteArray &riga, const QString &piano, const QString &stato)
{
    const QString valore = stato.isEmpty() ? QStringLiteral("null") : '"' + stato + '"';
    return riga.endsWith(
        QStringLiteral(",\"piano\":\"%1\",\"codice_stato\":%2}").arg(piano, valore).toUtf8());
}

// The one line of a run whose plan ran out, whatever its counts.
bool riga_esaurimento(const QString &errori, const QString &piano)
{
    return errori.startsWith(
               QStringLiteral("m5ctl: --codici %1: no code left (\"CODICI ESAURITI\") after ")
                   .arg(piano)) &&
           errori.endsWith(QStringLiteral("; give a new plan with --codici or --codici-da\n")) &&
           errori.count('\n') == 1;
}

QList<QByteArray> righe(const QByteArray &testo)
{
    QList<QByteArray> r = testo.split('\n');
    r.removeAll(QByteArray());
    return r;
}
} // namespace

class TstProduzioneCodici : public QObject
{
    Q_OBJECT

private slots:
    void due_processi();
    void ripresa_dopo_morte();
    void rifiuti_data();
    void rifiuti();
    void etichette_data();
    void etichette();
    void saldo_data();
    void saldo();

private:
    // The codes of the log's OK units, lowest first; the others must have had none.
    static void codici_dati(const QString &registro, const QString &piano, QList<int> &dati);
};

void TstProduzioneCodici::codici_dati(const QString &registro, const QString &piano,
                                      QList<int> &dati)
{
    for (const QByteArray &riga : righe(carica_tutto(registro))) {
        const QJsonObject r = QJsonDocument::fromJson(riga).object();
        if (r.value("esito").toInt() == 0) {
            QVERIFY2(chiude_con_piano(riga, piano, QStringLiteral("dato")), riga.constData());
            dati << codice_dopo(r);
        } else {
            // A unit that came after the last code went: nothing read, nothing written.
            QCOMPARE(r.value("esito").toInt(), 10);
            QVERIFY(r.value("celle_prima").isNull());
            QVERIFY2(chiude_con_piano(riga, piano, QString()), riga.constData());
        }
    }
    std::sort(dati.begin(), dati.end());
}

void TstProduzioneCodici::due_processi()
{
    // Two processes on one plan and one log, two ports each, until the plan
    // runs out: no code twice, none left out.
    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString registro = cartella.filePath(QStringLiteral("linea.jsonl"));
    std::vector<std::unique_ptr<ProcessoSimulatore>> simulatori;
    for (int i = 0; i < 4; ++i) {
        simulatori.push_back(std::make_unique<ProcessoSimulatore>(
            SCAMBIO + QStringList{QStringLiteral("--reply-delay-ms"), QStringLiteral("2")}));
        QVERIFY(simulatori.back()->avvia());
    }
    const auto porte = [&](int primo) {
        return QStringList{"--port", simulatori[primo]->percorso(), "--port",
                           simulatori[primo + 1]->percorso()};
    };
    const QStringList comando =
        QStringList{"--log", registro, "program", "--codici", "1-12", "--repeat", "0"} + SILENZIO;
    QProcess primo;
    QProcess secondo;
    avvia(primo, cartella.path(), porte(0) + comando);
    // The second starts while the first is writing a unit: a process on the
    // same log that is still running keeps the code it took.
    QVERIFY(QTest::qWaitFor(
        [&] {
            return simulatori[0]->ricevuti().contains('W') ||
                   simulatori[1]->ricevuti().contains('W');
        },
        FINE_MS));
    avvia(secondo, cartella.path(), porte(2) + comando);
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     // Their traces are read as they come, or they would stall on a full pipe.
                     for (const auto &s : simulatori)
                         s->diagnostica();
                     return primo.state() == QProcess::NotRunning &&
                            secondo.state() == QProcess::NotRunning;
                 },
                 FINE_MS),
             "m5ctl did not end");

    const QString piano = impronta(da_a(1, 12));
    for (QProcess *p : {&primo, &secondo}) {
        const QString errori = QString::fromLocal8Bit(p->readAllStandardError());
        QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 10 &&
                     riga_esaurimento(errori, piano),
                 qPrintable(errori));
    }
    QList<int> dati;
    codici_dati(registro, piano, dati);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(dati, da_a(1, 12));
    QList<int> scritti;
    QVERIFY(QTest::qWaitFor(
        [&] {
            scritti.clear();
            for (const auto &s : simulatori)
                scritti << senza_zeri(codici_scritti(s->ricevuti()));
            std::sort(scritti.begin(), scritti.end());
            return scritti == da_a(1, 12);
        },
        TRACCIA_MS));
    QCOMPARE(scritti, da_a(1, 12));
}

void TstProduzioneCodici::ripresa_dopo_morte()
{
    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString registro = cartella.filePath(QStringLiteral("linea.jsonl"));
    const QStringList comando =
        QStringList{"--log", registro, "program", "--codici", "1-3", "--repeat", "0"} + SILENZIO;
    // No write is acknowledged: the unit hangs on its first one for the
    // time-out, far longer than killing m5ctl takes.
    ProcessoSimulatore muto({QStringLiteral("--no-ack-from"), QStringLiteral("0")});
    QVERIFY(muto.avvia());
    QProcess ucciso;
    avvia(ucciso, cartella.path(), argomenti_porta(&muto) + comando);
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QByteArray r = muto.ricevuti();
            const qsizetype w = r.indexOf('W');
            return w >= 0 && r.size() >= w + 3;
        },
        FINE_MS));
    ::kill(static_cast<pid_t>(ucciso.processId()), SIGKILL);
    QVERIFY(ucciso.waitForFinished(5000));
    QCOMPARE(ucciso.exitStatus(), QProcess::CrashExit);
    QVERIFY(carica_tutto(registro).isEmpty());

    // Started again on the same log: code 1 may be in that unit.
    ProcessoSimulatore sim(SCAMBIO);
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui_in(cartella.path(), argomenti_porta(&sim) + comando);
    QCOMPARE(QString::fromLocal8Bit(e.errori),
             QStringLiteral("m5ctl: warning: --codici: 1 code taken by the run before this one on "
                            "--log %1 and never settled: counted as spent\n"
                            "m5ctl: --codici %2: no code left (\"CODICI ESAURITI\") after 2 of "
                            "this run's units, 2 OK; the plan has 2 given, 1 spent; give a new "
                            "plan with --codici or --codici-da\n")
                 .arg(registro, impronta(da_a(1, 3))));
    QCOMPARE(e.esito, 10);
    const QList<QJsonObject> record = righe_json(carica_tutto(registro));
    QCOMPARE(record.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(record[i].value("codice_stato").toString(), QStringLiteral("dato"));
        QCOMPARE(codice_dopo(record[i]), i + 2);
    }
    QVERIFY(
        QTest::qWaitFor([&] { return codici_scritti(sim.ricevuti()).size() >= 2; }, TRACCIA_MS));
    QCOMPARE(senza_zeri(codici_scritti(sim.ricevuti())), (QList<int>{2, 3}));
}

void TstProduzioneCodici::rifiuti_data()
{
    QTest::addColumn<QStringList>("esaurito"); // an earlier run of the same store
    QTest::addColumn<QStringList>("comando");  // %F: a file of codes 7 and 8
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("errore"); // %I: the fingerprint of 7, 8

    QTest::newRow("con --codice")
        << QStringList{}
        << QStringList{"program", "--codici", "1-5", "--codice", "9", "--repeat", "2"} << 2
        << QStringLiteral("m5ctl: --codici and --codice: give one; the plan gives each unit its "
                          "code (see m5ctl --help)\n");
    QTest::newRow("senza corsa")
        << QStringList{} << QStringList{"program", "--codici", "1-5"} << 2
        << QStringLiteral("m5ctl: --codici gives each unit of a run its code: add --repeat N "
                          "(see m5ctl --help)\n");
    // The same codes in the same order, written otherwise, are the same plan.
    QTest::newRow("piano esaurito")
        << QStringList{"program", "--codici", "7-8", "--repeat", "2"}
        << QStringList{"program", "--codici-da", "%F", "--repeat", "1"} << 10
        << QStringLiteral("m5ctl: --codici-da %I: no code left (\"CODICI ESAURITI\") after 0 of "
                          "this run's units, 0 OK; the plan has 2 given, 0 spent; give a new plan "
                          "with --codici or --codici-da\n");
}

void TstProduzioneCodici::rifiuti()
{
    QFETCH(QStringList, esaurito);
    QFETCH(QStringList, comando);
    QFETCH(int, esito);
    QFETCH(QString, errore);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    if (!esaurito.isEmpty()) {
        ProcessoSimulatore prima(SCAMBIO);
        QVERIFY(prima.avvia());
        QCOMPARE(esegui_in(cartella.path(), argomenti_porta(&prima) + esaurito + SILENZIO).esito,
                 0);
    }
    const QString codici = cartella.filePath(QStringLiteral("codici.txt"));
    QVERIFY(salva_file(codici, "# lotto\n7\n\n8\n"));
    comando.replaceInStrings(QStringLiteral("%F"), codici);
    const QString riepilogo = cartella.filePath(QStringLiteral("riepilogo.json"));
    ProcessoSimulatore sim(SCAMBIO + QStringList{QStringLiteral("--summary"), riepilogo});
    QVERIFY(sim.avvia());

    const Esecuzione e = esegui_in(cartella.path(), argomenti_porta(&sim) + comando + SILENZIO);
    QCOMPARE(QString::fromLocal8Bit(e.errori),
             errore.replace(QStringLiteral("%I"), impronta({7, 8})));
    QCOMPARE(e.esito, esito);
    QVERIFY(e.uscita_standard.isEmpty());
    // Refused before the unit: it holds what it held.
    QVERIFY(sim.ricevuti().isEmpty());
    sim.termina();
    const QJsonObject fine = QJsonDocument::fromJson(carica_tutto(riepilogo)).object();
    QCOMPARE(fine.value("dialoghi").toInt(-1), 0);
    QCOMPARE(fine.value("scritture").toInt(-1), 0);
    QCOMPARE(prime(fine.value("celle").toArray(), 63), prime(come_json(blocco(Banda::UHF)), 63));
}

void TstProduzioneCodici::saldo_data()
{
    QTest::addColumn<QStringList>("simulatore");
    QTest::addColumn<QStringList>("comando");
    QTest::addColumn<QList<int>>("codici"); // written in each dialogue; 0 for none
    QTest::addColumn<QStringList>("stati"); // each record's codice_stato
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("errore"); // how the line starts; %P: the port, %I: the plan

    // Refused before any write: the code goes back, and to the next unit.
    QTest::newRow("altra banda")
        << QStringList{"--block", "vhf", "--next-block", "uhf"}
        << QStringList{"--frequenza", "460", "--codici", "5-6", "--repeat", "2"} << QList<int>{0, 5}
        << QStringList{"restituito", "dato"} << 6
        << QStringLiteral("m5ctl: 1 of 2 units failed; the first: %P unit 1: \"Frequenza Fuori "
                          "Banda !\"");
    // Written, then failed: the unit may hold the code, which no other gets.
    QTest::newRow("rilettura diversa")
        << QStringList{"--flip-after-write", "20"}
        << QStringList{"--codici", "5-6", "--repeat", "3"} << QList<int>{5, 6}
        << QStringList{"speso", "speso"} << 10
        << QStringLiteral("m5ctl: --codici %I: no code left (\"CODICI ESAURITI\") after 2 of this "
                          "run's units, 0 OK; the plan has 0 given, 2 spent; the first failure: "
                          "%P unit 1: %P: the read-back differs");
}

void TstProduzioneCodici::saldo()
{
    QFETCH(QStringList, simulatore);
    QFETCH(QStringList, comando);
    QFETCH(QList<int>, codici);
    QFETCH(QStringList, stati);
    QFETCH(int, esito);
    QFETCH(QString, errore);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString registro = cartella.filePath(QStringLiteral("linea.jsonl"));
    ProcessoSimulatore sim(SCAMBIO + simulatore);
    QVERIFY(sim.avvia());
    const Esecuzione e =
        esegui_in(cartella.path(), argomenti_porta(&sim)
                                       << "--log" << registro << "program" << comando << SILENZIO);
    const QString errori = QString::fromLocal8Bit(e.errori);
    errore.replace(QStringLiteral("%P"), sim.percorso())
        .replace(QStringLiteral("%I"), impronta(da_a(5, 6)));
    QVERIFY2(e.esito == esito && errori.startsWith(errore) && errori.count('\n') == 1,
             qPrintable(errori));

    const QList<QByteArray> record = righe(carica_tutto(registro));
    QCOMPARE(record.size(), stati.size());
    for (int i = 0; i < stati.size(); ++i)
        QVERIFY2(chiude_con_piano(record[i], impronta(da_a(5, 6)), stati[i]),
                 record[i].constData());
    QVERIFY(QTest::qWaitFor([&] { return codici_scritti(sim.ricevuti()).size() >= codici.size(); },
                            TRACCIA_MS));
    QCOMPARE(codici_scritti(sim.ricevuti()), codici);
}

void TstProduzioneCodici::etichette_data()
{
    QTest::addColumn<bool>("pieno");
    QTest::addColumn<int>("esito");
    QTest::newRow("cartella") << false << 0;
    QTest::newRow("disco pieno") << true << 0;
    QTest::newRow("stampante assente") << false << 2;
}

// Each OK unit its label, named by its code and record; a label that cannot
// be made marks the record, never the unit's outcome; a printer that is
// not there stops the run before any port.
void TstProduzioneCodici::etichette()
{
    QFETCH(bool, pieno);
    QFETCH(int, esito);

    DiscoPieno disco;
    if (pieno && (!disco.montato() || !disco.riempi()))
        QSKIP("a full disk needs root, to mount a small tmpfs");
    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString destinazione = pieno ? disco.percorso(QString()) : cartella.path();
    const QString registro = cartella.filePath(QStringLiteral("linea.jsonl"));
    ProcessoSimulatore sim(SCAMBIO);
    QVERIFY(sim.avvia());
    const Esecuzione e =
        esegui_in(cartella.path(), argomenti_porta(&sim)
                                       << "--log" << registro << "program"
                                       << "--codici"
                                       << "5-6"
                                       << "--repeat"
                                       << "2"
                                       << "--etichette"
                                       << (esito == 2 ? QStringLiteral("Nessuna") : destinazione)
                                       << SILENZIO);
    QVERIFY2(e.esito == esito, e.errori.constData());
    if (esito != 0) {
        QVERIFY(e.errori.startsWith("m5ctl: --etichette Nessuna: ") && e.errori.count('\n') == 1);
        QVERIFY(sim.ricevuti().isEmpty());
        return;
    }
    for (const QByteArray &riga : righe(carica_tutto(registro))) {
        const QJsonObject r = QJsonDocument::fromJson(riga).object();
        QCOMPARE(r.value("esito").toInt(), 0);
        const QString etichetta = r.value("etichetta").toString();
        const QString file = QStringLiteral("%1/%2-%3.pdf")
                                 .arg(destinazione)
                                 .arg(r.value("celle_dopo").toArray().at(8).toInt())
                                 .arg(r.value("id").toString());
        QVERIFY2(pieno ? etichetta.startsWith(QLatin1String("label not saved"))
                       : etichetta == QLatin1String("stampata"),
                 qPrintable(etichetta));
        QCOMPARE(QFileInfo::exists(file), !pieno);
    }
}

QTEST_GUILESS_MAIN(TstProduzioneCodici)
#include "tst_produzione_codici.moc"
