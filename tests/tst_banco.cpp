// SPDX-License-Identifier: GPL-3.0-or-later
// The station's core against m5sim on ptys, without a window: what it tells of
// each slot, its figures, its log and the simulators agree.
#include "banco.h"
#include "esecuzione_m5ctl.h"
#include "profilo_prova.h"
#include "rapporto.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <csignal>
#include <list>
#include <memory>

using Aspetto = QuadroPosto::Aspetto;

class TstBanco : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void posti_data();
    void posti();
    void esiti_data();
    void esiti();
    void porta_occupata();
    void stesso_dispositivo();
    void cambio_data();
    void cambio();
    void assegnazione();

private:
    void cambio_dopo_unita(const QString &registro, const QList<Aspetto> &prima_del_cambio);
    void registro_cambio(Banco &banco, const QString &registro, const QString &csv, int cambi);
    QTemporaryDir m_cartella;
};

namespace {
constexpr int ATTESA_MS = 40000;
// Longer than the 2 s of silence after which the station takes a unit for gone.
const QString SCAMBIO_MS = QStringLiteral("2500");
constexpr int CELLE_SCRITTE = 62;

QJsonObject riepilogo(const QString &file)
{
    return QJsonDocument::fromJson(carica_tutto(file)).object();
}

// The station's core in this process, with a log of its own; each slot as
// its signals last told it.
class BancoProva
{
public:
    BancoProva(const QString &cartella, const Profilo &profilo, const QStringList &percorsi)
        : m_banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                  cartella + QStringLiteral("/stazione.json")),
          m_registro(cartella + QStringLiteral("/registro.jsonl"))
    {
        QString errore;
        QString avviso;
        m_aperto = m_banco.apri_registro(m_registro, errore, avviso);
        QList<PostoConfigurato> posti;
        for (int i = 0; i < percorsi.size(); ++i)
            posti.append({i + 1, percorsi.at(i)});
        m_quadri = QList<QuadroPosto>(posti.size());
        m_storie = QList<QList<QuadroPosto>>(posti.size());
        m_banco.imposta(profilo, posti);
        QObject::connect(&m_banco, &Banco::quadro_cambiato, &m_banco,
                         [this](int i, const QuadroPosto &q) {
                             m_quadri[i] = q;
                             m_storie[i] << q;
                         });
        QObject::connect(&m_banco, &Banco::totali_cambiati, &m_banco,
                         [this](const TotaliBanco &t) { m_totali = t; });
        m_banco.avvia();
    }
    ~BancoProva() { ferma(); }

