// SPDX-License-Identifier: GPL-3.0-or-later
// m5ctl at a programming station: unit files, verify, trace, output, logs and reports.
#include "deposito_codici.h"
#include "disco_pieno.h"
#include "esecuzione_m5ctl.h"
#include "riga_traccia.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TstProduzioneFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clona_programma_verifica();
    void file_errato_data();
    void file_errato();
    void banda_del_file();
    void traccia();
    void uscite_data();
    void uscite();
    void disco_pieno();
    void registro_data();
    void registro();
    void rapporto();

private:
    QString percorso(const QString &nome) const { return m_cartella.filePath(nome); }

    QTemporaryDir m_cartella;
};

namespace {
// A UHF unit with a code, a frequency, times and options of its own.
QByteArray unita_campione()
{
    return con_checksum(celle_programmate({0, 1, 230, 20, 0, 136, 1, 4, 210, 0, 1, 20, 5, 1}) +
                        QByteArray("U"));
}

// A simulator holding the given cells (cell 62 included).
std::unique_ptr<ProcessoSimulatore> simulatore(const QString &file, const QByteArray &celle,
                                               const QStringList &altri = {})
{
    QByteArray blocco = celle.left(NUM_CELLE);
    blocco += QByteArray(NUM_CELLE - blocco.size(), '\0');
    if (!salva_file(file, blocco))
        return nullptr;
    auto sim = std::make_unique<ProcessoSimulatore>(QStringList{"--block", file} + altri);
    return sim->avvia() ? std::move(sim) : nullptr;
}
} // namespace

void TstProduzioneFile::initTestCase()
{
    QVERIFY(m_cartella.isValid());
}

void TstProduzioneFile::clona_programma_verifica()
{
    const QString unita = percorso(QStringLiteral("unita.json"));
    auto campione = simulatore(percorso(QStringLiteral("campione")), unita_campione());
    QVERIFY(campione);
    Esecuzione e = esegui(argomenti_porta(campione.get()) << "read"
                                                          << "-o" << unita);
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.uscita_standard, QByteArray());
    const QJsonObject file = interpreta_json(carica_tutto(unita));
    verifica_campi(file, {{"formato", "m5-unita"},
                          {"versione", 1},
                          {"codice", 1234},
                          {"frequenza", "433.925"},
                          {"rele", 20},
                          {"impulsi", 5},
                          {"toni", "bassi"},
                          {"uscite", "imp"},
                          {"trasmettitori", "bidi"},
                          {"banda", "UHF"}});
    // Written aside and renamed: nothing else is left in the folder.
    QCOMPARE(QDir(m_cartella.path()).entryList(QDir::Files).size(), 2);

    // A unit of its own in cells 0 and 4-6: they stay as they were.
    QByteArray propria = blocco(Banda::UHF);
    propria[0] = 7;
    propria[5] = 99;
    auto altra = simulatore(percorso(QStringLiteral("altra")), con_checksum(propria));
    QVERIFY(altra);
    e = esegui(argomenti_porta(altra.get()) << "program"
                                            << "--from" << unita << "--rele"
                                            << "9");
    QCOMPARE(e.esito, 0);
    QByteArray attese = unita_campione().left(CELLA_CKS + 1);
    attese[0] = 7;
    attese[5] = 99;
    attese[11] = 9; // the command line overrides the file
    attese = con_checksum(attese);
    QCOMPARE(interpreta_json(e.uscita_standard).value("celle").toArray(),
             come_json(attese + QByteArray("U")));

    e = esegui(argomenti_porta(altra.get()) << "verify"
                                            << "--from" << unita);
    QCOMPARE(e.esito, 9);
    QCOMPARE(e.errori, QByteArray("m5ctl: rele: file 20, unit 9\n"));
    e = esegui(argomenti_porta(campione.get()) << "verify"
                                               << "--from" << unita);
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.errori, QByteArray());
    QCOMPARE(e.uscita_standard, QByteArray());
}

