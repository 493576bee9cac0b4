// SPDX-License-Identifier: GPL-3.0-or-later
// The station's window draws what its core tells; m5stazione as a user starts it.
#include "avvio_banco.h"
#include "banco.h"
#include "esecuzione_m5ctl.h"
#include "finestra_stazione.h"
#include "lingua.h"
#include "profilo_prova.h"
#include "riquadro_posto.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <cmath>
#include <csignal>

using Aspetto = RiquadroPosto::Aspetto;

class TstStazione : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void disegno();
    void colori_data();
    void colori();
    void parola_data();
    void parola();
    void argomenti_data();
    void argomenti();
    void file_danneggiato_data();
    void file_danneggiato();
    void lingua_data();
    void lingua();
    void interruzione_data();
    void interruzione();

private:
    QTemporaryDir m_cartella;
};

namespace {

double luminanza(const QColor &c)
{
    auto lineare = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lineare(c.redF()) + 0.7152 * lineare(c.greenF()) + 0.0722 * lineare(c.blueF());
}

// m5stazione offscreen, its configuration and data in cartella.
QProcessEnvironment ambiente(const QString &cartella, const QString &esecuzione)
{
    QProcessEnvironment a = QProcessEnvironment::systemEnvironment();
    a.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    a.insert(QStringLiteral("XDG_CONFIG_HOME"), cartella + QStringLiteral("/config"));
    a.insert(QStringLiteral("XDG_DATA_HOME"), cartella + QStringLiteral("/data"));
    a.insert(QStringLiteral("XDG_RUNTIME_DIR"), esecuzione);
    return a;
}
} // namespace