    bool aperto() const { return m_aperto; }
    const QuadroPosto &quadro(int indice) const { return m_quadri.at(indice); }
    // Every picture of the slot told, in order.
    const QList<QuadroPosto> &storia(int indice) const { return m_storie.at(indice); }
    const TotaliBanco &totali() const { return m_totali; }
    Posto::Stato stato(int indice) const { return m_banco.posto(indice)->stato(); }
    // The log's unit records, of one slot (1-16) or all.
    QList<QJsonObject> record(int posto = 0) const
    {
        QList<QJsonObject> r;
        for (const QJsonObject &o : righe_json(carica_tutto(m_registro))) {
            if (posto == 0 || o.value(QStringLiteral("posto")).toInt() == posto)
                r << o;
        }
        return r;
    }
    bool ferma_tra_unita()
    {
        m_banco.ferma();
        return QTest::qWaitFor([this] { return !m_banco.in_corso(); }, ATTESA_MS);
    }
    bool ferma()
    {
        if (m_banco.in_corso())
            m_banco.interrompi();
        return QTest::qWaitFor([this] { return !m_banco.in_corso(); }, ATTESA_MS);
    }

private:
    Banco m_banco;
    QString m_registro;
    bool m_aperto = false;
    QList<QuadroPosto> m_quadri;
    QList<QList<QuadroPosto>> m_storie;
    TotaliBanco m_totali;
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
// The adapter back after a unit failed with it, the slot is ready, and the
// failed unit's end is still told until the next unit starts.
void pronto_dopo_guasto(const QList<QuadroPosto> &h)
{
    const auto con_aspetto = [](Aspetto a) {
        return [a](const QuadroPosto &q) { return q.aspetto == a; };
    };
    const auto fallito = std::find_if(h.begin(), h.end(), con_aspetto(Aspetto::Fallito));
    const auto pronto = std::find_if(fallito, h.end(), con_aspetto(Aspetto::Attesa));
    const auto lavoro = std::find_if(pronto, h.end(), con_aspetto(Aspetto::Lavoro));
    QVERIFY(lavoro != h.end());
    QVERIFY2(pronto->ultimo_esito.startsWith(QStringLiteral(
                 "Ultima unità: FALLITA · Errore TIME OUT · unità programmata in parte")),
             qPrintable(pronto->ultimo_esito));
    QCOMPARE(pronto->consiglio, QStringLiteral("Collegare un'unità"));
    QCOMPARE(lavoro->ultimo_esito, QString());
}
// Each slot's records, tile and simulators agree, and the totals with them.
void confronta_posti(BancoProva &s, std::array<SimulatoriPosto, 3> &sim,
                     const QStringList &percorsi, const Profilo &p, int fallite)
{
    int unita = 0;
    int ok = 0;
    QSet<QString> id; // each record its own
    for (int i = 0; i < 3; ++i) {
        const QList<QJsonObject> r = s.record(i + 1);
        for (const QJsonObject &o : r)
            id.insert(o.value("id").toString());
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
        const QuadroPosto &t = s.quadro(i);
        QCOMPARE(t.unita, n);
        QCOMPARE(t.ok, riuscite);
        QCOMPARE(t.fallite, fallite_qui);
        // What the receivers saw: each record a dialogue, each good unit 62 cells.
        QCOMPARE(sim[i].somma("dialoghi"), n);
        // One more unit may have been on the line, announcing, when the station stopped.
        const int sul_filo = sim[i].somma("unita");
        QVERIFY2(sul_filo == n || sul_filo == n + 1, qPrintable(QString::number(sul_filo)));
        QCOMPARE(sim[i].somma("scritture"), CELLE_SCRITTE * riuscite + 20 * fallite_qui);
        unita += n;
        ok += riuscite;
    }
    QCOMPARE(s.totali().unita, unita);
    QCOMPARE(s.totali().ok, ok);
    QCOMPARE(s.totali().fallite, unita - ok);
    QCOMPARE(s.totali().ora, unita);
    QCOMPARE(id.size(), unita);
    QVERIFY(!id.contains(QString()));
}

} // namespace

void TstBanco::initTestCase()
{
    QVERIFY(m_cartella.isValid());
    QVERIFY(salva_file(m_cartella.filePath(QStringLiteral("profilo.json")), PROFILO));
}

