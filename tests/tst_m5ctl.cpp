// SPDX-License-Identifier: GPL-3.0-or-later
#include "esecuzione_m5ctl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// m5ctl as the user runs it, against m5sim on a pty: exit status, stdout,
// stderr, and every byte the simulated receiver saw.
class TstM5ctl : public QObject
{
    Q_OBJECT

private slots:
    void lettura_data();
    void lettura();
    void programmazione_data();
    void programmazione();
    void inizializzazione_data();
    void inizializzazione();
    void esiti_data();
    void esiti();
    void argomento_ostile();
    void frequenza_illeggibile();
    void interruzione_data();
    void interruzione();
};

void TstM5ctl::lettura_data()
{
    QTest::addColumn<QByteArray>("memoria");
    QTest::addColumn<QJsonObject>("attesi");

    QTest::newRow("uhf") << blocco(Banda::UHF)
                         << QJsonObject{{"codice", 1},
                                        {"frequenza", "460"},
                                        {"rele", 30},
                                        {"impulsi", 3},
                                        {"toni", "alti"},
                                        {"uscite", "mem"},
                                        {"trasmettitori", "strip"},
                                        {"banda", "UHF"},
                                        {"checksum_ok", true}};
    QTest::newRow("vhf") << blocco(Banda::VHF)
                         << QJsonObject{{"codice", 1},
                                        {"frequenza", "161"},
                                        {"rele", 30},
                                        {"impulsi", 3},
                                        {"toni", "alti"},
                                        {"uscite", "mem"},
                                        {"trasmettitori", "strip"},
                                        {"banda", "VHF"},
                                        {"checksum_ok", true}};

    // Synthesiser words outside both windows, unknown band letter, a tone
    // value that is neither 0 nor 1, and a reserved cell that is not zero.
    QByteArray strana = blocco(Banda::UHF);
    strana[0] = 7;
    strana[1] = 0;
    strana[2] = 10;
    strana[3] = 1;
    strana[7] = 16;
    strana[8] = 0;
    strana[9] = 2;
    strana[10] = 1;
    strana[11] = static_cast<char>(255);
    strana[12] = 0;
    strana[13] = 1;
    strana[30] = 77;
    strana[CELLA_BANDA] = 'X';
    QTest::newRow("valori insoliti") << con_checksum(strana)
                                     << QJsonObject{{"codice", 4096},
                                                    {"frequenza", QJsonValue::Null},
                                                    {"rele", 255},
                                                    {"impulsi", 0},
                                                    {"toni", 2},
                                                    {"uscite", "imp"},
                                                    {"trasmettitori", "bidi"},
                                                    {"banda", QJsonValue::Null},
                                                    {"checksum_ok", true}};

    // Band letter and frequency are judged apart.
    QByteArray incrociata = blocco(Banda::UHF);
    incrociata[8] = 0;
    incrociata[13] = 3;
    incrociata[CELLA_BANDA] = 'V';
    QTest::newRow("uhf con lettera vhf") << con_checksum(incrociata)
                                         << QJsonObject{{"codice", 0},
                                                        {"frequenza", "460"},
                                                        {"trasmettitori", 3},
                                                        {"banda", "VHF"},
                                                        {"checksum_ok", true}};
}

void TstM5ctl::lettura()
{
    QFETCH(QByteArray, memoria);
    QFETCH(QJsonObject, attesi);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const QString file = cartella.filePath(QStringLiteral("blocco"));
    QVERIFY(salva_file(file, memoria));

    ProcessoSimulatore sim({QStringLiteral("--block"), file});
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui(argomenti_porta(&sim) << QStringLiteral("read"));
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.errori, QByteArray()); // no tty: no progress, and nothing went wrong
    const QJsonObject json = interpreta_json(e.uscita_standard);
    verifica_campi(json, attesi);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(json.value("celle").toArray(), come_json(memoria.left(CELLA_BANDA + 1)));

    const QByteArray atteso = CONNESSIONE + "E";
    QVERIFY(sim.attendi_ricevuti(atteso.size(), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), atteso);
}