void TstProduzioneFile::file_errato_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<int>("codice");
    QTest::addColumn<QString>("messaggio");

    const QByteArray buono = "\"formato\":\"m5-unita\",\"versione\":1,\"codice\":12,"
                             "\"frequenza\":\"460\",\"rele\":30,\"impulsi\":3,\"toni\":\"alti\","
                             "\"uscite\":\"mem\",\"trasmettitori\":\"strip\",\"banda\":\"UHF\"";
    auto con = [&buono](const QByteArray &vecchio, const QByteArray &nuovo) {
        QByteArray t = buono;
        return '{' + t.replace(vecchio, nuovo) + '}';
    };
    QTest::newRow("non JSON") << QByteArray("codice=12") << 2 << "not JSON";
    QTest::newRow("un vettore") << QByteArray("[1,2]") << 2 << "not a JSON object";
    QTest::newRow("altro formato") << con("m5-unita", "m6") << 2 << "formato: \"m6\" is not";
    QTest::newRow("versione 2") << con("\"versione\":1", "\"versione\":2") << 2 << "versione";
    QTest::newRow("codice mancante") << con("\"codice\":12,", "") << 2 << "codice: missing";
    QTest::newRow("codice testo") << con("\"codice\":12", "\"codice\":\"12\"") << 2
                                  << "codice: wrong type";
    QTest::newRow("frequenza nulla") << con("\"460\"", "null") << 2 << "frequenza: wrong type";
    QTest::newRow("frequenza 46o") << con("\"460\"", "\"46o\"") << 2 << "frequenza";
    QTest::newRow("toni medi") << con("\"alti\"", "\"medi\"") << 2 << "toni: \"medi\"";
    QTest::newRow("banda LF") << con("\"UHF\"", "\"LF\"") << 2 << "banda";
    QTest::newRow("checksum falso")
        << con("\"banda\"", "\"checksum_ok\":false,\"banda\"") << 2 << "checksum_ok";
    QTest::newRow("codice 5000") << con("\"codice\":12", "\"codice\":5000") << 7
                                 << "codice: 5000 is out of range";
    QTest::newRow("rele 0") << con("\"rele\":30", "\"rele\":0") << 7 << "rele: 0 is out of range";
    QTest::newRow("frequenza 249.5") << con("\"460\"", "\"249.5\"") << 7 << "frequenza";
    QTest::newRow("frequenza fuori griglia")
        << con("\"460\"", "\"460.01\"") << 7
        << "frequenza: \"460.01\" is not a channel of the 12.5 kHz grid; the nearest are 460 and "
           "460.0125";
}

void TstProduzioneFile::file_errato()
{
    QFETCH(QByteArray, testo);
    QFETCH(int, codice);
    QFETCH(QString, messaggio);

    const QString file = percorso(QStringLiteral("errato.json"));
    QVERIFY(salva_file(file, testo));
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    for (const char *comando : {"program", "verify"}) {
        const Esecuzione e = esegui(argomenti_porta(&sim) << comando << "--from" << file);
        QCOMPARE(e.esito, codice);
        QVERIFY2(e.errori.startsWith("m5ctl: --from " + file.toLocal8Bit()) &&
                     e.errori.contains(messaggio.toLocal8Bit()) && e.errori.count('\n') == 1,
                 e.errori.constData());
    }
    // Judged before the port is opened.
    QCOMPARE(sim.ricevuti(), QByteArray());
}

void TstProduzioneFile::banda_del_file()
{
    const QString unita = percorso(QStringLiteral("uhf.json"));
    auto uhf = simulatore(percorso(QStringLiteral("campione")), unita_campione());
    QVERIFY(uhf);
    QCOMPARE(esegui(argomenti_porta(uhf.get()) << "read"
                                               << "-o" << unita)
                 .esito,
             0);

    // Nothing written, and nothing compared: one line, not one per value.
    for (const char *comando : {"program", "verify"}) {
        auto vhf = simulatore(percorso(QStringLiteral("vhf")), blocco(Banda::VHF));
        QVERIFY(vhf);
        const Esecuzione e = esegui(argomenti_porta(vhf.get()) << comando << "--from" << unita);
        QCOMPARE(e.esito, 6);
        QVERIFY2(e.errori.startsWith(
                     "m5ctl: \"Frequenza Fuori Banda !\": " + vhf->percorso().toLocal8Bit() +
                     ": the unit file is for a UHF unit, this unit is VHF") &&
                     e.errori.count('\n') == 1,
                 e.errori.constData());
        QVERIFY(vhf->attendi_ricevuti(static_cast<int>(CONNESSIONE.size() + 1), TRACCIA_MS));
        QCOMPARE(vhf->ricevuti(), CONNESSIONE + "E");
    }
}

