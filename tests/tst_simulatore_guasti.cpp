// SPDX-License-Identifier: GPL-3.0-or-later
// m5sim's faults: acknowledgements, cells, random replies, bursts, delays, hang-ups, swaps.

#include "blocco.h"
#include "cartella_prova.h"
#include "linea_grezza.h"
#include "linea_simulatore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

#include <optional>

using namespace linea_grezza;

namespace {
constexpr int VALORE_SCRITTO = 0xA5;
} // namespace

class TestSimulatoreGuasti : public QObject
{
    Q_OBJECT

private:
    CartellaProva m_cartella;

private slots:
    void initTestCase();

    void guasti_conferma_data();
    void guasti_conferma();
    void cella_corrotta_data();
    void cella_corrotta();
    void risposte_casuali_data();
    void risposte_casuali();
    void seme_data();
    void seme();
    void raffica_data();
    void raffica();
    void ritardo_celle_data();
    void ritardo_celle();
    void cambio_unita_data();
    void cambio_unita();
    void riaggancio_data();
    void riaggancio();
};

void TestSimulatoreGuasti::initTestCase()
{
    QVERIFY(m_cartella.valida());
}

void TestSimulatoreGuasti::guasti_conferma_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("cella");
    QTest::addColumn<QByteArray>("prima");
    QTest::addColumn<QByteArray>("conferma");
    QTest::addColumn<QByteArray>("riletto");

    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    const auto riga = [&](const char *nome, const QStringList &argomenti, int cella,
                          const QByteArray &conferma) -> QTestData & {
        return QTest::newRow(nome) << argomenti << cella << byte({fabbrica[cella]}) << conferma;
    };
    const QByteArray scritto = byte({VALORE_SCRITTO});
    riga("nessun guasto", {}, 10, "K") << scritto;
    riga("no-ack-from, sotto", {"--no-ack-from", "20"}, 19, "K") << scritto;
    riga("no-ack-from, uguale", {"--no-ack-from", "20"}, 20, {}) << scritto;
    riga("no-ack-from, sopra", {"--no-ack-from", "20"}, 63, {}) << scritto;
    riga("bad-ack-at, uguale", {"--bad-ack-at", "7"}, 7, "X") << scritto;
    riga("bad-ack-at, altra", {"--bad-ack-at", "7"}, 8, "K") << scritto;
    riga("double-ack-at, uguale", {"--double-ack-at", "3"}, 3, "KK") << scritto;
    riga("double-ack-at, altra", {"--double-ack-at", "3"}, 2, "K") << scritto;
    riga("lose-write-at, uguale", {"--lose-write-at", "7"}, 7, "K") << byte({fabbrica[7]});
    riga("lose-write-at, altra", {"--lose-write-at", "7"}, 8, "K") << scritto;
    // Sound until written: the read before the write is right.
    riga("flip-after-write, uguale", {"--flip-after-write", "7"}, 7, "K")
        << byte({VALORE_SCRITTO ^ 0x5A});
    riga("flip-after-write, altra", {"--flip-after-write", "7"}, 8, "K") << scritto;
    QTest::newRow("no-reply-at, uguale") << QStringList{"--no-reply-at", "7"} << 7 << QByteArray()
                                         << QByteArray("K") << QByteArray();
    riga("no-reply-at, altra", {"--no-reply-at", "7"}, 8, "K") << scritto;
}

void TestSimulatoreGuasti::guasti_conferma()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, cella);
    QFETCH(QByteArray, prima);
    QFETCH(QByteArray, conferma);
    QFETCH(QByteArray, riletto);

    LineaSimulatore linea(argomenti);
    if (!linea.entra())
        return;

    // The reads around the write show both the exact acknowledgement and
    // what the cell holds.
    QVERIFY(invia(linea.fd, byte({'R', cella, 'W', cella, VALORE_SCRITTO, 'R', cella})));
    const QByteArray atteso = prima + conferma + riletto;
    QCOMPARE(leggi(linea.fd, atteso.size(), ATTESA_MS), atteso);
    QCOMPARE(leggi_per(linea.fd, 200), QByteArray());
}

void TestSimulatoreGuasti::cella_corrotta_data()
{
    QTest::addColumn<int>("cella");

    QTest::newRow("prima") << 0;
    QTest::newRow("in mezzo") << 13;
    QTest::newRow("ultima") << 63;
}