void TstM5ctl::programmazione_data()
{
    QTest::addColumn<QString>("memoria");
    QTest::addColumn<QStringList>("modifiche");
    QTest::addColumn<QByteArray>("celle");
    QTest::addColumn<QJsonObject>("attesi");

    QTest::newRow("stessi valori")
        << "uhf" << QStringList{"--codice", "1"} << blocco(Banda::UHF).left(CELLA_CKS + 1)
        << QJsonObject{{"codice", 1}, {"frequenza", "460"}, {"toni", "alti"}};
    QTest::newRow("tutto") << "uhf"
                           << QStringList{"--codice",        "4096",  "--frequenza", "445.5",
                                          "--rele",          "255",   "--impulsi",   "1",
                                          "--toni",          "bassi", "--uscite",    "imp",
                                          "--trasmettitori", "bidi"}
                           << celle_programmate({0, 1, 244, 80, 0, 136, 1, 16, 0, 0, 1, 255, 1, 1})
                           << QJsonObject{{"codice", 4096},
                                          {"frequenza", "445.5"},
                                          {"rele", 255},
                                          {"impulsi", 1},
                                          {"toni", "bassi"},
                                          {"uscite", "imp"},
                                          {"trasmettitori", "bidi"},
                                          {"banda", "UHF"},
                                          {"checksum_ok", true}};
    QTest::newRow("vhf") << "vhf" << QStringList{"--frequenza", "160.9125", "--codice", "300"}
                         << celle_programmate({0, 0, 227, 114, 0, 136, 1, 1, 44, 1, 0, 30, 3, 0})
                         << QJsonObject{
                                {"codice", 300}, {"frequenza", "160.9125"}, {"banda", "VHF"}};
    QTest::newRow("canale uhf") << "uhf" << QStringList{"--frequenza", "433.925"}
                                << celle_programmate(
                                       {0, 1, 230, 20, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0})
                                << QJsonObject{{"frequenza", "433.925"}};
}

void TstM5ctl::programmazione()
{
    QFETCH(QString, memoria);
    QFETCH(QStringList, modifiche);
    QFETCH(QByteArray, celle);
    QFETCH(QJsonObject, attesi);

    ProcessoSimulatore sim({QStringLiteral("--block"), memoria});
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui(argomenti_porta(&sim) << QStringLiteral("program") << modifiche);
    QCOMPARE(e.esito, 0);
    QCOMPARE(e.errori, QByteArray());
    const QJsonObject json = interpreta_json(e.uscita_standard);
    verifica_campi(json, attesi);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(prime(json.value("celle").toArray(), CELLA_CKS + 1), come_json(celle));

    const QByteArray atteso = CONNESSIONE + record_scrittura(celle) + richieste_lettura() + "E";
    QVERIFY(sim.attendi_ricevuti(atteso.size(), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), atteso);
}

void TstM5ctl::inizializzazione_data()
{
    QTest::addColumn<QByteArray>("memoria");
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("celle");
    QTest::addColumn<QJsonObject>("attesi");

    const QJsonObject fabbrica{{"codice", 1},        {"rele", 30},      {"impulsi", 3},
                               {"toni", "alti"},     {"uscite", "mem"}, {"trasmettitori", "strip"},
                               {"checksum_ok", true}};
    QJsonObject uhf = fabbrica;
    uhf.insert("frequenza", "460");
    uhf.insert("banda", "UHF");
    QJsonObject vhf = fabbrica;
    vhf.insert("frequenza", "161");
    vhf.insert("banda", "VHF");
    QTest::newRow("uhf su uhf") << blocco(Banda::UHF) << QStringList{"uhf"} << blocco(Banda::UHF)
                                << uhf;
    QTest::newRow("uhf su vhf, cambiando banda")
        << blocco(Banda::VHF) << QStringList{"uhf", "--change-band"} << blocco(Banda::UHF) << uhf;
    QTest::newRow("vhf su uhf, cambiando banda")
        << blocco(Banda::UHF) << QStringList{"--change-band", "vhf"} << blocco(Banda::VHF) << vhf;
    // A letter that is neither band's: initialised as asked.
    QByteArray ignota = blocco(Banda::UHF);
    ignota[CELLA_BANDA] = 'X';
    QTest::newRow("vhf su banda ignota")
        << ignota << QStringList{"vhf"} << blocco(Banda::VHF) << vhf;
}