void TstProduzioneFile::traccia()
{
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    const QString file = percorso(QStringLiteral("traccia.txt"));
    QCOMPARE(esegui(argomenti_porta(&sim) << "--trace" << file << "read").esito, 0);
    QVERIFY(sim.attendi_ricevuti(static_cast<int>(CONNESSIONE.size() + 1), TRACCIA_MS));

    QByteArray usciti;
    QByteArray entrati;
    for (const QByteArray &riga : carica_tutto(file).split('\n')) {
        if (riga.isEmpty())
            continue;
        const auto b = interpreta_riga_traccia(std::string_view(riga.constData(), riga.size()));
        QVERIFY2(b, riga.constData());
        (b->entrata ? entrati : usciti).append(static_cast<char>(b->byte));
    }
    // Byte for byte what the receiver saw; and what it sent, as far as it was read.
    QCOMPARE(usciti, sim.ricevuti());
    QVERIFY(sim.inviati().contains(entrati));
    QCOMPARE(entrati.size(), CELLA_BANDA + 2); // the ready "K" and 63 cells

    // Opened before the port: nothing reaches the receiver without it.
    ProcessoSimulatore altro;
    QVERIFY(altro.avvia());
    const Esecuzione e =
        esegui(argomenti_porta(&altro) << "--trace" << percorso("manca/traccia") << "read");
    QCOMPARE(e.esito, 3);
    QVERIFY2(e.errori.contains("--trace"), e.errori.constData());
    QCOMPARE(altro.ricevuti(), QByteArray());
}

void TstProduzioneFile::uscite_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QString>("stdout"); // a file for it; empty: a pipe
    QTest::addColumn<int>("codice");
    QTest::addColumn<QString>("messaggio"); // in the one line on stderr
    QTest::addColumn<bool>("dialogo");      // the unit was talked to

    // A rename would put a file in place of the device or the fifo.
    QTest::newRow("-o su un dispositivo")
        << QStringList{"read", "-o", "/dev/full"} << QString() << 2
        << "-o /dev/full: exists and is a character device, not a regular file" << false;
    QTest::newRow("-o su una fifo")
        << QStringList{"read", "-o", "fifo"} << QString() << 2 << "exists and is a fifo" << false;
    QTest::newRow("-o -") << QStringList{"read", "-o", "-"} << QString() << 0 << QString() << true;
    QTest::newRow("stdout pieno") << QStringList{"read"} << "/dev/full" << 3
                                  << "m5ctl: stdout: No space left on device" << true;
    // A run stops as it does for a lost record.
    QTest::newRow("stdout pieno in una corsa")
        << QStringList{"verify", "--from", "fabbrica.json", "--repeat", "2"} << "/dev/full" << 3
        << "m5ctl: 1 unit done, then stdout: cannot write the line of" << true;
    QTest::newRow("traccia piena") << QStringList{"--trace", "/dev/full", "read"} << QString() << 3
                                   << "m5ctl: --trace /dev/full: No space left on device" << true;
    QTest::newRow("--version su stdout pieno")
        << QStringList{"--version"} << "/dev/full" << 3 << "m5ctl: stdout: No space" << false;
}

void TstProduzioneFile::uscite()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QString, stdout);
    QFETCH(int, codice);
    QFETCH(QString, messaggio);
    QFETCH(bool, dialogo);

    const QByteArray fifo = QFile::encodeName(percorso(QStringLiteral("fifo")));
    QVERIFY(QFile::exists(fifo) || ::mkfifo(fifo.constData(), 0600) == 0);
    QVERIFY(salva_file(percorso(QStringLiteral("fabbrica.json")),
                       R"({"formato":"m5-unita","versione":1,"codice":1,"frequenza":"460",)"
                       R"("rele":30,"impulsi":3,"toni":"alti","uscite":"mem",)"
                       R"("trasmettitori":"strip","banda":"UHF"})"));
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.setWorkingDirectory(m_cartella.path());
    if (!stdout.isEmpty())
        m5ctl.setStandardOutputFile(stdout);
    const bool unita = !argomenti.startsWith(QStringLiteral("--version"));
    m5ctl.start(QStringLiteral(M5CTL_PATH),
                (unita ? argomenti_porta(&sim) : QStringList{}) + argomenti);
    QVERIFY(m5ctl.waitForFinished(FINE_MS));
    QCOMPARE(m5ctl.exitCode(), codice);
    const QByteArray errori = m5ctl.readAllStandardError();
    if (codice == 0) {
        QCOMPARE(errori, QByteArray());
        QVERIFY(!interpreta_json(m5ctl.readAllStandardOutput()).isEmpty());
        QVERIFY(!QFile::exists(percorso(QStringLiteral("-"))));
    } else {
        QVERIFY2(errori.contains(messaggio.toLocal8Bit()) && errori.count('\n') == 1,
                 errori.constData());
    }
    QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
    if (dialogo)
        QVERIFY(sim.attendi_ricevuti(static_cast<int>(CONNESSIONE.size() + 1), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), dialogo ? CONNESSIONE + "E" : QByteArray());
}

