// SPDX-License-Identifier: GPL-3.0-or-later
#include "collegamento.h"
#include "controlli_prova.h"
#include "processo_simulatore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <initializer_list>
#include <optional>
#include <utility>

using Campo = Controlli::Campo;
using Abilitabile = Controlli::Abilitabile;
using EsitoTransazione = Collegamento::EsitoTransazione;

namespace {
enum class Azione { Connetti, Programma, InitUhf, InitVhf };

constexpr int ATTESA_MS = 5000;
const Campo TUTTI_I_CAMPI[] = {Campo::Codice, Campo::Frequenza, Campo::TempoRele, Campo::TempoImp};

const QString ALTI = QStringLiteral("ToniAlti");
const QString BASSI = QStringLiteral("ToniBassi");
const QString MEMO = QStringLiteral("Memo");
const QString IMP = QStringLiteral("Imp");
const QString STRIP = QStringLiteral("Strip");
const QString BIDI = QStringLiteral("Bidi");

QByteArray modifica(QByteArray celle, std::initializer_list<std::pair<int, int>> valori)
{
    for (const auto &[i, v] : valori)
        celle[i] = static_cast<char>(v);
    return celle;
}

// Cells 0-13, the checksum (61) and the band letter (62); 14-60 hold 0 and 63 "Z".
QByteArray blocco(std::initializer_list<int> testa, int checksum, char lettera)
{
    QByteArray celle(NUM_CELLE, '\0');
    int i = 0;
    for (int v : testa)
        celle[i++] = static_cast<char>(v);
    celle[CELLA_CKS] = static_cast<char>(checksum);
    celle[CELLA_BANDA] = lettera;
    celle[CELLA_MARCA] = 'Z';
    return celle;
}

// The factory blocks, written out here rather than taken from the model.
QByteArray blocco_uhf()
{
    return blocco({0, 2, 6, 96, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0}, 235, 'U');
}

QByteArray blocco_vhf()
{
    return blocco({0, 0, 228, 0, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0}, 111, 'V');
}

QByteArray con_checksum(QByteArray celle)
{
    int somma = 0;
    for (int i = 0; i <= 13; ++i)
        somma += static_cast<quint8>(celle.at(i));
    celle[CELLA_CKS] = static_cast<char>((255 - somma) & 255);
    return celle;
}

QByteArray letture()
{
    QByteArray filo;
    for (int t = 0; t <= 62; ++t) {
        filo += 'R';
        filo += static_cast<char>(t);
    }
    return filo;
}

QByteArray scritture(const QByteArray &celle, int ultima)
{
    QByteArray filo;
    for (int i = 0; i <= ultima; ++i) {
        filo += 'W';
        filo += static_cast<char>(i);
        filo += celle.at(i);
    }
    return filo;
}

QByteArray filo_connessione()
{
    return "U" + letture();
}

QByteArray filo_programmazione(const QByteArray &celle)
{
    return scritture(celle, CELLA_CKS) + letture();
}

QByteArray filo_inizializzazione(const QByteArray &celle)
{
    return scritture(celle, CELLA_MARCA) + letture();
}

QStringList avanzamento(int massimo)
{
    QStringList voci{QStringLiteral("mostra"), QStringLiteral("massimo %1").arg(massimo)};
    for (int i = 0; i <= massimo; ++i)
        voci << QStringLiteral("valore %1").arg(i);
    voci << QStringLiteral("valore 0") << QStringLiteral("nascondi");
    return voci;
}

QString differenza(const QByteArray &avuto, const QByteArray &atteso)
{
    if (avuto == atteso)
        return QString();
    qsizetype i = 0;
    while (i < avuto.size() && i < atteso.size() && avuto.at(i) == atteso.at(i))
        ++i;
    return QStringLiteral("the line differs from byte %1 (got %2 bytes, expected %3): got [%4], "
                          "expected [%5]")
        .arg(i)
        .arg(avuto.size())
        .arg(atteso.size())
        .arg(QString::fromLatin1(avuto.mid(i, 12).toHex(' ')),
             QString::fromLatin1(atteso.mid(i, 12).toHex(' ')));
}

QStringList abilitazioni(const ControlliProva &c)
{
    QStringList voci;
    for (const auto &[controllo, abilitato] : c.abilitazioni)
        voci << QStringLiteral("%1 %2").arg(ControlliProva::nome(controllo)).arg(abilitato);
    return voci;
}

// Code, frequency, relay time, pulse time.
QStringList testi_campi(const QMap<Campo, QString> &testi)
{
    QStringList elenco;
    for (Campo campo : TUTTI_I_CAMPI)
        elenco << testi.value(campo);
    return elenco;
}

const QStringList VUOTI{QString(), QString(), QString(), QString()};

// "Campo=testo" entries, typed into the fields without the link seeing it.
void scrivi_campi(ControlliProva &c, const QStringList &modifiche)
{
    for (const QString &m : modifiche) {
        const qsizetype uguale = m.indexOf('=');
        const QString nome = m.left(uguale);
        for (Campo campo : TUTTI_I_CAMPI)
            if (ControlliProva::nome(campo) == nome)
                c.testi[campo] = m.mid(uguale + 1);
    }
}

void clicca(Collegamento &coll, const QStringList &opzioni)
{
    using Opzione = Controlli::Opzione;
    for (Opzione o : {Opzione::ToniAlti, Opzione::ToniBassi, Opzione::Memo, Opzione::Imp,
                      Opzione::Strip, Opzione::Bidi})
        if (opzioni.contains(ControlliProva::nome(o)))
            coll.opzione_cliccata(o);
}

EsitoTransazione esegui(Collegamento &coll, Azione azione)
{
    switch (azione) {
    case Azione::Connetti:
        return coll.Cmd_connetti_Click();
    case Azione::Programma:
        return coll.cmd_programma_Click();
    case Azione::InitUhf:
        return coll.Cmd_init_uhf_Click();
    case Azione::InitVhf:
        return coll.Cmd_init_vhf_Click();
    }
    return EsitoTransazione::Riuscito;
}

// A link on "Com 1" wired to its own simulator.
class Banco
{
public:
    explicit Banco(const QStringList &argomenti = {}) : sim(argomenti), coll(c)
    {
        avviato = sim.avvia();
        if (avviato)
            coll.porta().mappa(1, sim.percorso());
        // A fault that leaves a wait unending must fail the test, not stall the run.
        guardia.setSingleShot(true);
        QObject::connect(&guardia, &QTimer::timeout, &coll, [this] {
            if (coll.in_transazione())
                coll.interrompi();
        });
        guardia.start(30000);
    }

