// SPDX-License-Identifier: GPL-3.0-or-later
// The programming station against m5sim on ptys: tiles, counters, log and simulators agree.
#include "banco.h"
#include "esecuzione_m5ctl.h"
#include "file_unita.h"
#include "finestra_stazione.h"
#include "riquadro_posto.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cmath>
#include <csignal>
#include <memory>

using Aspetto = RiquadroPosto::Aspetto;

class TstStazione : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void posti_data();
    void posti();
    void esiti_data();
    void esiti();
    void porta_occupata();
    void colori_data();
    void colori();
    void parola_data();
    void parola();
    void argomenti_data();
    void argomenti();
    void interruzione_data();
    void interruzione();

private:
    QTemporaryDir m_cartella;
};

namespace {
constexpr int ATTESA_MS = 40000;
// Longer than the 2 s of silence after which the station takes a unit for gone.
const QString SCAMBIO_MS = QStringLiteral("2500");
constexpr int CELLE_SCRITTE = 62;

// Code 9 and relay 20, where the factory block has 1 and 30.
const QByteArray PROFILO =
    R"({"formato":"m5-unita","versione":1,"codice":9,"frequenza":"460","rele":20,)"
    R"("impulsi":3,"toni":"alti","uscite":"mem","trasmettitori":"strip","banda":"UHF"})";

Profilo profilo(const QString &file, bool verifica)
{
    const auto letto = file_unita::leggi_file(file);
    const auto *c = std::get_if<file_unita::Contenuto>(&letto);
    return c ? Profilo{*c, verifica} : Profilo{};
}

QList<QJsonObject> righe_json(const QString &file)
{
    QFile f(file);
    QList<QJsonObject> righe;
    if (!f.open(QIODevice::ReadOnly))
        return righe;
    for (const QByteArray &r : f.readAll().split('\n')) {
        if (!r.isEmpty())
            righe << QJsonDocument::fromJson(r).object();
    }
    return righe;
}

QJsonObject riepilogo(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                       : QJsonObject();
}

// The station's controller and window in this process, shown offscreen,
// with a log of its own.
class StazioneProva
{
public:
    StazioneProva(const QString &cartella, const Profilo &profilo, const QStringList &percorsi)
        : m_banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")}),
          m_registro(cartella + QStringLiteral("/registro.jsonl"))
    {
        QString errore;
        QString avviso;
        m_aperto = m_banco.apri_registro(m_registro, errore, avviso);
        QList<PostoConfigurato> posti;
        for (int i = 0; i < percorsi.size(); ++i)
            posti.append({i + 1, percorsi.at(i)});
        m_banco.imposta(profilo, posti);
        m_finestra = std::make_unique<FinestraStazione>(
            m_banco, cartella + QStringLiteral("/stazione.json"), true);
        m_finestra->resize(1280, 800);
        m_finestra->show();
        m_banco.avvia();
    }
    ~StazioneProva() { ferma(); }

    bool aperto() const { return m_aperto; }
    Banco &banco() { return m_banco; }
    RiquadroPosto *riquadro(int indice) const { return m_finestra->riquadro(indice); }
    Posto::Stato stato(int indice) const { return m_banco.posto(indice)->stato(); }
    QString totali() const
    {
        const auto *l = m_finestra->findChild<QLabel *>(QStringLiteral("totali"));
        return l ? l->text() : QString();
    }
    // The log's unit records, of one slot (1-16) or all.
    QList<QJsonObject> record(int posto = 0) const
    {
        QList<QJsonObject> r;
        for (const QJsonObject &o : righe_json(m_registro)) {
            if (posto == 0 || o.value(QStringLiteral("posto")).toInt() == posto)
                r << o;
        }
        return r;
    }
    bool ferma()
    {
        if (m_banco.in_corso())
            m_banco.termina();
        return QTest::qWaitFor([this] { return !m_banco.in_corso(); }, ATTESA_MS);
    }

private:
    Banco m_banco;
    QString m_registro;
    bool m_aperto = false;
    std::unique_ptr<FinestraStazione> m_finestra;
};

// The simulators that have served one slot, one after the other.
struct SimulatoriPosto
{
    std::unique_ptr<ProcessoSimulatore> attuale;
    QStringList riepiloghi;

