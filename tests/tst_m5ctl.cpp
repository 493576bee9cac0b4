#include "parametri.h"
#include "processo_simulatore.h"

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
    void interruzione_data();
    void interruzione();
};

namespace {
constexpr int FINE_MS = 20000;
constexpr int TRACCIA_MS = 3000;

struct Esecuzione
{
    int codice = -1;
    QByteArray uscita;
    QByteArray errori;
};

QStringList argomenti_porta(const ProcessoSimulatore *sim)
{
    return {QStringLiteral("--port"),
            sim ? sim->percorso() : QStringLiteral("/dev/m5-nessuna-porta")};
}

Esecuzione esegui(const QStringList &argomenti)
{
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti);
    Esecuzione e;
    if (!m5ctl.waitForFinished(FINE_MS)) {
        m5ctl.kill();
        m5ctl.waitForFinished();
        return e;
    }
    if (m5ctl.exitStatus() == QProcess::NormalExit)
        e.codice = m5ctl.exitCode();
    e.uscita = m5ctl.readAllStandardOutput();
    e.errori = m5ctl.readAllStandardError();
    return e;
}

QByteArray blocco(Banda banda)
{
    const Blocco &b = blocco_fabbrica(banda);
    return QByteArray(reinterpret_cast<const char *>(b.data()), NUM_CELLE);
}

// Cells 0-13 as given, 14-60 zero, 61 their checksum.
QByteArray celle_programmate(const QList<int> &prime)
{
    QByteArray celle;
    int somma = 0;
    for (const int v : prime) {
        celle += static_cast<char>(v);
        somma += v;
    }
    celle += QByteArray(CELLA_CKS - celle.size(), '\0');
    celle += static_cast<char>((255 - somma) & 255);
    return celle;
}

QByteArray con_checksum(QByteArray celle)
{
    int somma = 0;
    for (int i = 0; i < 14; ++i)
        somma += static_cast<quint8>(celle.at(i));
    celle[CELLA_CKS] = static_cast<char>((255 - somma) & 255);
    return celle;
}

QByteArray richieste_lettura()
{
    QByteArray b;
    for (int i = 0; i <= CELLA_BANDA; ++i)
        b += 'R' + QByteArray(1, static_cast<char>(i));
    return b;
}

QByteArray record_scrittura(const QByteArray &celle)
{
    QByteArray b;
    for (int i = 0; i < celle.size(); ++i)
        b += 'W' + QByteArray(1, static_cast<char>(i)) + celle.at(i);
    return b;
}

const QByteArray CONNESSIONE = QByteArray("U") + richieste_lettura();

QJsonArray prime(const QJsonArray &a, int n)
{
    QJsonArray b;
    for (int i = 0; i < n && i < a.size(); ++i)
        b.append(a.at(i));
    return b;
}

QJsonArray come_json(const QByteArray &celle)
{
    QJsonArray a;
    for (const char c : celle)
        a.append(static_cast<quint8>(c));
    return a;
}

// The fields of the one-line JSON, and that they come in the documented order.
QJsonObject leggi_json(const QByteArray &uscita)
{
    const QList<QByteArray> righe = uscita.trimmed().split('\n');
    if (righe.size() != 1)
        return {};
    static const QRegularExpression chiave(QStringLiteral("\"([a-z_]+)\":"));
    QStringList ordine;
    for (const auto &m : chiave.globalMatch(QString::fromUtf8(righe.first())))
        ordine << m.captured(1);
    const QStringList atteso = {"codice", "frequenza",     "rele",  "impulsi",     "toni",
                                "uscite", "trasmettitori", "banda", "checksum_ok", "celle"};
    if (ordine != atteso)
        return {};
    return QJsonDocument::fromJson(righe.first()).object();
}

void verifica_campi(const QJsonObject &json, const QJsonObject &attesi)
{
    QVERIFY2(!json.isEmpty(), "no JSON line, or keys out of order");
    for (auto it = attesi.begin(); it != attesi.end(); ++it)
        QVERIFY2(json.value(it.key()) == it.value(), qPrintable(it.key()));
}

bool scrivi_file(const QString &percorso, const QByteArray &dati)
{
    QFile f(percorso);
    return f.open(QIODevice::WriteOnly) && f.write(dati) == dati.size();
}