    bool ricevuti_almeno(qsizetype n) { return sim.ricevuti().size() >= n; }

    ProcessoSimulatore sim;
    ControlliProva c;
    Collegamento coll;
    QTimer guardia;
    bool avviato = false;
};

// What the simulator received, closed by an "E" sent after the link's last byte (on the link's
// own port while it is open), so that a byte sent out of turn cannot go unseen.
QByteArray filo_chiuso(Banco &b, qsizetype attesi)
{
    PortaSeriale altra;
    PortaSeriale &porta = b.coll.porta().aperta() ? b.coll.porta() : altra;
    altra.mappa(1, b.sim.percorso());
    if (!(porta.aperta() || porta.apri()) || !porta.invia("E"))
        qWarning("closing mark not sent: %s", qPrintable(porta.motivo()));
    b.sim.attendi_ricevuti(static_cast<int>(attesi + 1), ATTESA_MS);
    return b.sim.ricevuti();
}
} // namespace

Q_DECLARE_METATYPE(Azione)

#define FILO_UGUALE(avuto, atteso)                                                                 \
    do {                                                                                           \
        const QString d_ = differenza((avuto), (atteso));                                          \
        QVERIFY2(d_.isEmpty(), qPrintable(d_));                                                    \
    } while (false)

// Runs a step that may fail the test, and stops the test there if it did.
#define PASSO(passo)                                                                               \
    do {                                                                                           \
        passo;                                                                                     \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

class TstCollegamento : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void connessione_data();
    void connessione();
    void disconnessione_durante_connessione_data();
    void disconnessione_durante_connessione();
    void porta_mancante();

    void lettura_data();
    void lettura();
    void lettura_valori_anomali_data();
    void lettura_valori_anomali();
    void lettura_corrotta_data();
    void lettura_corrotta();
    void lettura_interrotta_dalla_linea();

    void programmazione_data();
    void programmazione();
    void programma_disabilitato_durante();
    void programmazione_rifiutata_data();
    void programmazione_rifiutata();
    void lettura_errata_blocca_programmazione();

    void inizializzazione_data();
    void inizializzazione();

    void scrittura_senza_conferma_data();
    void scrittura_senza_conferma();
    void conferma_doppia_data();
    void conferma_doppia();
    void disconnessione_durante_attesa_conferma();
    void riaggancio_data();
    void riaggancio();
    void transazione_annidata_data();
    void transazione_annidata();

    void uscita_durante_attesa_data();
    void uscita_durante_attesa();
    void a_porta_chiusa_data();
    void a_porta_chiusa();

    void supervisione_data();
    void supervisione();
    void supervisione_stato_sconosciuto_data();
    void supervisione_stato_sconosciuto();

    void scelta_porta_data();
    void scelta_porta();
    void scelta_porta_chiude_senza_e();
    void scelta_porta_durante_transazione();

private:
    QStringList blocco_da(const QByteArray &celle);
    void connetti(Banco &b);

    QTemporaryDir m_cartella;
    int m_file = 0;
};

void TstCollegamento::initTestCase()
{
    QVERIFY(m_cartella.isValid());
}

QStringList TstCollegamento::blocco_da(const QByteArray &celle)
{
    const QString percorso = m_cartella.filePath(QStringLiteral("blocco-%1.bin").arg(++m_file));
    QFile file(percorso);
    if (!file.open(QIODevice::WriteOnly) || file.write(celle) != celle.size())
        qFatal("cannot write %s", qPrintable(percorso));
    return {QStringLiteral("--block"), percorso};
}

// Connects, and forgets what the connect did to the front end.
void TstCollegamento::connetti(Banco &b)
{
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QVERIFY(b.sim.attendi_ricevuti(static_cast<int>(filo_connessione().size()), ATTESA_MS));
    b.c.azzera_registri();
}

// ---------------------------------------------------------------------------------------------
// Connect

void TstCollegamento::connessione_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<QByteArray>("rumore");
    QTest::addColumn<bool>("gia_aperta");

    QTest::newRow("rumore prima di K") << QStringList{"--noise", "XY"} << QByteArray("XY") << false;
    QTest::newRow("porta già aperta") << QStringList{} << QByteArray() << true;
}

void TstCollegamento::connessione()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, rumore);
    QFETCH(bool, gia_aperta);

    Banco b(argomenti);
    QVERIFY(b.avviato);
    if (gia_aperta)
        QVERIFY(b.coll.porta().apri());
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.stati, (QStringList{Collegamento::IN_ATTESA, Collegamento::CONNESSO}));
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size()), filo_connessione() + "E");
    if (!rumore.isEmpty())
        QVERIFY(b.sim.inviati().startsWith(rumore + "K"));
}

void TstCollegamento::disconnessione_durante_connessione_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<int>("dopo_byte"); // 0: some time into the wait for "K"
    QTest::addColumn<QStringList>("stati");

    QTest::newRow("attesa di K") << QStringList{"--silent"} << 0
                                 << QStringList{Collegamento::IN_ATTESA,
                                                Collegamento::NON_CONNESSO};
    QTest::newRow("lettura") << QStringList{} << 11
                             << QStringList{Collegamento::IN_ATTESA, Collegamento::CONNESSO,
                                            Collegamento::NON_CONNESSO};
}

void TstCollegamento::disconnessione_durante_connessione()
{
    QFETCH(QStringList, argomenti);
    QFETCH(int, dopo_byte);
    QFETCH(QStringList, stati);

    Banco b(argomenti);
    QVERIFY(b.avviato);
    const qint64 inizio = b.c.orologio.elapsed();
    QString stato_in_attesa;
    b.c.quando(
        [&] {
            return dopo_byte > 0 ? b.ricevuti_almeno(dopo_byte)
                                 : b.c.orologio.elapsed() - inizio >= 300;
        },
        [&] {
            stato_in_attesa = b.c.stato();
            b.coll.Cmd_disconetti_Click();
        });
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::PortaGuasta);
    QCOMPARE(stato_in_attesa, stati.at(stati.size() - 2));
    QCOMPARE(b.c.stati, stati);
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_PORTA});
    QVERIFY(b.c.eventi.indexOf(QStringLiteral("stato: ") + Collegamento::NON_CONNESSO) <
            b.c.eventi.indexOf(QStringLiteral("avviso: ") + Collegamento::ERRORE_PORTA));
    QVERIFY(!b.coll.porta().aperta());

    QVERIFY(QTest::qWaitFor([&] { return b.sim.ricevuti().endsWith('E'); }, ATTESA_MS));
    const QByteArray filo = b.sim.ricevuti();
    QVERIFY(filo.size() - 1 >= dopo_byte);
    if (dopo_byte == 0)
        QCOMPARE(filo, QByteArray("E"));
    else
        QVERIFY(filo_connessione().startsWith(filo.chopped(1)));
}