    bool avvia(const QString &riepilogo, const QStringList &argomenti)
    {
        attuale = std::make_unique<ProcessoSimulatore>(
            QStringList{QStringLiteral("--summary"), riepilogo} + argomenti);
        riepiloghi << riepilogo;
        return attuale->avvia();
    }
    int somma(const char *campo) const
    {
        int n = 0;
        for (const QString &r : riepiloghi)
            n += riepilogo(r).value(QLatin1String(campo)).toInt(-1000);
        return n;
    }
};

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
    QVERIFY(scrivi_file(m_cartella.filePath(QStringLiteral("profilo.json")), PROFILO));
    QVERIFY(QDir().mkpath(m_cartella.filePath(QStringLiteral("run"))));
    QFile::setPermissions(m_cartella.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TstStazione::posti_data()
{
    QTest::addColumn<QStringList>("guasto"); // of the second slot's first simulator
    QTest::addColumn<bool>("tolto");         // the second slot's adapter pulled out
    QTest::addColumn<bool>("cartella");      // the third slot's folder comes later
    QTest::addColumn<int>("fallite");        // on the second slot

    QTest::newRow("concordi") << QStringList{} << false << false << 0;
    // "U", the read, then 20 whole "W" records: the line drops under the writes.
    QTest::newRow("riaggancio") << QStringList{"--hangup-after", "187"} << false << false << 1;
    QTest::newRow("adattatore tolto") << QStringList{} << true << false << 0;
    QTest::newRow("cartella che non c'è") << QStringList{} << false << true << 0;
}

// Three slots, units swapped by the simulators: whatever happens to one
// slot, every tile, the station's totals, the log and the simulators agree.
void TstStazione::posti()
{
    QFETCH(QStringList, guasto);
    QFETCH(bool, tolto);
    QFETCH(bool, cartella);
    QFETCH(int, fallite);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    const Profilo p = profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false);
    const QStringList percorsi{d.filePath(QStringLiteral("p1")), d.filePath(QStringLiteral("p2")),
                               cartella ? d.filePath(QStringLiteral("nuova/presa/p3"))
                                        : d.filePath(QStringLiteral("p3"))};
    std::array<SimulatoriPosto, 3> sim;
    auto avvia = [&](int i, const QStringList &altri, bool collegato = true) {
        const QString r =
            d.filePath(QStringLiteral("s%1-%2.json").arg(i).arg(sim[i].riepiloghi.size()));
        QStringList a{QStringLiteral("--swap-ms"), SCAMBIO_MS};
        if (collegato)
            a << QStringLiteral("--link") << percorsi.at(i);
        return sim[i].avvia(r, a + altri);
    };
    QVERIFY(avvia(0, {}));
    QVERIFY(avvia(1, guasto));
    if (!cartella)
        QVERIFY(avvia(2, {}));

    StazioneProva s(d.path(), p, percorsi);
    QVERIFY(s.aperto());
    if (!guasto.isEmpty()) {
        // That slot's unit fails, and the slot waits for its adapter.
        QTRY_COMPARE_WITH_TIMEOUT(s.record(2).size(), 1, ATTESA_MS);
        QCOMPARE(s.record(2).first().value("esito").toInt(), codice_uscita::TIME_OUT);
        QTRY_COMPARE_WITH_TIMEOUT(s.riquadro(1)->aspetto(), Aspetto::Mancante, ATTESA_MS);
        QVERIFY(s.riquadro(1)->motivo().startsWith(QStringLiteral("Errore TIME OUT")));
        QVERIFY(sim[1].attuale->attendi_fine(ATTESA_MS));
    }
    if (tolto) {
        QTRY_COMPARE_WITH_TIMEOUT(s.record(2).size(), 1, ATTESA_MS);
        sim[1].attuale->termina();
        QTRY_COMPARE_WITH_TIMEOUT(s.riquadro(1)->aspetto(), Aspetto::Mancante, ATTESA_MS);
    }
    // Back at the same name, on a new pty: the slot goes on by itself.
    if (tolto || !guasto.isEmpty())
        QVERIFY(avvia(1, {}));
    if (cartella) {
        QTRY_VERIFY_WITH_TIMEOUT(!s.record(1).isEmpty() && !s.record(2).isEmpty(), ATTESA_MS);
        QCOMPARE(s.stato(2), Posto::Stato::Mancante);
        QCOMPARE(s.riquadro(2)->aspetto(), Aspetto::Mancante);
        QCOMPARE(s.record(3).size(), 0);
        // A link made by hand, in folders that were not there.
        QVERIFY(avvia(2, {}, false));
        QVERIFY(QDir().mkpath(QFileInfo(percorsi.at(2)).path()));
        QVERIFY(QFile::link(sim[2].attuale->percorso(), percorsi.at(2)));
    }

    // Two good units on each slot; the station ends while every slot waits
    // for its unit to be taken out, so that no unit is cut short.
    const std::array<int, 3> attese{2, 2 + fallite, 2};
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int i = 0; i < 3; ++i) {
                if (s.record(i + 1).size() < attese[i] || s.stato(i) != Posto::Stato::Rimozione)
                    return false;
            }
            return true;
        }(),
        2 * ATTESA_MS);
    QVERIFY(s.ferma());
    for (SimulatoriPosto &x : sim)
        x.attuale->termina();

    int unita = 0;
    int ok = 0;
    for (int i = 0; i < 3; ++i) {
        const QList<QJsonObject> r = s.record(i + 1);
        int riuscite = 0;
        for (int n = 0; n < r.size(); ++n) {
            const QJsonObject &o = r.at(n);
            // A missing adapter takes no unit number.
            QCOMPARE(o.value("unita").toInt(), n + 1);
            QCOMPARE(o.value("porta").toString(), percorsi.at(i));
            QCOMPARE(o.value("presa").toString(), percorsi.at(i));
            QCOMPARE(o.value("profilo").toString(), p.impronta());
            QCOMPARE(o.value("stazione").toString(), QStringLiteral("banco-prova"));
            QCOMPARE(o.value("operatore").toString(), QStringLiteral("collaudo"));
            riuscite += o.value("esito").toInt() == 0 ? 1 : 0;
        }
        const int n = static_cast<int>(r.size());
        const int fallite_qui = n - riuscite;
        QCOMPARE(fallite_qui, i == 1 ? fallite : 0);
        const RiquadroPosto *t = s.riquadro(i);
        QCOMPARE(t->unita(), n);
        QCOMPARE(t->riuscite(), riuscite);
        QCOMPARE(t->fallite(), fallite_qui);
        // What the receivers saw: each record a dialogue, each good unit 62 cells.
        QCOMPARE(sim[i].somma("dialoghi"), n);
        QCOMPARE(sim[i].somma("unita"), n);
        QCOMPARE(sim[i].somma("scritture"), CELLE_SCRITTE * riuscite + 20 * fallite_qui);
        unita += n;
        ok += riuscite;
    }
    QVERIFY2(
        s.totali().startsWith(
            QStringLiteral("Unità %1 · OK %2 · Falliti %3 ").arg(unita).arg(ok).arg(unita - ok)),
        qPrintable(s.totali()));
    QCOMPARE(s.banco().figure().totale.unita, unita);
}