void TstBanco::posti_data()
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
void TstBanco::posti()
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

    BancoProva s(d.path(), p, percorsi);
    QVERIFY(s.aperto());
    if (!guasto.isEmpty()) {
        // The line went with the unit half written: while the slot waits for
        // its adapter the unit stays failed, and the tile says what it needs.
        QTRY_COMPARE_WITH_TIMEOUT(s.record(2).size(), 1, ATTESA_MS);
        QCOMPARE(s.record(2).first().value("esito").toInt(), esiti::TIME_OUT);
        QVERIFY(sim[1].attuale->attendi_fine(ATTESA_MS));
        QTRY_COMPARE_WITH_TIMEOUT(s.stato(1), Posto::Stato::Mancante, ATTESA_MS);
        const QuadroPosto &t = s.quadro(1);
        QCOMPARE(t.aspetto, Aspetto::Fallito);
        QVERIFY2(t.motivo.startsWith(QStringLiteral("Errore TIME OUT · unità programmata in "
                                                    "parte: riprogrammarla")),
                 qPrintable(t.motivo));
        QCOMPARE(t.consiglio,
                 QStringLiteral("Ricollegare l'adattatore, poi riprogrammare l'unità"));
    }
    if (tolto) {
        QTRY_COMPARE_WITH_TIMEOUT(s.record(2).size(), 1, ATTESA_MS);
        sim[1].attuale->termina();
        QTRY_COMPARE_WITH_TIMEOUT(s.quadro(1).aspetto, Aspetto::Mancante, ATTESA_MS);
        QCOMPARE(s.quadro(1).consiglio, QStringLiteral("Adattatore assente: collegarlo"));
        QCOMPARE(s.quadro(1).ultimo_esito, QStringLiteral("Ultima unità: OK"));
    }
    // Back at the same name, on a new pty: the slot goes on by itself.
    if (tolto || !guasto.isEmpty())
        QVERIFY(avvia(1, {}));
    if (cartella) {
        QTRY_VERIFY_WITH_TIMEOUT(!s.record(1).isEmpty() && !s.record(2).isEmpty(), ATTESA_MS);
        QCOMPARE(s.stato(2), Posto::Stato::Mancante);
        QCOMPARE(s.quadro(2).aspetto, Aspetto::Mancante);
        QCOMPARE(s.record(3).size(), 0);
        // A link made by hand, in folders that were not there.
        QVERIFY(avvia(2, {}, false));
        QVERIFY(QDir().mkpath(QFileInfo(percorsi.at(2)).path()));
        QVERIFY(QFile::link(sim[2].attuale->percorso(), percorsi.at(2)));
    }

    // Two good units on each slot; then no new unit starts, and those in
    // their dialogue end as they would have, so that no unit is cut short.
    const std::array<int, 3> attese{2, 2 + fallite, 2};
    auto contati = [&] {
        QString t;
        for (int i = 0; i < 3; ++i)
            t += QStringLiteral("slot %1: %2 of %3 records, %4; ")
                     .arg(i + 1)
                     .arg(s.record(i + 1).size())
                     .arg(attese[i])
                     .arg(QVariant::fromValue(s.stato(i)).toString());
        return t;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            for (int i = 0; i < 3; ++i) {
                if (s.record(i + 1).size() < attese[i])
                    return false;
            }
            return true;
        }(),
        qPrintable(contati()), 2 * ATTESA_MS);
    QVERIFY(s.ferma_tra_unita());
    for (SimulatoriPosto &x : sim)
        x.attuale->termina();
    if (!guasto.isEmpty())
        pronto_dopo_guasto(s.storia(1));

    confronta_posti(s, sim, percorsi, p, fallite);
}

void TstBanco::esiti_data()
{
    QTest::addColumn<bool>("verifica");
    QTest::addColumn<QStringList>("simulatore");
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("motivo");       // the tile's
    QTest::addColumn<QStringList>("dettagli"); // each line of the tile holds its part
    QTest::addColumn<int>("scritture");        // "W" records the unit got

    QTest::newRow("riuscita") << false << QStringList{} << esiti::SUCCESSO << QString()
                              << QStringList{} << CELLE_SCRITTE;
    QTest::newRow("verifica diversa")
        << true << QStringList{} << esiti::DIVERSA << QStringLiteral("Valori diversi dal profilo")
        << QStringList{"codice: atteso 9, trovato 1", "rele: atteso 20, trovato 30"} << 0;
    QTest::newRow("altra banda") << false << QStringList{"--block", "vhf"} << esiti::FUORI_BANDA
                                 << QStringLiteral("Frequenza Fuori Banda !") << QStringList{} << 0;
    QTest::newRow("altra banda in verifica")
        << true << QStringList{"--block", "vhf"} << esiti::FUORI_BANDA
        << QStringLiteral("Frequenza Fuori Banda !") << QStringList{} << 0;
    // A cell outside the checksum: no value differs, the cell does.
    QTest::newRow("rilettura diversa")
        << false << QStringList{"--flip-after-write", "20"} << esiti::RILETTURA
        << QStringLiteral("La rilettura differisce da quanto scritto")
        << QStringList{"cell 20 was written as 0 and reads 90"} << CELLE_SCRITTE;
}