void TstCollegamento::porta_mancante()
{
    ControlliProva c;
    Collegamento coll(c);
    coll.porta().mappa(1, QStringLiteral("/dev/m5-nessuna-porta"));
    c.stato_attuale = Collegamento::NON_CONNESSO;

    QCOMPARE(coll.Cmd_connetti_Click(), EsitoTransazione::PortaGuasta);
    QCOMPARE(c.eventi, QStringList{QStringLiteral("avviso: ") + Collegamento::ERRORE_PORTA});
    QCOMPARE(c.stato(), Collegamento::NON_CONNESSO);
    QVERIFY(!coll.porta().aperta());
}

// ---------------------------------------------------------------------------------------------
// Read

void TstCollegamento::lettura_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<QStringList>("campi");
    QTest::addColumn<QStringList>("opzioni");
    QTest::addColumn<QString>("banda");

    const QStringList fabbrica{ALTI, STRIP, MEMO};
    const QString uhf = QStringLiteral("  UHF");
    const QString vhf = QStringLiteral("  VHF");
    QTest::newRow("UHF di fabbrica")
        << blocco_uhf() << QStringList{"1", "460", "30", "3"} << fabbrica << uhf;
    QTest::newRow("VHF di fabbrica")
        << blocco_vhf() << QStringList{"1", "161", "30", "3"} << fabbrica << vhf;
    // The band field follows the letter even when the frequency lies in the other band.
    QTest::newRow("valori di confine")
        << con_checksum(blocco({0, 0, 227, 114, 0, 136, 1, 16, 0, 0, 1, 255, 1, 1}, 0, 'U'))
        << QStringList{"4096", "160.9125", "255", "1"} << QStringList{BASSI, BIDI, IMP} << uhf;
    QTest::newRow("mezzo passo") << con_checksum(blocco(
                                        {0, 1, 239, 91, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0}, 0, 'U'))
                                 << QStringList{"1", "441.56875", "30", "3"} << fabbrica << uhf;
    QByteArray riservate = blocco_vhf();
    for (int i = 14; i <= 60; ++i)
        riservate[i] = static_cast<char>(0xAA);
    QTest::newRow("celle riservate piene")
        << riservate << QStringList{"1", "161", "30", "3"} << fabbrica << vhf;
}

void TstCollegamento::lettura()
{
    QFETCH(QByteArray, blocco);
    QFETCH(QStringList, campi);
    QFETCH(QStringList, opzioni);
    QFETCH(QString, banda);

    Banco b(blocco_da(blocco));
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.beep_suonati, 0);
    QCOMPARE(testi_campi(b.c.testi), campi);
    QCOMPARE(b.c.opzioni, opzioni);
    QCOMPARE(b.c.bande, QStringList{banda});
    QCOMPARE(b.c.progresso, avanzamento(62));
    QCOMPARE(b.coll.celle_lette(), blocco.left(63));
    QVERIFY(b.coll.ultima_lettura_valida());
}

void TstCollegamento::lettura_valori_anomali_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<int>("beep");
    QTest::addColumn<QStringList>("opzioni");
    QTest::addColumn<QStringList>("bande");
    QTest::addColumn<QString>("frequenza");

    const QStringList fabbrica{ALTI, STRIP, MEMO};
    const QStringList vhf{QStringLiteral("  VHF")};
    const QString letta = QStringLiteral("161");
    const QString prima = QStringLiteral("999"); // what the field showed before the read
    auto vhf_con = [](std::initializer_list<std::pair<int, int>> valori) {
        return con_checksum(modifica(blocco_vhf(), valori));
    };

    QTest::newRow("tre opzioni a 2")
        << vhf_con({{9, 2}, {10, 2}, {13, 2}}) << 3 << QStringList() << vhf << letta;
    QTest::newRow("toni a 2") << vhf_con({{9, 2}}) << 1 << QStringList{STRIP, MEMO} << vhf << letta;
    QTest::newRow("uscite a 255") << vhf_con({{10, 255}}) << 1 << QStringList{ALTI, STRIP} << vhf
                                  << letta;
    QTest::newRow("lettera di banda Z")
        << vhf_con({{62, 'Z'}}) << 0 << fabbrica << QStringList() << letta;
    QTest::newRow("lettera di banda 0")
        << vhf_con({{62, 0}}) << 0 << fabbrica << QStringList() << letta;
    QTest::newRow("frequenza sotto 100")
        << vhf_con({{1, 0}, {2, 0}, {3, 0}}) << 0 << fabbrica << vhf << prima;
    QTest::newRow("frequenza tra le finestre")
        << vhf_con({{1, 1}, {2, 55}, {3, 112}}) << 0 << fabbrica << vhf << prima;
    QTest::newRow("frequenza sopra 500")
        << vhf_con({{1, 2}, {2, 114}, {3, 34}}) << 0 << fabbrica << vhf << prima;
}

void TstCollegamento::lettura_valori_anomali()
{
    QFETCH(QByteArray, blocco);
    QFETCH(int, beep);
    QFETCH(QStringList, opzioni);
    QFETCH(QStringList, bande);
    QFETCH(QString, frequenza);

    Banco b(blocco_da(blocco));
    QVERIFY(b.avviato);
    b.c.testi[Campo::Frequenza] = QStringLiteral("999");
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.beep_suonati, beep);
    QCOMPARE(b.c.opzioni, opzioni);
    QCOMPARE(b.c.bande, bande);
    QCOMPARE(b.c.testo(Campo::Frequenza), frequenza);
    QCOMPARE(b.c.testo(Campo::Codice), QStringLiteral("1"));
}

void TstCollegamento::lettura_corrotta_data()
{
    QTest::addColumn<int>("cella");
    QTest::addColumn<bool>("errore");
    QTest::addColumn<QString>("codice");

    QTest::newRow("checksum") << 61 << true << "1";
    QTest::newRow("codice") << 8 << true << "91"; // 1 ^ 0x5A
    QTest::newRow("cella riservata") << 30 << false << "1";
}