void TestSimulatoreGuasti::cella_corrotta()
{
    QFETCH(int, cella);

    LineaSimulatore linea({"--corrupt-cell", QString::number(cella)});
    if (!linea.entra())
        return;

    QByteArray atteso = come_byte(blocco_fabbrica(Banda::UHF));
    atteso[cella] = static_cast<char>(atteso[cella] ^ 0x5A);
    QVERIFY(invia(linea.fd, letture_di_tutte()));
    QCOMPARE(leggi(linea.fd, NUM_CELLE, ATTESA_MS), atteso);

    // The cell itself is fine: what it stores comes back altered, every time.
    QVERIFY(invia(linea.fd, byte({'W', cella, 0x33, 'R', cella})));
    QCOMPARE(leggi(linea.fd, 2, ATTESA_MS), byte({'K', 0x33 ^ 0x5A}));
}

void TestSimulatoreGuasti::risposte_casuali_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("letture");
    QTest::addColumn<int>("scritture");
    QTest::addColumn<int>("sostituite_min");
    QTest::addColumn<int>("sostituite_max");
    QTest::addColumn<int>("aggiunte_min");
    QTest::addColumn<int>("aggiunte_max");

    // A random byte may by chance be the right one.
    QTest::newRow("garbage-reads 1")
        << QStringList{"--garbage-reads", "1"} << 24 << 8 << 23 << 24 << 0 << 0;
    QTest::newRow("garbage-reads 0.5")
        << QStringList{"--garbage-reads", "0.5"} << 64 << 0 << 16 << 48 << 0 << 0;
    QTest::newRow("extra-bytes 1")
        << QStringList{"--extra-bytes", "1"} << 24 << 24 << 0 << 0 << 48 << 48;
    QTest::newRow("extra-bytes 0.5")
        << QStringList{"--extra-bytes", "0.5"} << 32 << 32 << 0 << 0 << 16 << 48;
    QTest::newRow("entrambi") << QStringList{"--garbage-reads", "1", "--extra-bytes", "1"} << 24
                              << 8 << 23 << 24 << 32 << 32;
}

void TestSimulatoreGuasti::risposte_casuali()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, letture);
    QFETCH(int, scritture);
    QFETCH(int, sostituite_min);
    QFETCH(int, sostituite_max);
    QFETCH(int, aggiunte_min);
    QFETCH(int, aggiunte_max);

    LineaSimulatore linea(argomenti);
    if (!linea.entra())
        return;

    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    QByteArray richieste;
    QByteArray esatte; // the sound reply to each request
    for (int i = 0; i < letture; ++i) {
        richieste += byte({'R', i});
        esatte += static_cast<char>(fabbrica[i]);
    }
    for (int i = 0; i < scritture; ++i) {
        richieste += byte({'W', 20 + i, 0x33});
        esatte += 'K';
    }
    QList<QByteArray> risposte;
    linea.scambia(richieste, risposte);
    if (QTest::currentTestFailed())
        return;

    // Only the byte that completes a request is answered, with the sound
    // reply or a random byte in its place, then 1-3 bytes more or none.
    QCOMPARE(risposte.size(), richieste.size());
    int sostituite = 0;
    int aggiunte = 0;
    QSet<qsizetype> quante_in_piu;
    for (int r = 0, i = 0; r < esatte.size(); ++r) {
        const int ultimo = i + (r < letture ? 1 : 2);
        for (; i < ultimo; ++i)
            QCOMPARE(risposte[i], QByteArray());
        const QByteArray &risposta = risposte[i++];
        QVERIFY2(risposta.size() >= 1 && risposta.size() <= 4, risposta.toHex().constData());
        if (risposta[0] != esatte[r]) {
            QVERIFY2(r < letture, "a write acknowledgement was replaced");
            ++sostituite;
        }
        if (risposta.size() > 1) {
            ++aggiunte;
            quante_in_piu.insert(risposta.size() - 1);
        }
    }
    QVERIFY2(sostituite >= sostituite_min && sostituite <= sostituite_max,
             qPrintable(QString::number(sostituite)));
    QVERIFY2(aggiunte >= aggiunte_min && aggiunte <= aggiunte_max,
             qPrintable(QString::number(aggiunte)));
    if (aggiunte >= 16)
        QCOMPARE(quante_in_piu, (QSet<qsizetype>{1, 2, 3}));
}