// Whether the process has the terminal open, i.e. it is past the port opening.
bool ha_aperto(qint64 pid, const QString &percorso)
{
    const QDir fd(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &f : fd.entryInfoList(QDir::Files | QDir::System))
        if (f.symLinkTarget() == percorso)
            return true;
    return false;
}
} // namespace

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
    QVERIFY(scrivi_file(file, memoria));

    ProcessoSimulatore sim({QStringLiteral("--block"), file});
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui(argomenti_porta(&sim) << QStringLiteral("read"));
    QCOMPARE(e.codice, 0);
    QCOMPARE(e.errori, QByteArray()); // no tty: no progress, and nothing went wrong
    const QJsonObject json = leggi_json(e.uscita);
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

    QTest::newRow("nessuna modifica")
        << "uhf" << QStringList{} << blocco(Banda::UHF).left(CELLA_CKS + 1)
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
    // The JSON shows what was read back: the frequency on its 12.5 kHz grid.
    QTest::newRow("fuori griglia")
        << "uhf" << QStringList{"--frequenza", "433.92"}
        << celle_programmate({0, 1, 230, 20, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0})
        << QJsonObject{{"frequenza", "433.925"}};
    QTest::newRow("campi vuoti") << "uhf" << QStringList{"--rele", "", "--codice", ""}
                                 << celle_programmate({0, 2, 6, 96, 0, 136, 1, 0, 0, 1, 0, 0, 3, 0})
                                 << QJsonObject{{"codice", 0}, {"rele", 0}, {"impulsi", 3}};
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
    QCOMPARE(e.codice, 0);
    QCOMPARE(e.errori, QByteArray());
    const QJsonObject json = leggi_json(e.uscita);
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
    QTest::addColumn<QString>("memoria");
    QTest::addColumn<QString>("banda");
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
    QTest::newRow("uhf su vhf") << "vhf"
                                << "uhf" << blocco(Banda::UHF) << uhf;
    QTest::newRow("vhf su uhf") << "uhf"
                                << "vhf" << blocco(Banda::VHF) << vhf;
}