void TstCollegamento::lettura_corrotta()
{
    QFETCH(int, cella);
    QFETCH(bool, errore);
    QFETCH(QString, codice);

    Banco b({"--corrupt-cell", QString::number(cella)});
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(),
             errore ? EsitoTransazione::ChecksumErrato : EsitoTransazione::Riuscito);
    QCOMPARE(b.coll.ultima_lettura_valida(), !errore);
    QCOMPARE(b.c.avvisi, errore ? QStringList{Collegamento::ERRORE_LETTURA} : QStringList());
    QCOMPARE(testi_campi(b.c.testi), (QStringList{codice, "460", "30", "3"}));
    QCOMPARE(b.c.opzioni, (QStringList{ALTI, STRIP, MEMO}));
    QCOMPARE(b.c.bande, QStringList{QStringLiteral("  UHF")});
    if (errore) {
        // The warning comes first; the fields are filled once it is closed.
        const qsizetype avviso =
            b.c.eventi.indexOf(QStringLiteral("avviso: ") + Collegamento::ERRORE_LETTURA);
        QVERIFY(avviso < b.c.eventi.indexOf(QStringLiteral("testo Codice: ") + codice));
    }
}

void TstCollegamento::lettura_interrotta_dalla_linea()
{
    // The simulator hangs up on the index byte of the request for cell 9.
    Banco b({"--hangup-after", "21"});
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::PortaGuasta);
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_PORTA});
    QCOMPARE(b.c.stati, (QStringList{Collegamento::IN_ATTESA, Collegamento::CONNESSO}));
    QVERIFY(b.c.progresso_visibile);
    QCOMPARE(b.c.progresso_valore, 9);
    QCOMPARE(b.coll.celle_lette(), blocco_uhf().left(9));
    QCOMPARE(b.c.eventi.filter(QStringLiteral("testo ")), QStringList());
    QCOMPARE(b.c.opzioni, QStringList());
    QCOMPARE(b.c.bande, QStringList());
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(b.sim.attendi_fine(ATTESA_MS));
    FILO_UGUALE(b.sim.ricevuti(), filo_connessione().left(21));
}

// ---------------------------------------------------------------------------------------------
// Programming

void TstCollegamento::programmazione_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<QStringList>("modifiche");
    QTest::addColumn<QStringList>("clic");
    QTest::addColumn<QByteArray>("atteso");
    QTest::addColumn<QStringList>("letti"); // code and frequency after the closing read

    const QByteArray uhf = blocco_uhf();
    const QByteArray vhf = blocco_vhf();
    QTest::newRow("codice 1234") << vhf << QStringList{"Codice=1234"} << QStringList()
                                 << modifica(vhf, {{7, 4}, {8, 210}, {61, 154}})
                                 << QStringList{"1234", "161"};
    QTest::newRow("codice 4096") << uhf << QStringList{"Codice=4096"} << QStringList()
                                 << modifica(uhf, {{7, 16}, {8, 0}, {61, 220}})
                                 << QStringList{"4096", "460"};
    QTest::newRow("frequenza 160.9125 VHF")
        << vhf << QStringList{"Frequenza=160.9125"} << QStringList()
        << modifica(vhf, {{1, 0}, {2, 227}, {3, 114}, {61, 254}}) << QStringList{"1", "160.9125"};
    QTest::newRow("frequenza 440.9125 UHF")
        << uhf << QStringList{"Frequenza=440.9125"} << QStringList()
        << modifica(uhf, {{1, 1}, {2, 238}, {3, 114}, {61, 242}}) << QStringList{"1", "440.9125"};
    // Between two channels: the window then shows the channel the receiver got.
    QTest::newRow("frequenza fuori griglia")
        << vhf << QStringList{"Frequenza=150.0025"} << QStringList()
        << modifica(vhf, {{2, 214}, {3, 34}, {61, 91}}) << QStringList{"1", "150.0125"};
    QTest::newRow("tempi e opzioni")
        << uhf << QStringList{"TempoRele=255", "TempoImp=1"} << QStringList{BASSI, IMP, BIDI}
        << modifica(uhf, {{9, 0}, {10, 1}, {11, 255}, {12, 1}, {13, 1}, {61, 11}})
        << QStringList{"1", "460"};
    // Cells 0 and 4-6 go back as read, the reserved ones as 0.
    const QByteArray propri = blocco({7, 0, 228, 0, 9, 8, 7, 0, 1, 1, 0, 30, 3, 0}, 217, 'V');
    QByteArray con_riservate = propri;
    for (int i = 14; i <= 60; ++i)
        con_riservate[i] = static_cast<char>(0xAA);
    QTest::newRow("celle non modificabili")
        << con_riservate << QStringList() << QStringList() << propri << QStringList{"1", "161"};
}

void TstCollegamento::programmazione()
{
    QFETCH(QByteArray, blocco);
    QFETCH(QStringList, modifiche);
    QFETCH(QStringList, clic);
    QFETCH(QByteArray, atteso);
    QFETCH(QStringList, letti);

    Banco b(blocco_da(blocco));
    PASSO(connetti(b));
    scrivi_campi(b.c, modifiche);
    clicca(b.coll, clic);

    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size() + 186 + 126),
                filo_connessione() + filo_programmazione(atteso) + "E");
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.progresso, avanzamento(61) + avanzamento(62));
    QCOMPARE(testi_campi(b.c.testi).mid(0, 2), letti);
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
    QVERIFY(b.coll.parametri().fleg.uguale(0));
    QVERIFY(b.coll.ultima_lettura_valida());
}

void TstCollegamento::programma_disabilitato_durante()
{
    Banco b;
    PASSO(connetti(b));
    struct Istantanea
    {
        bool programma = true;
        bool init = false;
        bool disconetti = false;
        double fleg = -1;
    };
    Istantanea scrittura, verifica;
    auto istantanea = [&b](Istantanea &i) {
        b.coll.Timer_stato_Timer();
        i.programma = b.c.abilitati.value(Abilitabile::Programma, true);
        i.init =
            b.c.abilitati.value(Abilitabile::InitUhf) && b.c.abilitati.value(Abilitabile::InitVhf);
        i.disconetti = b.c.abilitati.value(Abilitabile::Disconetti);
        i.fleg = b.coll.parametri().fleg.valore();
    };
    const qsizetype base = filo_connessione().size();
    b.c.quando([&] { return b.ricevuti_almeno(base + 30); }, [&] { istantanea(scrittura); });
    b.c.quando([&] { return b.ricevuti_almeno(base + 186 + 10); }, [&] { istantanea(verifica); });

    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.azioni_in_sospeso(), 0);
    for (const Istantanea &i : {scrittura, verifica}) {
        QCOMPARE(i.programma, false);
        QCOMPARE(i.fleg, 1.0);
        QVERIFY(i.init);
        QVERIFY(i.disconetti);
    }
    QVERIFY(b.coll.parametri().fleg.uguale(0));
    b.coll.Timer_stato_Timer();
    QCOMPARE(b.c.abilitati.value(Abilitabile::Programma), true);
}