void TstM5ctl::inizializzazione()
{
    QFETCH(QByteArray, memoria);
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, celle);
    QFETCH(QJsonObject, attesi);

    QTemporaryDir cartella;
    const QString file = cartella.filePath(QStringLiteral("blocco"));
    QVERIFY(salva_file(file, memoria));
    ProcessoSimulatore sim({QStringLiteral("--block"), file});
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui(argomenti_porta(&sim) << QStringLiteral("init") << argomenti);
    QCOMPARE(e.esito, 0);
    const QJsonObject json = interpreta_json(e.uscita_standard);
    verifica_campi(json, attesi);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(json.value("celle").toArray(), come_json(celle.left(CELLA_BANDA + 1)));

    const QByteArray scritti = record_scrittura(celle);
    QCOMPARE(scritti.size(), 192);
    const QByteArray atteso = CONNESSIONE + scritti + richieste_lettura() + "E";
    QVERIFY(sim.attendi_ricevuti(atteso.size(), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), atteso);
}

void TstM5ctl::esiti_data()
{
    QTest::addColumn<QStringList>("simulatore"); // empty: no receiver at all
    QTest::addColumn<QStringList>("comando");
    QTest::addColumn<int>("codice");
    QTest::addColumn<QString>("messaggio"); // what the one line on stderr must contain
    QTest::addColumn<bool>("json");
    QTest::addColumn<QByteArray>("ricevuti");

    const QString porta = QStringLiteral("\"Errore!!  Porta Seriale Guasta o Mancante \": ");
    const QString lettura = QStringLiteral("\"Errore di Lettura nei Parametri, Riprovare \": ");
    const QString time_out = QStringLiteral("\"Errore TIME OUT   \": ");
    const QStringList uhf{"--block", "uhf"};
    const QByteArray rilettura = richieste_lettura();

    QTest::newRow("porta mancante")
        << QStringList{} << QStringList{"read"} << 3
        << porta + "/dev/m5-nessuna-porta: No such file or directory; check the cable" << false
        << QByteArray();
    QTest::newRow("file regolare")
        << QStringList{} << QStringList{"--port", M5CTL_PATH, "read"} << 3
        << QStringLiteral("a regular file, not a serial port") << false << QByteArray();
    QTest::newRow("linea caduta durante la lettura")
        << QStringList{"--hangup-after", "40"} << QStringList{"read"} << 3 << porta + "/dev/pts/"
        << false << CONNESSIONE.left(40);
    const qsizetype in_rilettura = CONNESSIONE.size() + 186 + 20;
    QTest::newRow("linea caduta durante la rilettura")
        << QStringList{"--hangup-after", QString::number(in_rilettura)}
        << QStringList{"program", "--codice", "9"} << 3
        << QStringLiteral("the line went away during the read-back") << false
        << (CONNESSIONE + record_scrittura(celle_programmata_codice(9)) + rilettura)
               .left(in_rilettura);

    // The port is open while waiting for the "K", so the dialogue still ends.
    QTest::newRow("--wait, ricevitore muto")
        << QStringList{"--silent"} << QStringList{"--wait", "0.3", "read"} << 4
        << time_out + "/dev/pts/" << false << QByteArray("E");
    // A read reply waits no longer than an acknowledgement.
    QTest::newRow("risposta di lettura mancante")
        << QStringList{"--reply-delay-ms", "4500"} << QStringList{"read"} << 4
        << QStringLiteral("no reply to the read of cell 0 within 4000 ms") << false
        << QByteArray("UR\0E", 4);
    // The time-out closes the port: nobody left to send "E" to.
    QTest::newRow("scrittura senza conferma")
        << QStringList{"--no-ack-from", "3"} << QStringList{"program", "--codice", "9"} << 4
        << QStringLiteral("the write of cell 3 was not acknowledged within 4000 ms; the unit is "
                          "partly programmed: program it again")
        << false << CONNESSIONE + record_scrittura(blocco(Banda::UHF).left(4));

    QTest::newRow("checksum errato in lettura")
        << QStringList{"--corrupt-cell", "7"} << QStringList{"read"} << 5 << lettura + "/dev/pts/"
        << true << CONNESSIONE + "E";
    QTest::newRow("programmazione dopo una lettura errata")
        << QStringList{"--corrupt-cell", "7"} << QStringList{"program", "--codice", "9"} << 5
        << lettura + "/dev/pts/" << false << CONNESSIONE + "E";

    const QString banda = QStringLiteral("\"Frequenza Fuori Banda !\"");
    QTest::newRow("161 su unità UHF") << uhf << QStringList{"program", "--frequenza", "161"} << 6
                                      << banda + ": /dev/pts/" << false << CONNESSIONE + "E";
    QTest::newRow("300 su unità VHF, i limiti")
        << QStringList{"--block", "vhf"} << QStringList{"program", "--frequenza", "300"} << 6
        << "300 MHz is not in the unit's VHF band, 100-227.6 MHz" << false << CONNESSIONE + "E";
    // Cell 62 is outside the checksum: a garbled band letter reads as no band.
    // The window converts the unit at one click; m5ctl asks for --change-band.
    QTest::newRow("init vhf su unità UHF") << uhf << QStringList{"init", "vhf"} << 6
                                           << banda + ": /dev/pts/" << false << CONNESSIONE + "E";
    QTest::newRow("init uhf su unità VHF")
        << QStringList{"--block", "vhf"} << QStringList{"init", "uhf"} << 6
        << "the unit reports the other band, VHF (cell 62 holds \"V\"); nothing was written; "
           "init uhf --change-band"
        << false << CONNESSIONE + "E";
    QTest::newRow("frequenza su unità di banda ignota")
        << QStringList{"--corrupt-cell", "62"} << QStringList{"program", "--frequenza", "433"} << 6
        << "the unit reports no band (cell 62 holds" << false << CONNESSIONE + "E";

    // Values are judged before the port is touched.
    const QList<std::tuple<const char *, QStringList, int, QString>> rifiuti = {
        {"codice 5000", {"program", "--codice", "5000"}, 7, "--codice: \"5000\" is out of range"},
        {"codice 0", {"program", "--codice", "0"}, 7, "from 1 to 4096"},
        {"rele 256", {"program", "--rele", "256"}, 7, "--rele: \"256\" is out of range"},
        {"impulsi 0300", {"program", "--impulsi", "0300"}, 7, "from 1 to 255"},
        {"frequenza 249.5", {"program", "--frequenza", "249.5"}, 7, "100-227.6 (VHF) or 295-500"},
        // No unit takes it: in the UHF window, but its oscillator value is not.
        {"frequenza 281", {"program", "--frequenza", "281"}, 7, "--frequenza: \"281\" is out"},
        {"frequenza 600", {"program", "--frequenza", "600"}, 7, "--frequenza: \"600\""},
        // The window would program 160.9125 unsaid.
        {"frequenza fuori griglia",
         {"program", "--frequenza", "160.91"},
         7,
         "--frequenza: \"160.91\" is not a channel of the 12.5 kHz grid; the nearest are 160.9 "
         "and 160.9125"},
        {"frequenza appena fuori griglia",
         {"program", "--frequenza", "440.91250001"},
         7,
         "the nearest are 440.9125 and 440.925"},
        {"frequenza 460.5.5", {"program", "--frequenza", "460.5.5"}, 2, "\"460.5.5\" is not valid"},
        {"frequenza 460..5", {"program", "--frequenza", "460..5"}, 2, "\"460..5\" is not valid"},
        {"frequenza con la virgola", {"program", "--frequenza", "433,92"}, 2, "--frequenza"},
        {"codice vuoto", {"program", "--codice", ""}, 2, "--codice: empty value"},
        {"codice con una lettera", {"program", "--codice", "12a"}, 2, "--codice"},
        {"tempo negativo", {"program", "--rele", "-1"}, 2, "--rele"},
        {"opzione sconosciuta", {"program", "--toni", "medi"}, 2, "alti or bassi"},
        {"niente da programmare", {"program"}, 2, "nothing to program"},
        {"opzione di program in read", {"read", "--codice", "1"}, 2, "not an option of read"},
        {"comando sconosciuto", {"erase"}, 2, "unknown command \"erase\""},
        {"nessun comando", {}, 2, "no command"},
        {"init senza banda", {"init"}, 2, "uhf or vhf"},
        {"init banda errata", {"init", "lf"}, 2, "uhf or vhf"},
        {"com fuori scala", {"--com", "9", "read"}, 7, "--com: \"9\" is out of range"},
        {"com non numerico", {"--com", "nove", "read"}, 2, "--com: \"nove\" is not valid"},
        {"wait non numerico", {"--wait", "presto", "read"}, 2, "--wait"},
        // No short option may turn a command into something else.
        {"-v non è --version", {"-v", "program", "--codice", "5"}, 2, "unknown option \"-v\""},
        {"--version con un comando", {"--version", "program", "--codice", "5"}, 2, "alone"},
        {"--help con un comando", {"program", "--codice", "5", "--help"}, 2, "alone"},
        {"--help-all", {"--help-all"}, 2, "unknown option"},
        {"verify senza file", {"verify"}, 2, "--from"},
        {"-o con due porte", {"--com", "2", "--com", "3", "read", "-o", "x"}, 2, "one port only"},
        {"stessa porta due volte", {"--com", "2", "--com", "2", "read"}, 2, "given twice"},
    };
    for (const auto &[nome, comando, codice, messaggio] : rifiuti)
        QTest::newRow(nome) << uhf << comando << codice << messaggio << false << QByteArray();

    // Every cell written is compared with its read-back, also those outside the checksum.
    QTest::newRow("rilettura diversa: inizializzazione")
        << QStringList{"--corrupt-cell", "20"} << QStringList{"init", "uhf"} << 8
        << QStringLiteral("cell 20 was written as 0 and reads 90") << true
        << CONNESSIONE + record_scrittura(blocco(Banda::UHF)) + rilettura + "E";
    QTest::newRow("rilettura diversa: programmazione")
        << QStringList{"--corrupt-cell", "30"} << QStringList{"program", "--codice", "9"} << 8
        << QStringLiteral("cell 30 was written as 0 and reads 90") << true
        << CONNESSIONE + record_scrittura(celle_programmata_codice(9)) + rilettura + "E";
}