void TestSimulatoreGuasti::seme_data()
{
    QTest::addColumn<QStringList>("primo");
    QTest::addColumn<QStringList>("secondo");
    QTest::addColumn<bool>("uguali");

    QTest::newRow("stesso seme") << QStringList{"--seed", "7"} << QStringList{"--seed", "7"}
                                 << true;
    QTest::newRow("semi diversi") << QStringList{"--seed", "7"} << QStringList{"--seed", "8"}
                                  << false;
    QTest::newRow("predefinito 1") << QStringList{} << QStringList{"--seed", "1"} << true;
    QTest::newRow("solo i bit alti diversi")
        << QStringList{"--seed", "1"} << QStringList{"--seed", "4294967297"} << false;
    QTest::newRow("massimo") << QStringList{"--seed", "18446744073709551615"}
                             << QStringList{"--seed", "18446744073709551615"} << true;
}

void TestSimulatoreGuasti::seme()
{
    QFETCH(QStringList, primo);
    QFETCH(QStringList, secondo);
    QFETCH(bool, uguali);

    const QStringList guasti{"--garbage-reads", "0.5", "--extra-bytes", "0.5",
                             "--burst-after",   "5"};
    QByteArray richieste = letture_di_tutte();
    for (int i = 0; i < 8; ++i)
        richieste += byte({'W', i, i});
    QByteArray uscite[2];
    for (int volta = 0; volta < 2; ++volta) {
        LineaSimulatore linea(guasti + (volta == 0 ? primo : secondo));
        if (!linea.entra())
            return;
        QList<QByteArray> risposte;
        linea.scambia(richieste, risposte);
        if (QTest::currentTestFailed())
            return;
        for (const QByteArray &r : std::as_const(risposte))
            uscite[volta] += r;
    }
    QCOMPARE(uscite[0] == uscite[1], uguali);
}

void TestSimulatoreGuasti::raffica_data()
{
    QTest::addColumn<int>("dopo");
    QTest::addColumn<int>("indice"); // of the byte it follows, in the dialogue below

    QTest::newRow("dopo U") << 1 << 0;
    QTest::newRow("dopo una lettura") << 3 << 2;
    QTest::newRow("dopo una scrittura") << 8 << 7;
    QTest::newRow("oltre il dialogo") << 20 << -1;
}

void TestSimulatoreGuasti::raffica()
{
    QFETCH(int, dopo);
    QFETCH(int, indice);

    LineaSimulatore linea({"--burst-after", QString::number(dopo), "--announce-ms", "60000"});
    if (!linea.apri())
        return;
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));

    const Blocco &fabbrica = blocco_fabbrica(Banda::UHF);
    const QByteArray dialogo = byte({'U', 'R', 1, 'R', 2, 'W', 20, 0x33, 'R', 20});
    const QList<QByteArray> esatte{
        {}, {}, byte({fabbrica[1]}), {}, byte({fabbrica[2]}), {}, {}, "K", {}, "\x33"};
    // Twice: once per dialogue, not once in all.
    for (int volta = 0; volta < 2; ++volta) {
        QList<QByteArray> risposte;
        linea.scambia(dialogo, risposte);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(risposte.size(), esatte.size());
        for (qsizetype i = 0; i < risposte.size(); ++i) {
            QVERIFY2(risposte[i].startsWith(esatte[i]), qPrintable(QString::number(i)));
            const qsizetype raffica = risposte[i].size() - esatte[i].size();
            if (i == indice)
                QVERIFY2(raffica >= 1 && raffica <= 8, qPrintable(QString::number(raffica)));
            else
                QCOMPARE(raffica, 0);
        }
        QVERIFY(invia(linea.fd, "E"));
        QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));
    }
}