void TstCollegamento::programmazione_rifiutata_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<QStringList>("modifiche");
    QTest::addColumn<QStringList>("avvisi");
    QTest::addColumn<EsitoTransazione>("esito");

    const QString banda = Collegamento::FUORI_BANDA;
    const QString range = Collegamento::FUORI_RANGE_RX;
    const QString valore = Collegamento::VALORE_FUORI_RANGE;
    QTest::newRow("160 su unità UHF") << blocco_uhf() << QStringList{"Frequenza=160"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    QTest::newRow("440 su unità VHF") << blocco_vhf() << QStringList{"Frequenza=440"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    // The other band's window: its offset value would pass, to another frequency.
    QTest::newRow("249 su unità UHF") << blocco_uhf() << QStringList{"Frequenza=249"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    QTest::newRow("250 su unità VHF") << blocco_vhf() << QStringList{"Frequenza=250"}
                                      << QStringList{banda} << EsitoTransazione::FuoriBanda;
    QTest::newRow("249.5 su unità UHF")
        << blocco_uhf() << QStringList{"Frequenza=249.5"} << QStringList{range, banda}
        << EsitoTransazione::FuoriBanda;
    QTest::newRow("249.5 su unità VHF")
        << blocco_vhf() << QStringList{"Frequenza=249.5"} << QStringList{range, banda}
        << EsitoTransazione::FuoriBanda;
    QTest::newRow("codice 70000") << blocco_uhf() << QStringList{"Codice=70000"}
                                  << QStringList{valore} << EsitoTransazione::ValoreFuoriRange;
    QTest::newRow("tempo relè 300") << blocco_uhf() << QStringList{"TempoRele=300"}
                                    << QStringList{valore} << EsitoTransazione::ValoreFuoriRange;
    QTest::newRow("tempo impulso 256") << blocco_uhf() << QStringList{"TempoImp=256"}
                                       << QStringList{valore} << EsitoTransazione::ValoreFuoriRange;
    QTest::newRow("60000 senza lettera di banda")
        << modifica(blocco_uhf(), {{62, 0}}) << QStringList{"Frequenza=60000"}
        << QStringList{range, valore} << EsitoTransazione::ValoreFuoriRange;
}

void TstCollegamento::programmazione_rifiutata()
{
    QFETCH(QByteArray, blocco);
    QFETCH(QStringList, modifiche);
    QFETCH(QStringList, avvisi);
    QFETCH(EsitoTransazione, esito);

    Banco b(blocco_da(blocco));
    PASSO(connetti(b));
    const auto letti = b.c.testi;
    scrivi_campi(b.c, modifiche);

    QCOMPARE(b.coll.cmd_programma_Click(), esito);
    QCOMPARE(b.c.avvisi, avvisi);
    QVERIFY(b.coll.parametri().fleg.uguale(0));
    QCOMPARE(b.c.eventi.filter(QStringLiteral("testo ")), QStringList());
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
    QVERIFY(b.coll.porta().aperta());
    b.coll.Timer_stato_Timer();
    QCOMPARE(b.c.abilitati.value(Abilitabile::Programma), true);

    // Corrected, the block read goes out unchanged: the refusal sent nothing and left nothing.
    b.c.testi = letti;
    b.c.azzera_registri();
    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size() + 186 + 126),
                filo_connessione() + filo_programmazione(blocco) + "E");
}

void TstCollegamento::lettura_errata_blocca_programmazione()
{
    Banco b({"--corrupt-cell", "61"});
    QVERIFY(b.avviato);
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::ChecksumErrato);
    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::LetturaDaRifare);
    QCOMPARE(b.c.avvisi, (QStringList{Collegamento::ERRORE_LETTURA, Collegamento::ERRORE_LETTURA}));
    QVERIFY(!b.coll.parametri().fleg.uguale(1));
    b.coll.Cmd_disconetti_Click();
    QVERIFY(b.sim.attendi_ricevuti(static_cast<int>(filo_connessione().size() + 1), ATTESA_MS));
    FILO_UGUALE(b.sim.ricevuti(), filo_connessione() + "E");

    // The same link, now on a sound receiver.
    ProcessoSimulatore sano;
    QVERIFY(sano.avvia());
    b.coll.porta().mappa(1, sano.percorso());
    b.c.azzera_registri();
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::Riuscito);
    QCOMPARE(b.c.avvisi, QStringList());
    b.coll.Cmd_disconetti_Click();
    const QByteArray atteso = filo_connessione() + filo_programmazione(blocco_uhf()) + "E";
    QVERIFY(sano.attendi_ricevuti(static_cast<int>(atteso.size()), ATTESA_MS));
    FILO_UGUALE(sano.ricevuti(), atteso);
}

// ---------------------------------------------------------------------------------------------
// Factory initialisation

void TstCollegamento::inizializzazione_data()
{
    QTest::addColumn<QByteArray>("blocco");
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<QByteArray>("scritto");
    QTest::addColumn<QStringList>("campi");
    QTest::addColumn<QString>("banda");

    // Neither the unit's band nor what the window shows changes what is written.
    QTest::newRow("UHF su unità VHF")
        << con_checksum(modifica(blocco_vhf(), {{7, 4}, {8, 210}, {11, 99}})) << Azione::InitUhf
        << blocco_uhf() << QStringList{"1", "460", "30", "3"} << QStringLiteral("  UHF");
    QTest::newRow("VHF su unità UHF")
        << blocco_uhf() << Azione::InitVhf << blocco_vhf() << QStringList{"1", "161", "30", "3"}
        << QStringLiteral("  VHF");
}