void TstStazione::initTestCase()
{
    QVERIFY(m_cartella.isValid());
    QVERIFY(salva_file(m_cartella.filePath(QStringLiteral("profilo.json")), PROFILO));
    QVERIFY(QDir().mkpath(m_cartella.filePath(QStringLiteral("run"))));
    QFile::setPermissions(m_cartella.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The window draws each slot and the totals as the core tells them, in the
// window's words and numbers.
void TstStazione::disegno()
{
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    const QList<PostoConfigurato> posti{{1, QStringLiteral("/dev/ttyUSB0")},
                                        {2, QStringLiteral("/dev/ttyUSB1")}};
    FinestraStazione f(banco, profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                       posti, true);
    f.show();
    QuadroPosto q;
    q.aspetto = Aspetto::Fallito;
    q.motivo = QStringLiteral("Errore TIME OUT");
    q.unita = 3;
    q.ok = 2;
    q.fallite = 1;
    emit banco.quadro_cambiato(1, q);
    emit banco.totali_cambiati({5, 4, 1, 0.8, std::nullopt});
    QCOMPARE(f.riquadro(0)->aspetto(), Aspetto::Mancante);
    QCOMPARE(f.riquadro(1)->aspetto(), Aspetto::Fallito);
    QCOMPARE(f.riquadro(1)->motivo(), q.motivo);
    const auto *totali = f.findChild<QLabel *>(QStringLiteral("totali"));
    QVERIFY(totali);
    QCOMPARE(totali->text(), QStringLiteral("Unità 5 · OK 4 · Falliti 1 · Resa al primo passaggio "
                                            "80,0 % · - unità/ora nell'ultima ora"));
}

void TstStazione::colori_data()
{
    QTest::addColumn<Aspetto>("aspetto");
    for (const Aspetto a : {Aspetto::Mancante, Aspetto::Attesa, Aspetto::Lavoro, Aspetto::Riuscito,
                            Aspetto::Fallito, Aspetto::DaTogliere})
        QTest::newRow(qPrintable(RiquadroPosto::parola(a))) << a;
}

// Readable from across the room: 7:1 or more, by the WCAG formula.
void TstStazione::colori()
{
    QFETCH(Aspetto, aspetto);
    const RiquadroPosto::Colori c = RiquadroPosto::colori(aspetto);
    const double a = luminanza(c.sfondo);
    const double b = luminanza(c.testo);
    const double contrasto = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    QVERIFY2(contrasto >= 7, qPrintable(QString::number(contrasto)));
}

void TstStazione::parola_data()
{
    QTest::addColumn<int>("posti");
    QTest::newRow("8 posti") << 8;
    QTest::newRow("16 posti") << 16;
}

// With a full grid on a 1920x1080 screen, every state word is a sixth of
// its tile's height, 48 px at least, and fits the tile's width.
void TstStazione::parola()
{
    QFETCH(int, posti);
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    QList<PostoConfigurato> elenco;
    for (int i = 1; i <= posti; ++i)
        elenco.append(
            {i, QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(i)});
    FinestraStazione f(banco, profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                       elenco, true);
    f.resize(1920, 1080);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.size(), QSize(1920, 1080));
    for (int i = 0; i < posti; ++i) {
        RiquadroPosto *t = f.riquadro(i);
        const int alta = t->altezza_parola();
        QVERIFY2(
            alta >= 48 && alta * 6 >= t->height(),
            qPrintable(QStringLiteral("%1 px in a tile %2 px high").arg(alta).arg(t->height())));
        QFont carattere;
        carattere.setPixelSize(alta);
        carattere.setBold(true);
        for (const Aspetto a : {Aspetto::Mancante, Aspetto::Attesa, Aspetto::Lavoro,
                                Aspetto::Riuscito, Aspetto::Fallito, Aspetto::DaTogliere})
            QVERIFY2(QFontMetrics(carattere).horizontalAdvance(RiquadroPosto::parola(a)) <=
                         t->width(),
                     qPrintable(RiquadroPosto::parola(a)));
    }
}

void TstStazione::argomenti_data()
{
    QTest::addColumn<QStringList>("argomenti"); // %P: a simulator; %L: a link to it; %T: a folder
    QTest::addColumn<QByteArray>("file");       // the station file; empty: none
    QTest::addColumn<int>("codice");
    QTest::addColumn<QStringList>("parti"); // of the one line; %F: the station file

    QTest::newRow("--slot malformato") << QStringList{"--slot", "uno=%P"} << QByteArray() << 2
                                       << QStringList{"--slot: \"uno=%P\" is not valid"};
    QTest::newRow("--slot senza percorso") << QStringList{"--slot", "1="} << QByteArray() << 2
                                           << QStringList{"--slot: \"1=\" is not valid"};
    QTest::newRow("--slot 17") << QStringList{"--slot", "17=%P"} << QByteArray() << 7
                               << QStringList{"--slot: \"17=%P\" is out of range"};
    QTest::newRow("--slot 0") << QStringList{"--slot", "0=%P"} << QByteArray() << 7
                              << QStringList{"--slot: \"0=%P\" is out of range"};
    QTest::newRow("stesso posto due volte")
        << QStringList{"--slot", "1=%P", "--slot", "1=/dev/null"} << QByteArray() << 2
        << QStringList{"--slot: slot 1 given twice"};
    QTest::newRow("stessa presa due volte")
        << QStringList{"--slot", "1=%P", "--slot", "2=%P"} << QByteArray() << 2
        << QStringList{"--slot: slots 1 and 2 name the same socket, \"%P\""};
    QTest::newRow("stessa presa per un collegamento")
        << QStringList{"--slot", "1=%P", "--slot", "2=%L"} << QByteArray() << 2
        << QStringList{"--slot: slots 1 and 2 name the same socket, \"%L\""};
    QTest::newRow("file dell'unità mancante")
        << QStringList{"--from", "%T/manca.json"} << QByteArray() << 2
        << QStringList{"--from %T/manca.json: ", "read one from a good unit with m5ctl read -o"};
}

// A bad slot is refused with one line that names where it came from, and
// nothing starts: no port is opened, no log made.
void TstStazione::argomenti()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, file);
    QFETCH(int, codice);
    QFETCH(QStringList, parti);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    const QString collegamento = d.filePath(QStringLiteral("collegamento"));
    QVERIFY(QFile::link(sim.percorso(), collegamento));
    const QString stazione = d.filePath(QStringLiteral("config/m5stazione/stazione.json"));
    auto sostituisci = [&](QString t) {
        return t.replace(QStringLiteral("%P"), sim.percorso())
            .replace(QStringLiteral("%L"), collegamento)
            .replace(QStringLiteral("%F"), stazione)
            .replace(QStringLiteral("%T"), d.path());
    };
    if (!file.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(stazione).path()));
        QVERIFY(salva_file(stazione, sostituisci(QString::fromUtf8(file)).toUtf8()));
    }
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QStringList tutti{QStringLiteral("--log"), registro, QStringLiteral("--mute")};
    if (!argomenti.contains(QStringLiteral("--from")))
        tutti << QStringLiteral("--from") << m_cartella.filePath(QStringLiteral("profilo.json"));
    for (const QString &a : std::as_const(argomenti))
        tutti << sostituisci(a);

    QProcess programma;
    programma.setProcessEnvironment(ambiente(d.path(), m_cartella.filePath(QStringLiteral("run"))));
    programma.start(QStringLiteral(M5STAZIONE_PATH), tutti);
    QVERIFY(programma.waitForFinished(FINE_MS));
    QCOMPARE(programma.exitStatus(), QProcess::NormalExit);
    QCOMPARE(programma.exitCode(), codice);
    const QString errori = QString::fromLocal8Bit(programma.readAllStandardError());
    QVERIFY2(errori.startsWith(QStringLiteral("m5stazione: ")) && errori.count('\n') == 1,
             qPrintable(errori));
    for (const QString &parte : std::as_const(parti))
        QVERIFY2(errori.contains(sostituisci(parte)), qPrintable(errori));
    QVERIFY(!QFile::exists(registro));
    QCOMPARE(sim.ricevuti(), QByteArray());
}