void TstM5ctl::esiti()
{
    QFETCH(QStringList, simulatore);
    QFETCH(QStringList, comando);
    QFETCH(int, codice);
    QFETCH(QString, messaggio);
    QFETCH(bool, json);
    QFETCH(QByteArray, ricevuti);

    std::unique_ptr<ProcessoSimulatore> sim;
    if (!simulatore.isEmpty()) {
        sim = std::make_unique<ProcessoSimulatore>(simulatore);
        QVERIFY(sim->avvia());
    }
    // --com and --port replace the simulator's port, as on a real command line.
    const bool propria =
        comando.contains(QStringLiteral("--com")) || comando.contains(QStringLiteral("--port"));
    const Esecuzione e = esegui((propria ? QStringList{} : argomenti_porta(sim.get())) + comando);
    QCOMPARE(e.esito, codice);
    // Exactly one line, naming what went wrong.
    const QString errori = QString::fromLocal8Bit(e.errori);
    QVERIFY2(errori.startsWith(QStringLiteral("m5ctl: ")) && errori.count('\n') == 1,
             qPrintable(errori));
    QVERIFY2(errori.contains(messaggio), qPrintable(errori));
    if (json)
        QVERIFY(!interpreta_json(e.uscita_standard).isEmpty());
    else
        QCOMPARE(e.uscita_standard, QByteArray());

    if (!sim)
        return;
    if (!ricevuti.isEmpty())
        QVERIFY(sim->attendi_ricevuti(ricevuti.size(), TRACCIA_MS));
    QCOMPARE(sim->ricevuti(), ricevuti);
}