// A failed unit's tile says why in the window's words, and which values
// differ; once the unit is taken out the slot is ready, and still tells how
// the last unit ended.
void TstBanco::esiti()
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
    // Taken out after its "E", and no other unit for as long as the row lasts.
    QVERIFY(sim.avvia(d.filePath(QStringLiteral("s.json")),
                      simulatore << QStringLiteral("--swap-ms") << QStringLiteral("600000")));
    BancoProva s(d.path(), profilo(m_cartella.filePath(QStringLiteral("profilo.json")), verifica),
                 {sim.attuale->percorso()});
    QVERIFY(s.aperto());
    QTRY_COMPARE_WITH_TIMEOUT(s.record().size(), 1, ATTESA_MS);
    const QJsonObject r = s.record().first();
    QCOMPARE(r.value("esito").toInt(), esito);
    QCOMPARE(r.value("comando").toString(),
             verifica ? QStringLiteral("verify") : QStringLiteral("program"));
    if (esito == esiti::FUORI_BANDA)
        QVERIFY(r.value("messaggio")
                    .toString()
                    .startsWith(QStringLiteral("\"Frequenza Fuori Banda !\"")));
    const QList<QuadroPosto> &h = s.storia(0);
    const auto fine = std::find_if(h.begin(), h.end(), [](const QuadroPosto &q) {
        return q.aspetto == Aspetto::Riuscito || q.aspetto == Aspetto::Fallito;
    });
    QVERIFY(fine != h.end());
    const QuadroPosto &t = *fine;
    QCOMPARE(t.aspetto, esito == esiti::SUCCESSO ? Aspetto::Riuscito : Aspetto::Fallito);
    QCOMPARE(t.motivo, motivo);
    QCOMPARE(t.consiglio, QStringLiteral("Togliere l'unità"));
    QCOMPARE(t.dettagli.size(), dettagli.size());
    for (int i = 0; i < dettagli.size(); ++i)
        QVERIFY2(t.dettagli.at(i).contains(dettagli.at(i)), qPrintable(t.dettagli.at(i)));
    QCOMPARE(t.fallite, esito == esiti::SUCCESSO ? 0 : 1);
    const QString ultimo = esito == esiti::SUCCESSO
                               ? QStringLiteral("Ultima unità: OK")
                               : QStringLiteral("Ultima unità: FALLITA · ") + motivo;
    QCOMPARE(t.ultimo_esito, ultimo);
    // A good unit's code, as read back, for the worker to check against its label.
    QCOMPARE(t.codice.value_or(-1), esito == esiti::SUCCESSO ? 9 : -1); // the profile's code
    QTRY_COMPARE_WITH_TIMEOUT(s.quadro(0).aspetto, Aspetto::Attesa, ATTESA_MS);
    QCOMPARE(s.quadro(0).ultimo_esito, ultimo);
    QCOMPARE(s.quadro(0).motivo, QString());
    QVERIFY(s.ferma());
    sim.attuale->termina();
    QCOMPARE(sim.somma("scritture"), scritture);
}

// A socket whose port another program holds is no missing adapter: the
// tile says who holds it, in a line of its own, and the slot takes the port
// once it is free.
void TstBanco::porta_occupata()
{
    QTemporaryDir d;
    QVERIFY(d.isValid());
    ProcessoSimulatore sim({QStringLiteral("--silent")});
    QVERIFY(sim.avvia());
    QProcess m5ctl;
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti_porta(&sim) << QStringLiteral("read"));
    QVERIFY(m5ctl.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return ha_aperto(m5ctl.processId(), sim.percorso()); }, FINE_MS));

    BancoProva s(d.path(), profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                 {sim.percorso()});
    QTRY_COMPARE_WITH_TIMEOUT(s.stato(0), Posto::Stato::Mancante, ATTESA_MS);
    const QuadroPosto &t = s.quadro(0);
    QCOMPARE(t.aspetto, Aspetto::Occupato);
    QCOMPARE(t.motivo, QStringLiteral("Porta occupata da m5ctl (PID %1)").arg(m5ctl.processId()));
    QCOMPARE(t.dettagli, QStringList());
    QCOMPARE(t.consiglio, QStringLiteral("Chiudere quel programma, poi attendere"));
    ::kill(static_cast<pid_t>(m5ctl.processId()), SIGINT);
    QVERIFY(m5ctl.waitForFinished(FINE_MS));
    QTRY_COMPARE_WITH_TIMEOUT(t.aspetto, Aspetto::Attesa, ATTESA_MS);
    QCOMPARE(t.motivo, QString());
    QCOMPARE(s.record().size(), 0);
}