void TestSimulatoreGuasti::ritardo_celle_data()
{
    QTest::addColumn<QStringList>("argomenti");
    // Each group sent at once, its replies read before the next.
    QTest::addColumn<QList<QList<QByteArray>>>("invii");
    QTest::addColumn<QList<int>>("ritardi_ms"); // the least for each reply
    QTest::addColumn<QByteArray>("atteso");

    using Invii = QList<QList<QByteArray>>;
    const Blocco &f = blocco_fabbrica(Banda::UHF);
    // The reply to R7 waits behind the delayed one.
    QTest::newRow("una cella") << QStringList{"--delay-at", "5", "--delay-ms", "300"}
                               << Invii{{byte({'R', 3}), byte({'R', 5}), byte({'R', 7})}}
                               << QList<int>{0, 300, 300} << byte({f[3], f[5], f[7]});
    QTest::newRow("più celle, scrittura")
        << QStringList{"--delay-at", "3,9,15", "--delay-ms", "200"}
        << Invii{{byte({'R', 4})},
                 {byte({'W', 9, 0x21})},
                 {byte({'R', 15})},
                 {byte({'R', 3})},
                 {byte({'R', 9})}}
        << QList<int>{0, 200, 200, 200, 200} << byte({f[4], 'K', f[15], f[3], 0x21});
    QTest::newRow("con reply-delay-ms")
        << QStringList{"--reply-delay-ms", "100", "--delay-at", "5", "--delay-ms", "150"}
        << Invii{{byte({'R', 5})}, {byte({'R', 6})}} << QList<int>{250, 100} << byte({f[5], f[6]});
}

void TestSimulatoreGuasti::ritardo_celle()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QList<QList<QByteArray>>, invii);
    QFETCH(QList<int>, ritardi_ms);
    QFETCH(QByteArray, atteso);

    LineaSimulatore linea(argomenti);
    if (!linea.entra())
        return;

    QByteArray letti;
    for (const QList<QByteArray> &gruppo : std::as_const(invii)) {
        QVERIFY(invia(linea.fd, gruppo.join()));
        letti += leggi(linea.fd, gruppo.size(), ATTESA_MS);
    }
    QCOMPARE(letti, atteso);

    // Positions in the trace of the bytes after the "U".
    const QList<ByteTraccia> traccia = linea.sim.traccia();
    QList<qsizetype> entrate, uscite;
    for (qsizetype i = 0; i < traccia.size(); ++i) {
        if (traccia[i].entrata)
            entrate << i;
        else if (!entrate.isEmpty())
            uscite << i;
    }
    entrate.removeFirst();
    QCOMPARE(uscite.size(), atteso.size());
    qsizetype entrato = 0;
    int k = 0;
    for (const QList<QByteArray> &gruppo : std::as_const(invii)) {
        const qsizetype fine_gruppo = entrate[entrato + gruppo.join().size() - 1];
        for (const QByteArray &richiesta : gruppo) {
            entrato += richiesta.size();
            const ByteTraccia &completa = traccia[entrate[entrato - 1]];
            QVERIFY2(traccia[uscite[k]].us - completa.us >= ritardi_ms[k] * 1000LL,
                     qPrintable(QString::number(k)));
            // Still receiving while a reply waits.
            if (ritardi_ms[k] > 0)
                QVERIFY2(uscite[k] > fine_gruppo, qPrintable(QString::number(k)));
            ++k;
        }
    }
}

void TestSimulatoreGuasti::cambio_unita_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("primo");
    QTest::addColumn<QByteArray>("successivo");
    QTest::addColumn<QString>("eeprom");

    const QByteArray uhf = come_byte(blocco_fabbrica(Banda::UHF));
    const QByteArray vhf = come_byte(blocco_fabbrica(Banda::VHF));
    QByteArray contenuto;
    for (int i = 0; i < NUM_CELLE; ++i)
        contenuto.append(static_cast<char>(i * 3 + 1));
    const QString eeprom = m_cartella.percorso(QStringLiteral("cambio.eeprom"));
    QFile::remove(eeprom);

    QTest::newRow("come il primo") << QStringList{"--block", "vhf"} << vhf << vhf << QString();
    QTest::newRow("next-block vhf")
        << QStringList{"--next-block", "vhf"} << uhf << vhf << QString();
    QTest::newRow("eeprom, next-block da file")
        << QStringList{"--eeprom", eeprom, "--next-block", m_cartella.file_di(contenuto)} << uhf
        << contenuto << eeprom;
}