void TstM5ctl::argomento_ostile()
{
    // A hostile value is refused and quoted short, not echoed whole.
    const QString lungo(100'000, QLatin1Char('9'));
    const Esecuzione e = esegui({"--port", "/dev/m5-nessuna-porta", "program", "--codice", lungo});
    QCOMPARE(e.esito, 7);
    QVERIFY2(e.errori.size() < 200, e.errori.constData());
}

void TstM5ctl::frequenza_illeggibile()
{
    // Cells 1-3 in neither window and no band letter: the window would warn, then
    // program 0 MHz. m5ctl leaves the unit alone, and with no band known it takes
    // no frequency either.
    QByteArray celle = blocco(Banda::UHF);
    celle[1] = 0;
    celle[2] = 10;
    celle[3] = 1;
    celle[CELLA_BANDA] = 'X';
    QTemporaryDir cartella;
    const QString file = cartella.filePath(QStringLiteral("blocco"));
    QVERIFY(salva_file(file, con_checksum(celle)));
    ProcessoSimulatore sim({QStringLiteral("--block"), file});
    QVERIFY(sim.avvia());
    Esecuzione e = esegui(argomenti_porta(&sim) << "program"
                                                << "--codice"
                                                << "9");
    QCOMPARE(e.esito, 7);
    QVERIFY2(e.errori.contains("\"Frequenza RX fuori range!\"") &&
                 e.errori.contains("cells 1-3: 0, 10, 1") && e.errori.contains("init uhf|vhf") &&
                 e.errori.count('\n') == 1,
             e.errori.constData());
    QVERIFY(sim.attendi_ricevuti(static_cast<int>(CONNESSIONE.size() + 1), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), CONNESSIONE + "E");

    e = esegui(argomenti_porta(&sim) << "program"
                                     << "--codice"
                                     << "9"
                                     << "--frequenza"
                                     << "460");
    QCOMPARE(e.esito, 6);
}

void TstM5ctl::interruzione_data()
{
    QTest::addColumn<QStringList>("simulatore");
    QTest::addColumn<QStringList>("comando");
    QTest::addColumn<int>("segnale");
    QTest::addColumn<QByteArray>("prima");  // received before the signal goes
    QTest::addColumn<QString>("messaggio"); // the line ends with it

    const QStringList leggi{"read"};
    // No unit answered: there was no dialogue to end.
    const QString in_attesa = QStringLiteral(": interrupted while waiting for the receiver to "
                                             "announce itself\n");
    QTest::newRow("Ctrl-C in attesa del K")
        << QStringList{"--silent"} << leggi << SIGINT << QByteArray() << in_attesa;
    QTest::newRow("SIGTERM in attesa del K")
        << QStringList{"--silent"} << leggi << SIGTERM << QByteArray() << in_attesa;
    QTest::newRow("Ctrl-C in attesa di una cella")
        << QStringList{"--reply-delay-ms", "3000"} << leggi << SIGINT << QByteArray("UR\0", 3)
        << QStringLiteral(": interrupted; the dialogue was ended with \"E\"\n");
    const QByteArray cinque = CONNESSIONE + record_scrittura(blocco(Banda::UHF).left(5));
    QTest::newRow("Ctrl-C durante la programmazione")
        << QStringList{"--no-ack-from", "4"} << QStringList{"program", "--codice", "1"} << SIGINT
        << cinque
        << QStringLiteral(": interrupted; the dialogue was ended with \"E\"; the unit is partly "
                          "programmed: program it again\n");
    QTest::newRow("Ctrl-C durante l'inizializzazione")
        << QStringList{"--no-ack-from", "4"} << QStringList{"init", "uhf"} << SIGINT << cinque
        << QStringLiteral("; the unit is partly programmed: program it again with init uhf\n");
}

void TstM5ctl::interruzione()
{
    QFETCH(QStringList, simulatore);
    QFETCH(QStringList, comando);
    QFETCH(int, segnale);
    QFETCH(QByteArray, prima);
    QFETCH(QString, messaggio);

    ProcessoSimulatore sim(simulatore);
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << comando);
    QVERIFY(m5ctl.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return ha_aperto(m5ctl.processId(), sim.percorso()); }, 5000));
    if (!prima.isEmpty())
        QVERIFY(sim.attendi_ricevuti(prima.size(), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), prima);

    QCOMPARE(::kill(static_cast<pid_t>(m5ctl.processId()), segnale), 0);
    QVERIFY(m5ctl.waitForFinished(5000));
    QCOMPARE(m5ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m5ctl.exitCode(), 130);
    QCOMPARE(m5ctl.readAllStandardOutput(), QByteArray());
    const QByteArray errori = m5ctl.readAllStandardError();
    QVERIFY2(errori.startsWith("m5ctl: " + sim.percorso().toLocal8Bit()) &&
                 errori.endsWith(messaggio.toLocal8Bit()) && errori.count('\n') == 1,
             errori.constData());

    const QByteArray atteso = prima + "E";
    QVERIFY(sim.attendi_ricevuti(atteso.size(), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), atteso);
}

QTEST_GUILESS_MAIN(TstM5ctl)
#include "tst_m5ctl.moc"