// A link made later that leads to another slot's device: both tiles say so,
// that of the slot waiting for a unit too, and neither slot takes a unit
// until it is mended; then the first goes on.
void TstBanco::stesso_dispositivo()
{
    QTemporaryDir d;
    QVERIFY(d.isValid());
    SimulatoriPosto sim;
    // The next unit comes well after the link is made.
    QVERIFY(sim.avvia(d.filePath(QStringLiteral("s.json")),
                      {QStringLiteral("--swap-ms"), QStringLiteral("8000")}));
    const QString collegamento = d.filePath(QStringLiteral("p2"));
    BancoProva s(d.path(), profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                 {sim.attuale->percorso(), collegamento});
    QTRY_VERIFY2_WITH_TIMEOUT(s.record(1).size() == 1 && s.quadro(0).aspetto == Aspetto::Attesa,
                              "the first unit did not end, or was not taken out", ATTESA_MS);
    const qsizetype inviati = sim.attuale->inviati().size();
    QVERIFY(QFile::link(sim.attuale->percorso(), collegamento));
    auto condiviso = [&](int i) {
        const QuadroPosto &q = s.quadro(i);
        return q.aspetto == Aspetto::Doppio &&
               q.motivo == QStringLiteral("Stesso dispositivo del posto %1").arg(2 - i) &&
               q.consiglio == QStringLiteral("Dare a ogni posto il suo adattatore");
    };
    auto quadri = [&] {
        return QStringLiteral("%1 %2 / %3 %4")
            .arg(QVariant::fromValue(s.quadro(0).aspetto).toString(), s.quadro(0).motivo,
                 QVariant::fromValue(s.quadro(1).aspetto).toString(), s.quadro(1).motivo);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(condiviso(0) && condiviso(1), qPrintable(quadri()), ATTESA_MS);
    QCOMPARE(s.record(1).size(), 1);
    // The next unit announces itself twice, and neither slot takes it.
    QTRY_VERIFY2_WITH_TIMEOUT(sim.attuale->inviati().size() >= inviati + 2,
                              "the next unit did not announce itself", ATTESA_MS);
    QVERIFY2(condiviso(0) && condiviso(1), qPrintable(quadri()));
    QCOMPARE(s.record().size(), 1);
    QVERIFY(QFile::remove(collegamento));
    QTRY_COMPARE_WITH_TIMEOUT(s.record(1).size(), 2, ATTESA_MS);
    QCOMPARE(s.record(2).size(), 0);
    QCOMPARE(s.quadro(1).aspetto, Aspetto::Mancante);
    QCOMPARE(s.quadro(1).motivo, QString());
}

void TstBanco::cambio_data()
{
    QTest::addColumn<bool>("si");
    QTest::addColumn<bool>("interrotto"); // the station ended before the slots stopped
    QTest::addColumn<bool>("unita");      // asked as a unit began its dialogue
    QTest::newRow("confermato") << true << false << false;
    QTest::newRow("non confermato") << false << false << false;
    QTest::newRow("confermato, poi la fine") << true << true << false;
    QTest::newRow("durante un'unità") << true << false << true;
}

// A settings change is asked, confirmed, saved, logged, and the slots start
// again on it, after any unit in its dialogue has ended as it would have;
// one not confirmed leaves all as it was. The log's CSV holds units only.
void TstBanco::cambio()
{
    QFETCH(bool, si);
    QFETCH(bool, interrotto);
    QFETCH(bool, unita);
    QTemporaryDir d;
    QVERIFY(d.isValid());
    SimulatoriPosto sim;
    // The next unit comes well after the silence that tells this one out.
    if (unita)
        QVERIFY(sim.avvia(d.filePath(QStringLiteral("s.json")),
                          {QStringLiteral("--swap-ms"), QStringLiteral("5000")}));
    const QString primo = unita ? sim.attuale->percorso() : d.filePath(QStringLiteral("assente1"));
    const Profilo p = profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false);
    const QString stazione = d.filePath(QStringLiteral("stazione.json"));
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")}, stazione);
    QString errore;
    QString avviso;
    QVERIFY(banco.apri_registro(registro, errore, avviso));
    banco.imposta(p, {{1, primo}});
    QSignalSpy configurato(&banco, &Banco::configurato);
    QSignalSpy domanda(&banco, &Banco::conferma_chiesta);
    QSignalSpy avvisi(&banco, &Banco::avviso);
    QList<Aspetto> prima_del_cambio; // the first slot's, until the change applies
    QObject::connect(&banco, &Banco::quadro_cambiato, &banco, [&](int i, const QuadroPosto &q) {
        if (i == 0 && configurato.size() == 1)
            prima_del_cambio << q.aspetto;
    });
    const QList<PostoConfigurato> nuovi{{2, unita ? primo : d.filePath(QStringLiteral("assente2"))},
                                        {5, d.filePath(QStringLiteral("assente5"))}};
    auto chiedi = [&] {
        banco.chiedi_cambio(Profilo{p.contenuto, true, std::nullopt, QString()}, nuovi);
        banco.conferma_cambio(si);
    };
    if (unita)
        QObject::connect(&banco, &Banco::unita_in_dialogo, &banco, [&](bool al_lavoro) {
            if (al_lavoro && domanda.isEmpty())
                chiedi();
        });
    banco.avvia();
    QCOMPARE(configurato.size(), 1);
    if (!unita)
        chiedi();
    QTRY_COMPARE_WITH_TIMEOUT(domanda.size(), 1, ATTESA_MS);
    if (interrotto) {
        // Saved and logged all the same, but the station ends, and stays ended.
        QSignalSpy concluso(&banco, &Banco::concluso);
        banco.interrompi();
        QTRY_COMPARE_WITH_TIMEOUT(concluso.size(), 1, ATTESA_MS);
        QVERIFY(!banco.in_corso());
        QCOMPARE(configurato.size(), 1);
    } else if (si) {
        QTRY_COMPARE_WITH_TIMEOUT(configurato.size(), 2, ATTESA_MS);
        // The slots paused until the change applied.
        QCOMPARE(prima_del_cambio.last(), Aspetto::Pausa);
    }
    if (unita) {
        cambio_dopo_unita(registro, prima_del_cambio);
        if (QTest::currentTestFailed())
            return;
    }
    const bool cambiato = si && !interrotto;
    QCOMPARE(avvisi.size(), 0);
    QCOMPARE(banco.posti().size(), cambiato ? 2 : 1);
    QCOMPARE(banco.profilo().verifica, cambiato);
    const auto salvati = file_stazione::carica(stazione);
    QVERIFY(std::holds_alternative<QList<PostoConfigurato>>(salvati));
    QCOMPARE(std::get<QList<PostoConfigurato>>(salvati).size(), si ? 2 : 0);
    registro_cambio(banco, registro, d.filePath(QStringLiteral("registro.csv")), si ? 1 : 0);
    banco.interrompi();
    QTRY_VERIFY2_WITH_TIMEOUT(!banco.in_corso(), "the station did not end", ATTESA_MS);
}