void TstCollegamento::inizializzazione()
{
    QFETCH(QByteArray, blocco);
    QFETCH(Azione, azione);
    QFETCH(QByteArray, scritto);
    QFETCH(QStringList, campi);
    QFETCH(QString, banda);

    Banco b(blocco_da(blocco));
    PASSO(connetti(b));
    scrivi_campi(b.c, {"Codice=77", "Frequenza=455", "TempoRele=5", "TempoImp=6"});
    const qsizetype base = filo_connessione().size();
    QMap<Campo, QString> prima_della_verifica;
    bool occupato = true;
    b.c.quando([&] { return b.ricevuti_almeno(base + 192 + 1); },
               [&] {
                   prima_della_verifica = b.c.testi;
                   occupato = b.coll.parametri().fleg.uguale(1);
               });

    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::Riuscito);
    FILO_UGUALE(filo_chiuso(b, base + 192 + 126),
                filo_connessione() + filo_inizializzazione(scritto) + "E");
    QCOMPARE(b.c.azioni_in_sospeso(), 0);
    QCOMPARE(testi_campi(prima_della_verifica), VUOTI);
    QVERIFY(!occupato);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.progresso, avanzamento(63) + avanzamento(62));
    QCOMPARE(testi_campi(b.c.testi), campi);
    QCOMPARE(b.c.opzioni, (QStringList{ALTI, STRIP, MEMO}));
    QCOMPARE(b.c.bande, QStringList{banda});
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
}

// ---------------------------------------------------------------------------------------------
// Failures of the writing transactions

void TstCollegamento::scrittura_senza_conferma_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<int>("cella");

    QTest::newRow("programmazione, nessuna risposta")
        << QStringList{"--no-ack-from", "0"} << Azione::Programma << 0;
    QTest::newRow("inizializzazione, nessuna risposta")
        << QStringList{"--no-ack-from", "0"} << Azione::InitUhf << 0;
    QTest::newRow("programmazione, risposta errata")
        << QStringList{"--bad-ack-at", "5"} << Azione::Programma << 5;
}

void TstCollegamento::scrittura_senza_conferma()
{
    QFETCH(QStringList, argomenti);
    QFETCH(Azione, azione);
    QFETCH(int, cella);

    Banco b(argomenti);
    PASSO(connetti(b));
    const qint64 inizio = b.c.orologio.elapsed();
    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::TimeOut);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size() + 3 * (cella + 1)),
                filo_connessione() + scritture(blocco_uhf(), cella) + "E");
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
    const qint64 attesa = b.c.istanti_avvisi.constFirst() - inizio;
    QVERIFY2(attesa >= 3500 && attesa < 6000, qPrintable(QString::number(attesa)));

    const QString avviso = QStringLiteral("avviso: ") + Collegamento::ERRORE_TIME_OUT;
    const QStringList coda{avviso,
                           QStringLiteral("progresso: nascondi"),
                           QStringLiteral("stato: ") + Collegamento::NON_CONNESSO,
                           QStringLiteral("testo Codice: "),
                           QStringLiteral("testo Frequenza: "),
                           QStringLiteral("testo TempoRele: "),
                           QStringLiteral("testo TempoImp: ")};
    QCOMPARE(b.c.eventi.mid(b.c.eventi.indexOf(avviso)), coda);
    QCOMPARE(b.c.progresso_valore, cella);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(b.coll.parametri().fleg.uguale(0));
}

void TstCollegamento::conferma_doppia_data()
{
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<QByteArray>("scritto");
    QTest::addColumn<int>("ultima");

    QTest::newRow("programmazione") << Azione::Programma << blocco_uhf() << CELLA_CKS;
    QTest::newRow("inizializzazione") << Azione::InitVhf << blocco_vhf() << CELLA_MARCA;
}

void TstCollegamento::conferma_doppia()
{
    QFETCH(Azione, azione);
    QFETCH(QByteArray, scritto);
    QFETCH(int, ultima);

    Banco b({"--double-ack-at", "10"});
    PASSO(connetti(b));
    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::ChecksumErrato);
    const QByteArray atteso = filo_connessione() + scritture(scritto, ultima) + letture();
    FILO_UGUALE(filo_chiuso(b, atteso.size()), atteso + "E");
    // Every reply is one behind: the last record's "K" is taken as cell 0.
    QCOMPARE(b.coll.celle_lette(), "K" + scritto.left(62));
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_LETTURA});
    QCOMPARE(b.c.stato(), Collegamento::CONNESSO);
    QVERIFY(!b.coll.parametri().fleg.uguale(1));
    QVERIFY(!b.coll.ultima_lettura_valida());
}

void TstCollegamento::disconnessione_durante_attesa_conferma()
{
    Banco b({"--no-ack-from", "5"});
    PASSO(connetti(b));
    const qsizetype base = filo_connessione().size();
    qint64 clic = -1;
    b.c.quando([&] { return b.ricevuti_almeno(base + 18); },
               [&] {
                   clic = b.c.orologio.elapsed();
                   b.coll.Cmd_disconetti_Click();
               });

    QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::TimeOut);
    FILO_UGUALE(filo_chiuso(b, base + 18 + 1),
                filo_connessione() + scritture(blocco_uhf(), 5) + "EE");
    QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
    // Well before the 4 s of the acknowledgement timer.
    QVERIFY(b.c.istanti_avvisi.constFirst() - clic < 3000);
    QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
    QCOMPARE(testi_campi(b.c.testi), VUOTI);
    QVERIFY(!b.c.progresso_visibile);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(b.coll.parametri().fleg.uguale(0));
}

void TstCollegamento::riaggancio_data()
{
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<int>("dopo");
    QTest::addColumn<EsitoTransazione>("esito");
    QTest::addColumn<QByteArray>("completo");
    QTest::addColumn<int>("valore"); // of the progress bar, left where the line went

    const int base = static_cast<int>(filo_connessione().size());
    const QByteArray programma = filo_connessione() + filo_programmazione(blocco_uhf());
    const QByteArray init = filo_connessione() + filo_inizializzazione(blocco_vhf());
    QTest::newRow("record della programmazione")
        << Azione::Programma << base + 3 * 10 + 2 << EsitoTransazione::TimeOut << programma << 10;
    QTest::newRow("verifica della programmazione")
        << Azione::Programma << base + 186 + 21 << EsitoTransazione::LetturaAbbandonata << programma
        << 10;
    QTest::newRow("record dell'inizializzazione")
        << Azione::InitVhf << base + 3 * 40 + 1 << EsitoTransazione::TimeOut << init << 40;
    QTest::newRow("verifica dell'inizializzazione")
        << Azione::InitVhf << base + 192 + 41 << EsitoTransazione::LetturaAbbandonata << init << 20;
}