void TestSimulatoreGuasti::cambio_unita()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, primo);
    QFETCH(QByteArray, successivo);
    QFETCH(QString, eeprom);

    constexpr int CAMBIO_MS = 400;
    const QString riepilogo = m_cartella.percorso(QStringLiteral("cambio.json"));
    LineaSimulatore linea(argomenti + QStringList{"--swap-ms", QString::number(CAMBIO_MS),
                                                  "--announce-ms", "100", "--flip-after-write",
                                                  "10", "--delay-at", "1", "--delay-ms", "100",
                                                  "--summary", riepilogo});
    if (!linea.entra())
        return;

    QVERIFY(invia(linea.fd, byte({'R', 0, 'W', 10, 0x4D, 'R', 10})));
    QCOMPARE(leggi(linea.fd, 3, ATTESA_MS), byte({primo[0], 'K', 0x4D ^ 0x5A}));
    // Taken away at the "E" with the reply it still held back; what follows
    // meets no unit.
    const QByteArray ignorati = byte({'U', 'R', 0});
    QVERIFY(invia(linea.fd, byte({'R', 1, 'E'}) + ignorati));
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));
    const qsizetype fine_primo = linea.sim.ricevuti().size() - ignorati.size() - 1;

    // The next unit, its cells sound: nothing of the first one's faults.
    QVERIFY(invia(linea.fd, "U" + letture_di_tutte()));
    QCOMPARE(leggi(linea.fd, NUM_CELLE, ATTESA_MS), successivo);
    if (!eeprom.isEmpty()) {
        QFile file(eeprom);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), successivo);
    }
    linea.sim.termina();

    // Nothing went out from the "E" until the swap was over.
    const QList<ByteTraccia> traccia = linea.sim.traccia();
    qsizetype entrati = 0;
    std::optional<qint64> fine;
    for (const ByteTraccia &b : traccia) {
        if (b.entrata && ++entrati == fine_primo + 1)
            fine = b.us;
        else if (!b.entrata && fine) {
            QVERIFY2(b.us >= *fine + CAMBIO_MS * 1000, qPrintable(QString::number(b.us - *fine)));
            break;
        }
    }
    QVERIFY(fine);
    QCOMPARE(linea.sim.ricevuti().mid(fine_primo, 1 + ignorati.size()), "E" + ignorati);

    QFile file(riepilogo);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("unita").toInt(), 2);
    QCOMPARE(json.value("dialoghi").toInt(), 2);
    QCOMPARE(json.value("scritture").toInt(), 1);
    QCOMPARE(celle_di(json), successivo);
}

void TestSimulatoreGuasti::riaggancio_data()
{
    QTest::addColumn<int>("dopo");
    QTest::addColumn<QList<QByteArray>>("richieste");
    QTest::addColumn<QByteArray>("risposte");

    using Richieste = QList<QByteArray>;
    // Bytes sent while announcing count too.
    QTest::newRow("durante l'annuncio") << 2 << Richieste{"Z", "Z"} << QByteArray();
    QTest::newRow("al primo U") << 1 << Richieste{"U"} << QByteArray();
    QTest::newRow("dopo una lettura")
        << 4 << Richieste{"U", byte({'R', 1}), "R"} << byte({blocco_fabbrica(Banda::UHF)[1]});
    // The last byte completes the read, but the line is gone before the answer.
    QTest::newRow("a lettura completa") << 3 << Richieste{"U", byte({'R', 1})} << QByteArray();
}

void TestSimulatoreGuasti::riaggancio()
{
    QFETCH(int, dopo);
    QFETCH(QList<QByteArray>, richieste);
    QFETCH(QByteArray, risposte);

    LineaSimulatore linea({"--hangup-after", QString::number(dopo)});
    if (!linea.apri())
        return;
    QCOMPARE(leggi(linea.fd, 1, ATTESA_MS), QByteArray("K"));

    // One request at a time, each answer read before the next request: an
    // answer still in flight when the cable goes is lost, as on a real line.
    QByteArray arrivati;
    int inviati = 0;
    for (const QByteArray &richiesta : std::as_const(richieste)) {
        QVERIFY(invia(linea.fd, richiesta));
        inviati += richiesta.size();
        if (inviati < dopo) {
            QVERIFY(linea.sim.attendi_ricevuti(inviati, ATTESA_MS));
            arrivati += leggi_per(linea.fd, 100);
        }
    }
    QVERIFY(attendi_riaggancio(linea.fd, ATTESA_MS, arrivati));
    arrivati.replace("K", ""); // announcements that crossed our bytes
    QCOMPARE(arrivati, risposte);
    QVERIFY(linea.sim.attendi_fine(ATTESA_MS));
    QCOMPARE(linea.sim.esito(), 0);
    QCOMPARE(linea.sim.ricevuti().size(), dopo);
}

QTEST_GUILESS_MAIN(TestSimulatoreGuasti)
#include "tst_simulatore_guasti.moc"