// The log holds the change once it is confirmed, and its CSV the units alone.
void TstBanco::registro_cambio(Banco &banco, const QString &registro, const QString &csv, int cambi)
{
    QList<QJsonObject> eventi;
    qsizetype unita_registrate = 0;
    for (const QJsonObject &o : righe_json(carica_tutto(registro))) {
        if (o.contains(QLatin1String("evento")))
            eventi << o;
        else
            ++unita_registrate;
    }
    QCOMPARE(eventi.size(), cambi);
    for (const QJsonObject &e : std::as_const(eventi)) {
        QCOMPARE(e.value("evento").toString(), QStringLiteral("impostazioni"));
        QCOMPARE(e.value("posti").toArray().size(), 2);
    }
    QSignalSpy esportato(&banco, &Banco::esportato);
    banco.esporta_csv(csv);
    QCOMPARE(esportato.size(), 1);
    QCOMPARE(esportato.first().at(1).toString(), QString());
    QVERIFY(carica_tutto(csv).startsWith(rapporto::intestazione_csv()));
    QCOMPARE(carica_tutto(csv).count('\n'), 1 + unita_registrate);
}

// The unit that was in its dialogue ended as it would have, and was taken
// out before the slot paused; the change applied after it, and the next unit
// ran on the new profile, on the slot given the socket.
void TstBanco::cambio_dopo_unita(const QString &registro, const QList<Aspetto> &prima_del_cambio)
{
    QVERIFY(prima_del_cambio.contains(Aspetto::Riuscito));
    QVERIFY(prima_del_cambio.indexOf(Aspetto::Riuscito) < prima_del_cambio.indexOf(Aspetto::Pausa));
    auto righe = [&] { return righe_json(carica_tutto(registro)); };
    QTRY_VERIFY2_WITH_TIMEOUT(righe().size() >= 3, "no unit on the new profile", 2 * ATTESA_MS);
    const QList<QJsonObject> r = righe();
    QCOMPARE(r.at(0).value("evento").toString(), QStringLiteral("impostazioni"));
    QCOMPARE(r.at(1).value("posto").toInt(), 1);
    QCOMPARE(r.at(1).value("esito").toInt(), esiti::SUCCESSO);
    QCOMPARE(r.at(1).value("comando").toString(), QStringLiteral("program"));
    QCOMPARE(r.at(2).value("posto").toInt(), 2);
    QCOMPARE(r.at(2).value("comando").toString(), QStringLiteral("verify"));
}