void TstStazione::esiti_data()
{
    QTest::addColumn<bool>("verifica");
    QTest::addColumn<QStringList>("simulatore");
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("motivo");       // the tile's
    QTest::addColumn<QStringList>("dettagli"); // each line of the tile holds its part
    QTest::addColumn<int>("scritture");        // "W" records the unit got

    QTest::newRow("verifica diversa")
        << true << QStringList{} << codice_uscita::DIVERSA
        << QStringLiteral("Valori diversi dal profilo")
        << QStringList{"codice: atteso 9, trovato 1", "rele: atteso 20, trovato 30"} << 0;
    QTest::newRow("altra banda") << false << QStringList{"--block", "vhf"}
                                 << codice_uscita::FUORI_BANDA
                                 << QStringLiteral("Frequenza Fuori Banda !") << QStringList{} << 0;
    QTest::newRow("altra banda in verifica")
        << true << QStringList{"--block", "vhf"} << codice_uscita::FUORI_BANDA
        << QStringLiteral("Frequenza Fuori Banda !") << QStringList{} << 0;
    // A cell outside the checksum: no value differs, the cell does.
    QTest::newRow("rilettura diversa")
        << false << QStringList{"--flip-after-write", "20"} << codice_uscita::RILETTURA
        << QStringLiteral("La rilettura differisce da quanto scritto")
        << QStringList{"cell 20 was written as 0 and reads 90"} << CELLE_SCRITTE;
}

// A failed unit's tile says why in the window's words, and which values differ.
void TstStazione::esiti()
{
    QFETCH(bool, verifica);
    QFETCH(QStringList, simulatore);
    QFETCH(int, esito);
    QFETCH(QString, motivo);
    QFETCH(QStringList, dettagli);
    QFETCH(int, scritture);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    SimulatoriPosto sim;
    QVERIFY(sim.avvia(d.filePath(QStringLiteral("s.json")), simulatore));
    StazioneProva s(d.path(),
                    profilo(m_cartella.filePath(QStringLiteral("profilo.json")), verifica),
                    {sim.attuale->percorso()});
    QVERIFY(s.aperto());
    QTRY_COMPARE_WITH_TIMEOUT(s.record().size(), 1, ATTESA_MS);
    const QJsonObject r = s.record().first();
    QCOMPARE(r.value("esito").toInt(), esito);
    QCOMPARE(r.value("comando").toString(),
             verifica ? QStringLiteral("verify") : QStringLiteral("program"));
    if (esito == codice_uscita::FUORI_BANDA)
        QVERIFY(r.value("messaggio")
                    .toString()
                    .startsWith(QStringLiteral("\"Frequenza Fuori Banda !\"")));
    const RiquadroPosto *t = s.riquadro(0);
    QCOMPARE(t->aspetto(), Aspetto::Fallito);
    QCOMPARE(t->motivo(), motivo);
    QCOMPARE(t->dettagli().size(), dettagli.size());
    for (int i = 0; i < dettagli.size(); ++i)
        QVERIFY2(t->dettagli().at(i).contains(dettagli.at(i)), qPrintable(t->dettagli().at(i)));
    QCOMPARE(t->fallite(), 1);
    QVERIFY(s.ferma());
    sim.attuale->termina();
    QCOMPARE(sim.somma("scritture"), scritture);
}