void TstProduzioneFile::disco_pieno()
{
    DiscoPieno disco;
    if (!disco.montato())
        QSKIP("needs root to mount a small tmpfs");
    const QString unita = disco.percorso(QStringLiteral("golden.json"));
    const QString file_uscita_standard = disco.percorso(QStringLiteral("uscita.json"));
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    QCOMPARE(esegui(argomenti_porta(&sim) << "read"
                                          << "-o" << unita)
                 .esito,
             0);
    const QByteArray buono = carica_tutto(unita);
    QVERIFY(!interpreta_json(buono).isEmpty());
    // A log a few bytes short of its page, so that a record finds room for its start only.
    const QString registro = disco.percorso(QStringLiteral("registro.jsonl"));
    QByteArray righe;
    while (righe.size() < 4000)
        righe += "{\"esistente\":true}\n";
    QVERIFY(salva_file(registro, righe));
    QVERIFY(disco.riempi());

    // The file is whole or untouched, and the line says which file and why.
    Esecuzione e = esegui(argomenti_porta(&sim) << "read"
                                                << "-o" << unita);
    QCOMPARE(e.esito, 3);
    QCOMPARE(e.errori, "m5ctl: -o " + unita.toLocal8Bit() +
                           ": No space left on device; the file was left as it was\n");
    QCOMPARE(carica_tutto(unita), buono);

    QProcess m5ctl;
    m5ctl.setStandardOutputFile(file_uscita_standard);
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << "read");
    QVERIFY(m5ctl.waitForFinished(FINE_MS));
    QCOMPARE(m5ctl.exitCode(), 3);
    QVERIFY(m5ctl.readAllStandardError().startsWith("m5ctl: stdout: No space left on device"));

    // A record is whole or absent.
    e = esegui(argomenti_porta(&sim) << "--log" << registro << "read");
    QCOMPARE(e.esito, 3);
    QVERIFY2(
        e.errori.startsWith("m5ctl: --log " + registro.toLocal8Bit() + ": No space left on device"),
        e.errori.constData());
    QCOMPARE(carica_tutto(registro), righe);
}

void TstProduzioneFile::registro_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("prima"); // what the log holds before
    QTest::addColumn<int>("codice");
    QTest::addColumn<bool>("dialogo"); // the unit was talked to

    const QByteArray esistente = "{\"esistente\":true}\n";
    QTest::newRow("aggiunto") << QStringLiteral("registro.jsonl") << esistente << 0 << true;
    // A run that died in the middle of a record: ours starts on a line of its own.
    QTest::newRow("ultima riga spezzata")
        << QStringLiteral("spezzato.jsonl") << esistente + "{\"ora\":\"2026-" << 0 << true;
    QTest::newRow("cartella mancante")
        << QStringLiteral("manca/registro.jsonl") << QByteArray() << 3 << false;
    QTest::newRow("disco pieno") << QStringLiteral("/dev/full") << QByteArray() << 3 << true;
}