// A serial device plugged in for a slot is found, a pseudo-terminal too, so
// that a simulator can stand in for an adapter; a search that finds none
// ends, and finds nothing more. Another test's terminal may come first: the
// search is then made again.
void TstBanco::assegnazione()
{
    QTemporaryDir d;
    QVERIFY(d.isValid());
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                d.filePath(QStringLiteral("stazione.json")));
    QSignalSpy trovate(&banco, &Banco::presa_trovata);
    QSignalSpy scadute(&banco, &Banco::assegnazione_scaduta);
    constexpr int TENTATIVI = 5;
    std::list<ProcessoSimulatore> sim;
    QString trovata;
    for (int i = 0; i < TENTATIVI && (sim.empty() || trovata != sim.back().percorso()); ++i) {
        banco.assegna(3);
        QVERIFY(sim.emplace_back(QStringList{QStringLiteral("--silent")}).avvia());
        QTRY_COMPARE_WITH_TIMEOUT(trovate.size(), i + 1, ATTESA_MS);
        QCOMPARE(trovate.last().at(0).toInt(), 3);
        trovata = trovate.last().at(1).toString();
    }
    QCOMPARE(trovata, sim.back().percorso());
    QCOMPARE(scadute.size(), 0);

    banco.imposta_assegnazione(100);
    for (int i = 0; i < TENTATIVI && scadute.isEmpty(); ++i) {
        const qsizetype prima = trovate.size();
        banco.assegna(4);
        QTRY_VERIFY2_WITH_TIMEOUT(scadute.size() + trovate.size() > prima, "the search never ended",
                                  ATTESA_MS);
    }
    QCOMPARE(scadute.size(), 1);
    QCOMPARE(scadute.first().at(0).toInt(), 4);
    const qsizetype prima = trovate.size();
    QVERIFY(sim.emplace_back(QStringList{QStringLiteral("--silent")}).avvia());
    QTest::qWait(500);
    QCOMPARE(trovate.size(), prima);
}

QTEST_GUILESS_MAIN(TstBanco)
#include "tst_banco.moc"