void TstCollegamento::riaggancio()
{
    QFETCH(Azione, azione);
    QFETCH(int, dopo);
    QFETCH(EsitoTransazione, esito);
    QFETCH(QByteArray, completo);
    QFETCH(int, valore);

    Banco b({"--hangup-after", QString::number(dopo)});
    PASSO(connetti(b));
    QCOMPARE(esegui(b.coll, azione), esito);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(!b.coll.parametri().fleg.uguale(1));
    QVERIFY(b.sim.attendi_fine(ATTESA_MS));
    FILO_UGUALE(b.sim.ricevuti(), completo.left(dopo));
    if (esito == EsitoTransazione::TimeOut) {
        QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
        QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
        QCOMPARE(testi_campi(b.c.testi), VUOTI);
        QVERIFY(!b.c.progresso_visibile);
    } else {
        // Quietly, with the window as the abandoned read left it.
        QCOMPARE(b.c.avvisi, QStringList());
        QVERIFY(b.c.progresso_visibile);
    }
    QCOMPARE(b.c.progresso_valore, valore);

    if (esito == EsitoTransazione::LetturaAbbandonata && azione == Azione::Programma) {
        // The window still says " Connesso": the next programming finds the
        // line gone and says so through the time-out path, not as a bad read.
        b.c.avvisi.clear();
        QCOMPARE(b.coll.cmd_programma_Click(), EsitoTransazione::TimeOut);
        QCOMPARE(b.c.avvisi, QStringList{Collegamento::ERRORE_TIME_OUT});
        QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
    }
}

void TstCollegamento::transazione_annidata_data()
{
    QTest::addColumn<Azione>("esterna");
    QTest::addColumn<Azione>("interna");
    QTest::addColumn<int>("dopo");

    const int base = static_cast<int>(filo_connessione().size());
    QTest::newRow("Programma durante la lettura") << Azione::Connetti << Azione::Programma << 11;
    QTest::newRow("UHF durante la lettura") << Azione::Connetti << Azione::InitUhf << 11;
    QTest::newRow("UHF durante la programmazione")
        << Azione::Programma << Azione::InitUhf << base + 30;
    QTest::newRow("Connetti durante la programmazione")
        << Azione::Programma << Azione::Connetti << base + 30;
    QTest::newRow("Programma durante l'inizializzazione")
        << Azione::InitVhf << Azione::Programma << base + 30;
    QTest::newRow("VHF durante l'inizializzazione")
        << Azione::InitVhf << Azione::InitVhf << base + 30;
}

void TstCollegamento::transazione_annidata()
{
    QFETCH(Azione, esterna);
    QFETCH(Azione, interna);
    QFETCH(int, dopo);

    Banco b;
    QByteArray atteso = filo_connessione();
    if (esterna != Azione::Connetti)
        PASSO(connetti(b));
    if (esterna == Azione::Programma)
        atteso += filo_programmazione(blocco_uhf());
    else if (esterna == Azione::InitVhf)
        atteso += filo_inizializzazione(blocco_vhf());

    std::optional<EsitoTransazione> annidato;
    b.c.quando([&] { return b.ricevuti_almeno(dopo); },
               [&] { annidato = esegui(b.coll, interna); });
    QCOMPARE(esegui(b.coll, esterna), EsitoTransazione::Riuscito);
    QVERIFY(annidato.has_value());
    QCOMPARE(*annidato, EsitoTransazione::Occupato);
    QCOMPARE(b.c.beep_suonati, 1);
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, atteso.size()), atteso + "E");
}

// ---------------------------------------------------------------------------------------------
// Exit and disconnect

void TstCollegamento::uscita_durante_attesa_data()
{
    QTest::addColumn<QStringList>("argomenti");
    QTest::addColumn<Azione>("azione");
    QTest::addColumn<int>("dopo");         // bytes received; 0: some time into the wait
    QTest::addColumn<QByteArray>("prima"); // what precedes the "E", or all it may be cut from
    QTest::addColumn<bool>("esatto");

    const int base = static_cast<int>(filo_connessione().size());
    QTest::newRow("attesa di K") << QStringList{"--silent"} << Azione::Connetti << 0 << QByteArray()
                                 << true;
    QTest::newRow("lettura") << QStringList{} << Azione::Connetti << 11 << filo_connessione()
                             << false;
    QTest::newRow("attesa di conferma")
        << QStringList{"--no-ack-from", "3"} << Azione::Programma << base + 12
        << filo_connessione() + scritture(blocco_uhf(), 3) << true;
}

void TstCollegamento::uscita_durante_attesa()
{
    QFETCH(QStringList, argomenti);
    QFETCH(Azione, azione);
    QFETCH(int, dopo);
    QFETCH(QByteArray, prima);
    QFETCH(bool, esatto);

    Banco b(argomenti);
    QVERIFY(b.avviato);
    if (azione != Azione::Connetti)
        PASSO(connetti(b));
    const qint64 inizio = b.c.orologio.elapsed();
    b.c.quando(
        [&] { return dopo > 0 ? b.ricevuti_almeno(dopo) : b.c.orologio.elapsed() - inizio >= 300; },
        [&] { b.coll.Command4_Click(); });

    QCOMPARE(esegui(b.coll, azione), EsitoTransazione::Interrotto);
    QCOMPARE(b.c.terminazioni, 1);
    QCOMPARE(b.c.avvisi, QStringList());
    QCOMPARE(b.c.stato(), Collegamento::NON_CONNESSO);
    QVERIFY(!b.coll.porta().aperta());
    QVERIFY(!b.coll.parametri().fleg.uguale(1));

    QVERIFY(QTest::qWaitFor([&] { return b.sim.ricevuti().endsWith('E'); }, ATTESA_MS));
    const QByteArray filo = b.sim.ricevuti();
    if (esatto) {
        FILO_UGUALE(filo, prima + "E");
    } else {
        QVERIFY(filo.size() - 1 >= dopo);
        QVERIFY(prima.startsWith(filo.chopped(1)));
    }
}

void TstCollegamento::a_porta_chiusa_data()
{
    QTest::addColumn<bool>("esci");

    QTest::newRow("Disconetti") << false;
    QTest::newRow("ESCI") << true;
}

void TstCollegamento::a_porta_chiusa()
{
    QFETCH(bool, esci);

    Banco b;
    QVERIFY(b.avviato);
    scrivi_campi(b.c, {"Codice=1", "Frequenza=460", "TempoRele=30", "TempoImp=3"});
    if (esci)
        b.coll.Command4_Click();
    else
        b.coll.Cmd_disconetti_Click();
    QCOMPARE(b.c.stati, QStringList{Collegamento::NON_CONNESSO});
    QCOMPARE(b.c.terminazioni, esci ? 1 : 0);
    if (!esci)
        QCOMPARE(testi_campi(b.c.testi), VUOTI);
    QCOMPARE(b.c.avvisi, QStringList());
    FILO_UGUALE(filo_chiuso(b, 0), QByteArray("E"));
}