// A socket whose port another program holds is no missing adapter: the
// tile says who holds it, and the slot takes the port once it is free.
void TstStazione::porta_occupata()
{
    QTemporaryDir d;
    QVERIFY(d.isValid());
    ProcessoSimulatore sim({QStringLiteral("--silent")});
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << QStringLiteral("read"));
    QVERIFY(m5ctl.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return ha_aperto(m5ctl.processId(), sim.percorso()); }, FINE_MS));

    StazioneProva s(d.path(), profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                    {sim.percorso()});
    QTRY_COMPARE_WITH_TIMEOUT(s.stato(0), Posto::Stato::Mancante, ATTESA_MS);
    const RiquadroPosto *t = s.riquadro(0);
    QCOMPARE(t->aspetto(), Aspetto::Mancante);
    QCOMPARE(t->motivo(), QStringLiteral("Errore!!  Porta Seriale Guasta o Mancante"));
    QCOMPARE(t->dettagli().size(), 1);
    QVERIFY2(
        t->dettagli().first().contains(
            QStringLiteral("in use by another program, m5ctl (PID %1)").arg(m5ctl.processId())),
        qPrintable(t->dettagli().first()));
    ::kill(static_cast<pid_t>(m5ctl.processId()), SIGINT);
    QVERIFY(m5ctl.waitForFinished(FINE_MS));
    QTRY_COMPARE_WITH_TIMEOUT(t->aspetto(), Aspetto::Attesa, ATTESA_MS);
    QCOMPARE(t->motivo(), QString());
    QCOMPARE(s.record().size(), 0);
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
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")});
    QList<PostoConfigurato> elenco;
    for (int i = 1; i <= posti; ++i)
        elenco.append(
            {i, QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(i)});
    banco.imposta(profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false), elenco);
    FinestraStazione f(banco, m_cartella.filePath(QStringLiteral("stazione.json")), true);
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
    QTest::addColumn<QStringList>("argomenti"); // %P: a simulator; %L: a link to it
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
    QTest::newRow("file non JSON")
        << QStringList{} << QByteArray(R"({"formato":)") << 2 << QStringList{"%F: not JSON"};
    QTest::newRow("file con il posto 17")
        << QStringList{}
        << QByteArray(
               R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":17,"presa":"%P"}]})")
        << 7 << QStringList{"%F: posti: slot 17 is out of range"};
    QTest::newRow("file con la stessa presa")
        << QStringList{}
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":"%P"},)"
                      R"({"posto":2,"presa":"%P"}]})")
        << 2 << QStringList{"%F: posti: slots 1 and 2 name the same socket, \"%P\""};
    QTest::newRow("file con una presa vuota")
        << QStringList{}
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":""}]})")
        << 2 << QStringList{"%F: posti[0].presa: missing or empty"};
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
            .replace(QStringLiteral("%F"), stazione);
    };
    if (!file.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(stazione).path()));
        QVERIFY(scrivi_file(stazione, sostituisci(QString::fromUtf8(file)).toUtf8()));
    }
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QStringList tutti{QStringLiteral("--from"), m_cartella.filePath(QStringLiteral("profilo.json")),
                      QStringLiteral("--log"), registro, QStringLiteral("--mute")};
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
    const QList<QJsonObject> r = righe_json(registro);
    QCOMPARE(r.size(), 1);
    QCOMPARE(r.first().value("esito").toInt(), codice_uscita::INTERROTTO);
    QCOMPARE(r.first().value("posto").toInt(), 1);
    QVERIFY(QTest::qWaitFor([&] { return sim.ricevuti().endsWith('E'); }, TRACCIA_MS));
}

QTEST_MAIN(TstStazione)
#include "tst_stazione.moc"