void TstProduzioneFile::registro()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, prima);
    QFETCH(int, codice);
    QFETCH(bool, dialogo);

    const QString registro = file.startsWith('/') ? file : percorso(file);
    if (!prima.isEmpty())
        QVERIFY(salva_file(registro, prima));
    // The unit announces itself 3 s after the one "K" that m5ctl finds waiting and drops.
    ProcessoSimulatore sim({QStringLiteral("--announce-ms"), QStringLiteral("3000")});
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui(argomenti_porta(&sim) << "--log" << registro << "program"
                                                      << "--codice"
                                                      << "9");
    QCOMPARE(e.esito, codice);
    QCOMPARE(sim.ricevuti().isEmpty(), !dialogo);
    if (codice != 0) {
        QVERIFY2(e.errori.contains("--log") && e.errori.count('\n') == 1, e.errori.constData());
        return;
    }
    // Appended, never truncated, one record with every field.
    const QByteArray testo = carica_tutto(registro);
    const bool spezzato = !prima.endsWith('\n');
    QVERIFY(testo.startsWith(spezzato ? prima + '\n' : prima));
    QCOMPARE(e.errori, spezzato ? "m5ctl: warning: --log " + registro.toLocal8Bit() +
                                      ": its last line is torn (no newline at its end); the "
                                      "records of this run start on a new line\n"
                                : QByteArray());
    const QList<QJsonObject> righe = righe_json(testo.mid(prima.size() + (spezzato ? 1 : 0)));
    QCOMPARE(righe.size(), 1);
    const QJsonObject r = righe.first();
    QCOMPARE(r.keys(), (QStringList{"attesa_s", "celle_dopo", "celle_prima", "comando", "durata_s",
                                    "esito", "id", "messaggio", "ora", "porta", "unita"}));
    // The record's own UUID, a field added at the end.
    QVERIFY2(QRegularExpression(
                 QStringLiteral(",\"id\":\"[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\"}$"))
                 .match(QString::fromUtf8(testo).trimmed())
                 .hasMatch(),
             testo.constData());
    // The dialogue, from the "K" to the "E", apart from the wait before it.
    QVERIFY2(r.value("attesa_s").toDouble() >= 1 &&
                 r.value("durata_s").toDouble() < r.value("attesa_s").toDouble(),
             testo.constData());
    QVERIFY(QRegularExpression(QStringLiteral("\"durata_s\":[0-9.e-]+,\"attesa_s\":"))
                .match(QString::fromUtf8(testo))
                .hasMatch());
    QVERIFY(QDateTime::fromString(r.value("ora").toString(), Qt::ISODateWithMs).isValid());
    QVERIFY(r.value("ora").toString().endsWith('Z'));
    QCOMPARE(r.value("comando").toString(), QStringLiteral("program"));
    QCOMPARE(r.value("esito").toInt(), 0);
    QCOMPARE(r.value("celle_prima").toArray(), come_json(blocco(Banda::UHF).left(63)));
    QCOMPARE(r.value("celle_dopo").toArray().at(8).toInt(), 9);
}