void TstM5ctl::inizializzazione()
{
    QFETCH(QString, memoria);
    QFETCH(QString, banda);
    QFETCH(QByteArray, celle);
    QFETCH(QJsonObject, attesi);

    ProcessoSimulatore sim({QStringLiteral("--block"), memoria});
    QVERIFY(sim.avvia());
    const Esecuzione e = esegui(argomenti_porta(&sim) << QStringLiteral("init") << banda);
    QCOMPARE(e.codice, 0);
    const QJsonObject json = leggi_json(e.uscita);
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
    QTest::addColumn<QString>("messaggio"); // first line of stderr, null: not checked
    QTest::addColumn<bool>("json");
    QTest::addColumn<QByteArray>("ricevuti");

    const QString errore_lettura = QStringLiteral("Errore di Lettura nei Parametri, Riprovare ");
    const QString time_out = QStringLiteral("Errore TIME OUT   ");
    const QStringList uhf{"--block", "uhf"};

    QTest::newRow("porta mancante")
        << QStringList{} << QStringList{"read"} << 3
        << QStringLiteral("Errore!!  Porta Seriale Guasta o Mancante ") << false << QByteArray();
    QTest::newRow("linea caduta durante la lettura")
        << QStringList{"--hangup-after", "40"} << QStringList{"read"} << 3
        << QStringLiteral("Errore!!  Porta Seriale Guasta o Mancante ") << false
        << CONNESSIONE.left(40);

    // The port is open while waiting for the "K", so the dialogue still ends.
    QTest::newRow("--wait, ricevitore muto")
        << QStringList{"--silent"} << QStringList{"--wait", "0.3", "read"} << 4 << time_out << false
        << QByteArray("E");
    QTest::newRow("--wait, risposta lenta")
        << QStringList{"--reply-delay-ms", "1500"} << QStringList{"--wait", "0.3", "read"} << 4
        << time_out << false << QByteArray("UR\0E", 4);
    // The time-out closes the port: nobody left to send "E" to.
    QTest::newRow("scrittura senza conferma")
        << QStringList{"--no-ack-from", "3"} << QStringList{"program"} << 4 << time_out << false
        << CONNESSIONE + record_scrittura(blocco(Banda::UHF).left(4));

    QTest::newRow("checksum errato in lettura")
        << QStringList{"--corrupt-cell", "7"} << QStringList{"read"} << 5 << errore_lettura << true
        << CONNESSIONE + "E";
    QTest::newRow("programmazione dopo una lettura errata")
        << QStringList{"--corrupt-cell", "7"} << QStringList{"program", "--codice", "9"} << 5
        << errore_lettura << false << CONNESSIONE + "E";

    QTest::newRow("frequenza fuori banda")
        << uhf << QStringList{"program", "--frequenza", "161"} << 6
        << QStringLiteral("Frequenza Fuori Banda !") << false << CONNESSIONE + "E";

    // Range and characters are judged before the port is touched.
    const QString fuori_range = QStringLiteral("Valore fuori range!");
    QTest::newRow("codice 5000") << uhf << QStringList{"program", "--codice", "5000"} << 7
                                 << fuori_range << false << QByteArray();
    QTest::newRow("rele 256") << uhf << QStringList{"program", "--rele", "256"} << 7 << fuori_range
                              << false << QByteArray();
    QTest::newRow("impulsi 0300") << uhf << QStringList{"program", "--impulsi", "0300"} << 7
                                  << fuori_range << false << QByteArray();

    const QString nullo;
    const QList<std::pair<const char *, QStringList>> usi = {
        {"codice con una lettera", {"program", "--codice", "12a"}},
        {"frequenza con la virgola", {"program", "--frequenza", "433,92"}},
        {"tempo negativo", {"program", "--rele", "-1"}},
        {"opzione sconosciuta", {"program", "--toni", "medi"}},
        {"opzione di program in read", {"read", "--codice", "1"}},
        {"comando sconosciuto", {"erase"}},
        {"nessun comando", {}},
        {"init senza banda", {"init"}},
        {"init banda errata", {"init", "lf"}},
        {"com fuori scala", {"--com", "9", "read"}},
        {"wait non numerico", {"--wait", "presto", "read"}},
    };
    for (const auto &[nome, comando] : usi)
        QTest::newRow(nome) << uhf << comando << 2 << nullo << false << QByteArray();

    QTest::newRow("rilettura diversa")
        << QStringList{"--corrupt-cell", "20"} << QStringList{"init", "uhf"} << 8
        << QStringLiteral("Rilettura diversa dai dati scritti: cella 20") << true
        << CONNESSIONE + record_scrittura(blocco(Banda::UHF)) + richieste_lettura() + "E";
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
    // --com replaces --port, as it would on a real command line.
    const QStringList porta =
        comando.contains(QStringLiteral("--com")) ? QStringList{} : argomenti_porta(sim.get());
    const Esecuzione e = esegui(porta + comando);
    QCOMPARE(e.codice, codice);
    if (!messaggio.isNull())
        QCOMPARE(QString::fromLocal8Bit(e.errori.split('\n').first()), messaggio);
    if (json)
        QVERIFY(!leggi_json(e.uscita).isEmpty());
    else
        QCOMPARE(e.uscita, QByteArray());

    if (!sim)
        return;
    if (!ricevuti.isEmpty())
        QVERIFY(sim->attendi_ricevuti(ricevuti.size(), TRACCIA_MS));
    QCOMPARE(sim->ricevuti(), ricevuti);
}

void TstM5ctl::interruzione_data()
{
    QTest::addColumn<QStringList>("simulatore");
    QTest::addColumn<int>("segnale");
    QTest::addColumn<QByteArray>("prima"); // received before the signal goes

    QTest::newRow("Ctrl-C in attesa del K") << QStringList{"--silent"} << SIGINT << QByteArray();
    QTest::newRow("SIGTERM in attesa del K") << QStringList{"--silent"} << SIGTERM << QByteArray();
    QTest::newRow("Ctrl-C in attesa di una cella")
        << QStringList{"--reply-delay-ms", "3000"} << SIGINT << QByteArray("UR\0", 3);
}

void TstM5ctl::interruzione()
{
    QFETCH(QStringList, simulatore);
    QFETCH(int, segnale);
    QFETCH(QByteArray, prima);

    ProcessoSimulatore sim(simulatore);
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << QStringLiteral("read"));
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

    const QByteArray atteso = prima + "E";
    QVERIFY(sim.attendi_ricevuti(atteso.size(), TRACCIA_MS));
    QCOMPARE(sim.ricevuti(), atteso);
}

QTEST_GUILESS_MAIN(TstM5ctl)
#include "tst_m5ctl.moc"