// ---------------------------------------------------------------------------------------------
// Supervision

void TstCollegamento::supervisione_data()
{
    QTest::addColumn<QString>("stato");
    QTest::addColumn<int>("fleg"); // -1: never set
    QTest::addColumn<bool>("connetti");
    QTest::addColumn<bool>("disconetti");
    QTest::addColumn<bool>("programma");
    QTest::addColumn<bool>("init");

    for (int fleg : {-1, 0, 1}) {
        const QByteArray f =
            fleg < 0 ? QByteArray("fleg non impostato") : "fleg " + QByteArray::number(fleg);
        QTest::newRow(("Non Connesso, " + f).constData())
            << Collegamento::NON_CONNESSO << fleg << true << false << false << false;
        QTest::newRow(("In Attesa, " + f).constData())
            << Collegamento::IN_ATTESA << fleg << false << true << false << false;
        QTest::newRow(("Connesso, " + f).constData())
            << Collegamento::CONNESSO << fleg << false << true << (fleg != 1) << true;
    }
}

void TstCollegamento::supervisione()
{
    QFETCH(QString, stato);
    QFETCH(int, fleg);
    QFETCH(bool, connetti);
    QFETCH(bool, disconetti);
    QFETCH(bool, programma);
    QFETCH(bool, init);

    ControlliProva c;
    Collegamento coll(c);
    c.stato_attuale = stato;
    if (fleg >= 0)
        coll.parametri().fleg = fleg;
    coll.Timer_stato_Timer();

    QCOMPARE(c.stati, QStringList());
    QCOMPARE(c.abilitazioni.size(), 6);
    QCOMPARE(c.abilitati.value(Abilitabile::Connetti), connetti);
    QCOMPARE(c.abilitati.value(Abilitabile::PortaCom), connetti);
    QCOMPARE(c.abilitati.value(Abilitabile::Disconetti), disconetti);
    QCOMPARE(c.abilitati.value(Abilitabile::Programma), programma);
    QCOMPARE(c.abilitati.value(Abilitabile::InitUhf), init);
    QCOMPARE(c.abilitati.value(Abilitabile::InitVhf), init);
}

void TstCollegamento::supervisione_stato_sconosciuto_data()
{
    QTest::addColumn<QString>("stato");

    QTest::newRow("vuoto") << QString();
    QTest::newRow("minuscolo") << " connesso";
    QTest::newRow("senza spazio iniziale") << "Connesso";
    QTest::newRow("spazio finale in più") << " Non Connesso ";
    QTest::newRow("senza spazio finale") << " In Attesa";
}

void TstCollegamento::supervisione_stato_sconosciuto()
{
    QFETCH(QString, stato);

    ControlliProva c;
    Collegamento coll(c);
    c.stato_attuale = stato;
    coll.Timer_stato_Timer();
    QCOMPARE(c.stati, QStringList{Collegamento::NON_CONNESSO});
    QCOMPARE(abilitazioni(c), QStringList());

    coll.Timer_stato_Timer();
    QCOMPARE(c.stati, QStringList{Collegamento::NON_CONNESSO});
    QCOMPARE(c.abilitati.value(Abilitabile::Connetti), true);
    QCOMPARE(c.abilitati.value(Abilitabile::PortaCom), true);
    QCOMPARE(c.abilitati.value(Abilitabile::Disconetti), false);
    QCOMPARE(c.abilitati.value(Abilitabile::Programma), false);
}

// ---------------------------------------------------------------------------------------------
// Port choice

void TstCollegamento::scelta_porta_data()
{
    QTest::addColumn<QString>("scelta");
    QTest::addColumn<int>("numero");
    QTest::addColumn<int>("beep");

    QTest::newRow("Com 3") << "Com 3" << 3 << 0;
    QTest::newRow("Com 1") << "Com 1" << 1 << 0;
    QTest::newRow("Com 8") << "Com 8" << 8 << 0;
    QTest::newRow("com 3") << "com 3" << 5 << 1;
    QTest::newRow("Com 9") << "Com 9" << 5 << 1;
    QTest::newRow("Com 0") << "Com 0" << 5 << 1;
    QTest::newRow("Com 03") << "Com 03" << 5 << 1;
    QTest::newRow("Com3") << "Com3" << 5 << 1;
    QTest::newRow("spazio finale") << "Com 3 " << 5 << 1;
    QTest::newRow("vuoto") << "" << 5 << 1;
}

void TstCollegamento::scelta_porta()
{
    QFETCH(QString, scelta);
    QFETCH(int, numero);
    QFETCH(int, beep);

    ControlliProva c;
    Collegamento coll(c);
    coll.porta().imposta_numero(5);
    c.porta_scelta = scelta;
    coll.Cmb_com_Click();
    QCOMPARE(coll.porta().numero(), numero);
    QCOMPARE(c.beep_suonati, beep);
    QCOMPARE(abilitazioni(c), (QStringList{"PortaCom 0", "PortaCom 1"}));
    QCOMPARE(c.stati, QStringList());
}

void TstCollegamento::scelta_porta_chiude_senza_e()
{
    Banco b;
    PASSO(connetti(b));
    b.c.porta_scelta = QStringLiteral("Com 2");
    b.coll.Cmb_com_Click();
    QVERIFY(!b.coll.porta().aperta());
    QCOMPARE(b.coll.porta().numero(), 2);
    QCOMPARE(b.c.stati, QStringList());
    QCOMPARE(b.c.beep_suonati, 0);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size()), filo_connessione() + "E");
}

void TstCollegamento::scelta_porta_durante_transazione()
{
    Banco b;
    b.c.porta_scelta = QStringLiteral("Com 2");
    bool aperta_dopo = false;
    b.c.quando([&] { return b.ricevuti_almeno(11); },
               [&] {
                   b.coll.Cmb_com_Click();
                   aperta_dopo = b.coll.porta().aperta();
               });
    QCOMPARE(b.coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QVERIFY(aperta_dopo);
    QCOMPARE(b.coll.porta().numero(), 1);
    QCOMPARE(b.c.beep_suonati, 1);
    FILO_UGUALE(filo_chiuso(b, filo_connessione().size()), filo_connessione() + "E");
}

QTEST_GUILESS_MAIN(TstCollegamento)
#include "tst_collegamento.moc"