void TstProduzioneFile::rapporto()
{
    // The store of codes that m5ctl looks in: none yet, and none to be made.
    const QString dati = percorso(QStringLiteral("dati"));
    const std::optional<QByteArray> xdg_prima = qEnvironmentVariableIsSet("XDG_DATA_HOME")
                                                    ? std::optional(qgetenv("XDG_DATA_HOME"))
                                                    : std::nullopt;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dati));
    const auto ripristina = qScopeGuard([&] {
        if (xdg_prima)
            qputenv("XDG_DATA_HOME", *xdg_prima);
        else
            qunsetenv("XDG_DATA_HOME");
    });
    const auto piano = std::get<PianoCodici>(PianoCodici::da_intervallo("1-5", "--codici"));
    const QByteArray impronta = piano.impronta().toLatin1();

    // Two ports, each kind of record, a record of a later m5ctl, a torn line;
    // codes of two plans, one of them known to the store.
    QByteArray codice_1234 = blocco(Banda::UHF).left(CELLA_BANDA + 1);
    codice_1234[7] = 4;
    codice_1234[8] = static_cast<char>(210);
    const QByteArray celle = QJsonDocument(come_json(codice_1234)).toJson(QJsonDocument::Compact);
    const QByteArray registro =
        R"({"ora":"2026-12-07T08:00:00.000Z","porta":"/dev/ttyUSB0","comando":"program","unita":1,)"
        R"("esito":0,"messaggio":"OK","celle_prima":null,"celle_dopo":)" +
        celle + R"(,"durata_s":4.5,"piano":")" + impronta + R"(","codice_stato":"dato"})" + "\n" +
        R"({"ora":"2026-12-07T08:10:00.000Z","porta":"/dev/ttyUSB1","comando":"read","unita":1,)"
        R"("esito":0,"messaggio":"OK","celle_prima":)" +
        celle + R"(,"celle_dopo":null,"durata_s":1})" + "\n" +
        R"({"ora":"2026-12-07T08:30:00.000Z","porta":"/dev/ttyUSB0","comando":"program","unita":2,)"
        R"("esito":5,"messaggio":"\"Errore di Lettura\": a, b","celle_prima":[0,2],)"
        R"("celle_dopo":null,"durata_s":2,"posto":3,"presa":"a,b","operatore":"Anna","profilo":"0a1b2c3d",)"
        R"("stazione":"banco-1","piano":")" +
        impronta + R"(","codice_stato":"speso"})" + "\n" +
        R"({"ora":"2026-12-07T09:00:00.000Z","porta":"/dev/ttyUSB0","comando":"program","unita":3,)"
        R"("esito":130,"messaggio":"interrupted","celle_prima":null,"celle_dopo":null,)"
        R"("durata_s":0.3,"piano":"9f8e7d6c","codice_stato":"restituito"})" +
        "\n" + R"({"ora":"2026-12-07T08:3)" + "\n" +
        R"({"ora":"2026-12-07T10:00:00.000Z","porta":"/dev/ttyUSB0","comando":"verify","unita":4,)"
        R"("esito":0,"messaggio":"OK","celle_prima":)" +
        celle + R"(,"celle_dopo":null,"durata_s":0.8,"attesa_s":4})" + "\n";
    const QString file = percorso(QStringLiteral("stazione.jsonl"));
    QVERIFY(salva_file(file, registro));

    Esecuzione e = esegui({"report", file});
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.errori, QByteArray());
    QList<QStringList> righe;
    for (const QString &riga : QString::fromUtf8(e.uscita_standard).split('\n', Qt::SkipEmptyParts))
        righe << riga.split(QRegularExpression(QStringLiteral("\\s{2,}")));
    QCOMPARE(righe.size(), 8);
    QCOMPARE(righe[1], (QStringList{"/dev/ttyUSB0", "4", "2", "1", "1", "66.7%", "2.0",
                                    "2026-12-07T08:00:00Z", "2026-12-07T10:00:00Z", "2:00:00"}));
    QCOMPARE(righe[2].mid(0, 7), (QStringList{"/dev/ttyUSB1", "1", "1", "0", "0", "100.0%", "-"}));
    QCOMPARE(righe[3].mid(0, 7), (QStringList{"total", "5", "3", "1", "1", "75.0%", "2.5"}));
    QCOMPARE(righe[4], (QStringList{"PLAN", "GIVEN", "SPENT", "RETURNED", "FREE"}));
    QCOMPARE(righe[5], (QStringList{piano.impronta(), "1", "1", "0", "-"}));
    QCOMPARE(righe[6], (QStringList{"9f8e7d6c", "0", "0", "1", "-"}));
    QCOMPARE(righe[7].join(' '), QStringLiteral("1 torn or malformed line skipped (line 5)"));
    QVERIFY(!QFileInfo::exists(dati));

    // The store knows one plan: its free codes, the other's still unknown.
    {
        auto aperto = DepositoCodici::apri(dati + QStringLiteral("/m5config/codici.sqlite"), {},
                                           QStringLiteral("prova"));
        const auto *rifiuto = std::get_if<QString>(&aperto);
        QVERIFY2(!rifiuto, qPrintable(rifiuto ? *rifiuto : QString()));
        QString errore;
        QVERIFY2(std::get<0>(aperto)->registra(piano, errore), qPrintable(errore));
    }
    e = esegui({"report", file});
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.errori, QByteArray());
    QVERIFY2(QString::fromUtf8(e.uscita_standard)
                 .contains(QRegularExpression(
                     QStringLiteral("\\n%1 +1 +1 +0 +5\\n9f8e7d6c +0 +0 +1 +-\\n")
                         .arg(piano.impronta()))),
             e.uscita_standard.constData());

    e = esegui({"report", file, "--csv"});
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.errori, "m5ctl: warning: report " + file.toLocal8Bit() +
                           ": 1 torn or malformed line skipped (line 5)\n");
    const QList<QByteArray> csv = e.uscita_standard.split('\n');
    QCOMPARE(csv.size(), 7);
    QCOMPARE(csv[0], "ora,porta,unita,comando,esito,messaggio,codice,frequenza,durata_s,"
                     "posto,presa,operatore,profilo,id,stazione,piano,codice_stato");
    QCOMPARE(csv[1], "2026-12-07T08:00:00.000Z,/dev/ttyUSB0,1,program,0,OK,1234,460,4.5,,,,,,," +
                         impronta + ",dato");
    QCOMPARE(csv[3], "2026-12-07T08:30:00.000Z,/dev/ttyUSB0,2,program,5,"
                     "\"\"\"Errore di Lettura\"\": a, b\",,,2,3,\"a,b\",Anna,0a1b2c3d,,banco-1," +
                         impronta + ",speso");

    // Not a log at all.
    e = esegui({"report", QStringLiteral(M5CTL_PATH)});
    QCOMPARE(e.esito, 2);
    QVERIFY2(e.errori.contains("no m5ctl record in it") && e.errori.count('\n') == 1,
             e.errori.constData());
}

QTEST_GUILESS_MAIN(TstProduzioneFile)
#include "tst_produzione_file.moc"