void TstStazione::file_danneggiato_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("danno");

    QTest::newRow("non JSON") << QByteArray(R"({"formato":)") << QStringLiteral("not JSON");
    QTest::newRow("il posto 17")
        << QByteArray(
               R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":17,"presa":"/a"}]})")
        << QStringLiteral("posti: slot 17 is out of range");
    QTest::newRow("la stessa presa")
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":"/a"},)"
                      R"({"posto":2,"presa":"/a"}]})")
        << QStringLiteral("posti: slots 1 and 2 name the same socket, \"/a\"");
    QTest::newRow("una presa vuota")
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":""}]})")
        << QStringLiteral("posti[0].presa: missing or empty");
}

// A damaged station file is kept aside whole, and the station starts as
// without one, rather than leaving a worker with nothing; --slot never reads it.
void TstStazione::file_danneggiato()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, danno);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    const QString stazione = d.filePath(QStringLiteral("stazione.json"));
    QVERIFY(salva_file(stazione, file));
    const auto dati = avvio_banco::posti({{1, QStringLiteral("/dev/ttyUSB7")}}, stazione);
    QCOMPARE(std::get<avvio_banco::Posti>(dati).elenco.size(), 1);
    QCOMPARE(carica_tutto(stazione), file);

    const auto posti = avvio_banco::posti({}, stazione);
    QVERIFY(std::holds_alternative<avvio_banco::Posti>(posti));
    const auto &p = std::get<avvio_banco::Posti>(posti);
    QVERIFY2(p.danno.contains(danno), qPrintable(p.danno));
    QVERIFY(!QFile::exists(stazione));
    QVERIFY2(p.messo_da_parte.startsWith(stazione + QStringLiteral(".danneggiato-")),
             qPrintable(p.messo_da_parte));
    QCOMPARE(carica_tutto(p.messo_da_parte), file);
    QCOMPARE(p.elenco.size(), avvio_banco::posti_presenti().size());
}

void TstStazione::lingua_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("parola"); // the tile's
    QTest::addColumn<QString>("apri");   // Qt's own button
    QTest::addColumn<QString>("campo");  // the profile line's

    QTest::newRow("C") << "C"
                       << "MANCANTE"
                       << "Apri"
                       << "frequenza";
    QTest::newRow("it_IT") << "it_IT"
                           << "MANCANTE"
                           << "Apri"
                           << "frequenza";
    QTest::newRow("en_US") << "en_US"
                           << "MISSING"
                           << "Open"
                           << "frequency";
}

// The window speaks one language, Qt's own dialogs included.
void TstStazione::lingua()
{
    QFETCH(QString, locale);
    QFETCH(QString, parola);
    QFETCH(QString, apri);
    QFETCH(QString, campo);

    const QList<QTranslator *> caricati = lingua::carica(*qApp, QLocale(locale));
    const QString trovata = RiquadroPosto::parola(Aspetto::Mancante);
    const QString pulsante = QCoreApplication::translate("QPlatformTheme", "Open");
    const QString nome = Profilo::nome_campo(QStringLiteral("frequenza"));
    for (QTranslator *t : caricati)
        QCoreApplication::removeTranslator(t);
    QCOMPARE(trovata, parola);
    QCOMPARE(pulsante, apri);
    QCOMPARE(nome, campo);
}

void TstStazione::interruzione_data()
{
    QTest::addColumn<int>("segnale");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// Ended in the middle of a unit's writes: the unit gets its "E" and is
// logged as interrupted, never as good, and the program goes.
void TstStazione::interruzione()
{
    QFETCH(int, segnale);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    ProcessoSimulatore sim({QStringLiteral("--baud"), QStringLiteral("2400")});
    QVERIFY(sim.avvia());
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QProcess stazione;
    stazione.setProcessEnvironment(ambiente(d.path(), m_cartella.filePath(QStringLiteral("run"))));
    stazione.start(QStringLiteral(M5STAZIONE_PATH),
                   {QStringLiteral("--from"), m_cartella.filePath(QStringLiteral("profilo.json")),
                    QStringLiteral("--slot"), QStringLiteral("1=") + sim.percorso(),
                    QStringLiteral("--log"), registro, QStringLiteral("--mute")});
    QVERIFY(sim.attendi_ricevuti(static_cast<int>(CONNESSIONE.size()) + 30, FINE_MS));
    ::kill(static_cast<pid_t>(stazione.processId()), segnale);
    QVERIFY(stazione.waitForFinished(FINE_MS));
    QCOMPARE(stazione.exitStatus(), QProcess::NormalExit);
    const QList<QJsonObject> r = righe_json(carica_tutto(registro));
    QCOMPARE(r.size(), 1);
    QCOMPARE(r.first().value("esito").toInt(), esiti::INTERROTTO);
    QCOMPARE(r.first().value("posto").toInt(), 1);
    QVERIFY(QTest::qWaitFor([&] { return sim.ricevuti().endsWith('E'); }, TRACCIA_MS));
}

QTEST_MAIN(TstStazione)
#include "tst_stazione.moc"
