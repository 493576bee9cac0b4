// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's connection against a server of its own: answers, refusals, silence, passwords.
#include "connessione_pg.h"
#include "server_postgres.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <clocale>

namespace {

constexpr int ATTESA_MS = 10000; // each wait's bound
const QString PASSWORD = QStringLiteral("Zq7-segreto-91");

// A loopback TCP port bound, so that no one takes it, and not listening:
// connections to it are refused. -1 when none could be had.
int porta_rifiutata(int *descrittore)
{
    *descrittore = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in indirizzo{};
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t lunghezza = sizeof indirizzo;
    if (*descrittore < 0 ||
        bind(*descrittore, reinterpret_cast<sockaddr *>(&indirizzo), sizeof indirizzo) != 0 ||
        getsockname(*descrittore, reinterpret_cast<sockaddr *>(&indirizzo), &lunghezza) != 0)
        return -1;
    return ntohs(indirizzo.sin_port);
}

} // namespace

class TstConnessionePg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void andata_e_ritorno();
    void rifiuto_data();
    void rifiuto();
    void congelato_data();
    void congelato();
    void riavvio();
    void segreti_data();
    void segreti();
};

void TstConnessionePg::initTestCase()
{
    if (ServerPostgres::cartella_programmi().isEmpty())
        QSKIP("PostgreSQL's server programs (initdb, postgres) are not installed");
    // libpq's words and the system's in English, whatever this machine's language.
    setlocale(LC_MESSAGES, "C");
}

// Statements given while the connection is made wait for it and go in
// order, an error among them stopping none; values far larger than a
// socket's buffer go and come back whole.
void TstConnessionePg::andata_e_ritorno()
{
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    ConnessionePg connessione;
    QSignalSpy connessa(&connessione, &ConnessionePg::connessa_ora);
    QSignalSpy persa(&connessione, &ConnessionePg::persa);
    QList<RisultatoPg> r;
    const auto raccogli = [&r](const RisultatoPg &risultato) { r << risultato; };

    connessione.connetti(server.indirizzo());
    connessione.esegui(
        QStringLiteral("SELECT $1::int + 1, $2::text IS NULL, NULL::text, $3::text, ''::text"),
        {"41", QByteArray(), "città"}, raccogli);
    connessione.esegui(QStringLiteral("SELECT 1/0"), {}, raccogli);
    connessione.esegui(QStringLiteral("CREATE TEMP TABLE t (a text)"), {}, raccogli);
    const QByteArray grande(4 << 20, 'x');
    connessione.esegui(QStringLiteral("INSERT INTO t SELECT $1 || g FROM generate_series(1, 3) g"),
                       {grande}, raccogli);
    connessione.esegui(QStringLiteral("SELECT a FROM t ORDER BY a"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 5, ATTESA_MS);
    QVERIFY2(persa.isEmpty(), qPrintable(persa.value(0).value(0).toString()));
    QCOMPARE(connessa.size(), 1);
    QVERIFY(connessione.connessa());

    QVERIFY2(r[0].riuscito, qPrintable(r[0].errore));
    QCOMPARE(r[0].righe, (QList<QList<QByteArray>>{{"42", "t", {}, "città", ""}}));
    QCOMPARE(r[0].nulli, (QList<QList<bool>>{{false, false, true, false, false}}));
    QVERIFY(r[0].righe[0][2].isNull());
    QVERIFY(!r[0].righe[0][4].isNull());
    QVERIFY(!r[1].riuscito);
    QCOMPARE(r[1].stato_sql, QByteArray("22012"));
    QCOMPARE(r[1].errore, QStringLiteral("division by zero"));
    QVERIFY2(r[2].riuscito, qPrintable(r[2].errore));
    QVERIFY2(r[3].riuscito, qPrintable(r[3].errore));
    QCOMPARE(r[3].modificate, 3);
    QVERIFY2(r[4].riuscito, qPrintable(r[4].errore));
    QCOMPARE(r[4].righe.size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY(r[4].righe[i][0] == grande + QByteArray::number(i + 1));
}

// {cartella} and {porta}: the server's socket; {altra}: a port with no
// socket there; {rifiutata}: a loopback TCP port that refuses.
void TstConnessionePg::rifiuto_data()
{
    QTest::addColumn<QString>("indirizzo");
    QTest::addColumn<QString>("atteso");

    QTest::newRow("ruolo inesistente")
        << "host={cartella} port={porta} dbname=postgres user=nessuno"
        << "role \"nessuno\" does not exist";
    QTest::newRow("ruolo senza login") << "host={cartella} port={porta} dbname=postgres user=chiuso"
                                       << "role \"chiuso\" is not permitted to log in";
    QTest::newRow("nessun server") << "host={cartella} port={altra} dbname=postgres"
                                   << "{cartella}/.s.PGSQL.{altra}";
    QTest::newRow("stringa non valida") << "host={cartella} porta={porta}"
                                        << "invalid connection option";
    // A host name, looked up before libpq is given its addresses.
    QTest::newRow("nome senza server") << "host=localhost port={rifiutata} dbname=postgres"
                                       << "port {rifiutata} failed: Connection refused";
}

// Refused: persa() once with the reason, one line, and the statement given
// meanwhile answered as failed, as is one given after.
void TstConnessionePg::rifiuto()
{
    QFETCH(QString, indirizzo);
    QFETCH(QString, atteso);
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    QVERIFY(server.sql(QStringLiteral("CREATE ROLE chiuso NOLOGIN;")));
    int descrittore = -1;
    const int rifiutata = porta_rifiutata(&descrittore);
    const auto chiusura = qScopeGuard([descrittore] { close(descrittore); });
    QVERIFY(rifiutata > 0);
    const auto sostituito = [&](QString testo) {
        return testo.replace(QLatin1String("{cartella}"), server.cartella())
            .replace(QLatin1String("{porta}"), QString::number(server.porta()))
            .replace(QLatin1String("{altra}"), QString::number(server.porta() + 1))
            .replace(QLatin1String("{rifiutata}"), QString::number(rifiutata));
    };

    ConnessionePg connessione;
    QSignalSpy connessa(&connessione, &ConnessionePg::connessa_ora);
    QSignalSpy persa(&connessione, &ConnessionePg::persa);
    QList<RisultatoPg> r;
    const auto raccogli = [&r](const RisultatoPg &risultato) { r << risultato; };
    connessione.connetti(sostituito(indirizzo));
    connessione.esegui(QStringLiteral("SELECT 1"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(persa.size(), 1, ATTESA_MS);
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 1, ATTESA_MS);
    const QString motivo = persa.first().first().toString();
    QVERIFY2(motivo.contains(sostituito(atteso)), qPrintable(motivo));
    QVERIFY2(!motivo.contains(QLatin1Char('\n')), qPrintable(motivo));
    QVERIFY(!r[0].riuscito);
    QVERIFY(!r[0].errore.isEmpty());
    QVERIFY(connessa.isEmpty());
    QVERIFY(!connessione.connessa());

    connessione.esegui(QStringLiteral("SELECT 1"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 2, ATTESA_MS);
    QVERIFY(!r[1].riuscito);
    QCOMPARE(persa.size(), 1);
}

void TstConnessionePg::congelato_data()
{
    QTest::addColumn<bool>("connessa_prima");
    QTest::newRow("durante la connessione") << false;
    QTest::newRow("durante un'istruzione") << true;
}

// A server that takes the connection or the statement and never answers:
// the limit ends it, and the thread went on meanwhile.
void TstConnessionePg::congelato()
{
    QFETCH(bool, connessa_prima);
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    ConnessionePg connessione;
    connessione.imposta_limite_ms(1000);
    QSignalSpy connessa(&connessione, &ConnessionePg::connessa_ora);
    QSignalSpy persa(&connessione, &ConnessionePg::persa);
    QList<RisultatoPg> r;
    const auto raccogli = [&r](const RisultatoPg &risultato) { r << risultato; };
    if (connessa_prima) {
        connessione.connetti(server.indirizzo());
        QVERIFY(connessa.wait(ATTESA_MS));
    }
    QVERIFY(server.congela());

    int battiti = 0;
    QTimer battito;
    battito.setInterval(20);
    connect(&battito, &QTimer::timeout, this, [&battiti] { ++battiti; });
    battito.start();
    if (!connessa_prima)
        connessione.connetti(server.indirizzo());
    connessione.esegui(QStringLiteral("SELECT 1"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(persa.size(), 1, ATTESA_MS);
    const int battiti_al_limite = battiti;
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 1, ATTESA_MS);
    QCOMPARE(persa.first().first().toString(),
             QStringLiteral("no answer from the archive within 1 s"));
    QVERIFY(!r[0].riuscito);
    QCOMPARE(connessa.size(), connessa_prima ? 1 : 0);
    // A call that waited on the socket would have held every tick back.
    QVERIFY2(battiti_al_limite >= 5, qPrintable(QString::number(battiti_al_limite)));

    QVERIFY(server.scongela());
    connessione.connetti(server.indirizzo());
    connessione.esegui(QStringLiteral("SELECT 2"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 2, ATTESA_MS);
    QVERIFY2(r[1].riuscito, qPrintable(r[1].errore));
    QCOMPARE(r[1].righe, (QList<QList<QByteArray>>{{"2"}}));
}

// Stopped under an idle connection: lost, with the server's last word; started
// again on the same socket: a new connetti() works.
void TstConnessionePg::riavvio()
{
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    ConnessionePg connessione;
    QSignalSpy connessa(&connessione, &ConnessionePg::connessa_ora);
    QSignalSpy persa(&connessione, &ConnessionePg::persa);
    QList<RisultatoPg> r;
    const auto raccogli = [&r](const RisultatoPg &risultato) { r << risultato; };
    connessione.connetti(server.indirizzo());
    QVERIFY(connessa.wait(ATTESA_MS));

    QVERIFY(server.ferma());
    QTRY_COMPARE_WITH_TIMEOUT(persa.size(), 1, ATTESA_MS);
    QCOMPARE(persa.first().first().toString(),
             QStringLiteral("terminating connection due to administrator command"));
    QVERIFY(!connessione.connessa());
    connessione.esegui(QStringLiteral("SELECT 1"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 1, ATTESA_MS);
    QVERIFY(!r[0].riuscito);

    QVERIFY2(server.riavvia(&errore), qPrintable(errore));
    connessione.connetti(server.indirizzo());
    connessione.esegui(QStringLiteral("SELECT 3"), {}, raccogli);
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 2, ATTESA_MS);
    QVERIFY2(r[1].riuscito, qPrintable(r[1].errore));
    QCOMPARE(r[1].righe, (QList<QList<QByteArray>>{{"3"}}));
    QCOMPARE(connessa.size(), 2);
    QCOMPARE(persa.size(), 1);
}

// {password} is the role's; atteso: in persa(), or empty when it connects.
void TstConnessionePg::segreti_data()
{
    QTest::addColumn<QString>("indirizzo");
    QTest::addColumn<bool>("file_password");
    QTest::addColumn<QString>("atteso");

    QTest::newRow("file di password")
        << "host={cartella} port={porta} dbname=postgres user=cassiere" << true << "";
    QTest::newRow("password nell'URL")
        << "postgresql://cassiere:{password}@/postgres?host={cartella}&port={porta}" << false << "";
    QTest::newRow("password sbagliata nell'URL")
        << "postgresql://cassiere:{password}x@/postgres?host={cartella}&port={porta}" << false
        << "password authentication failed for user \"cassiere\"";
    QTest::newRow("URL illeggibile")
        << "postgresql://cassiere:{password}@[::1/postgres?host={cartella}" << false
        << "end of string reached";
    QTest::newRow("coppie illeggibili")
        << "host={cartella} user=cassiere password={password} {password}2" << false
        << "missing \"=\" after \"…\"";
}

// The password reaches the server, never a message.
void TstConnessionePg::segreti()
{
    QFETCH(QString, indirizzo);
    QFETCH(bool, file_password);
    QFETCH(QString, atteso);
    ServerPostgres server;
    QString errore;
    QVERIFY2(server.avvia(&errore), qPrintable(errore));
    QVERIFY(server.sql(QStringLiteral("CREATE ROLE cassiere LOGIN PASSWORD '%1' IN ROLE %2;")
                           .arg(PASSWORD, QLatin1String(ServerPostgres::GRUPPO_PASSWORD))));
    indirizzo.replace(QLatin1String("{cartella}"), server.cartella())
        .replace(QLatin1String("{porta}"), QString::number(server.porta()))
        .replace(QLatin1String("{password}"), PASSWORD);

    // No other file of passwords (the user's own) may stand in for the one written here.
    QFile passwords(server.cartella() + QStringLiteral("/pgpass"));
    if (file_password) {
        QVERIFY(passwords.open(QIODevice::WriteOnly));
        passwords.write(QStringLiteral("%1:%2:postgres:cassiere:%3\n")
                            .arg(server.cartella(), QString::number(server.porta()), PASSWORD)
                            .toUtf8());
        passwords.close();
        QVERIFY(passwords.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    }
    qputenv("PGPASSFILE", QFile::encodeName(passwords.fileName()));
    const auto ripristino = qScopeGuard([] { qunsetenv("PGPASSFILE"); });

    const QString mostrato = ConnessionePg::senza_segreti(indirizzo);
    QVERIFY2(!mostrato.contains(PASSWORD), qPrintable(mostrato));
    ConnessionePg connessione;
    QSignalSpy persa(&connessione, &ConnessionePg::persa);
    QList<RisultatoPg> r;
    connessione.connetti(indirizzo);
    connessione.esegui(QStringLiteral("SELECT current_user"), {},
                       [&r](const RisultatoPg &risultato) { r << risultato; });
    QTRY_COMPARE_WITH_TIMEOUT(r.size(), 1, ATTESA_MS);
    if (atteso.isEmpty()) {
        QVERIFY2(persa.isEmpty(), qPrintable(persa.value(0).value(0).toString()));
        QVERIFY2(r[0].riuscito, qPrintable(r[0].errore));
        QCOMPARE(r[0].righe, (QList<QList<QByteArray>>{{"cassiere"}}));
        QCOMPARE(mostrato, QStringLiteral("host=%1 port=%2 dbname=postgres user=cassiere")
                               .arg(server.cartella())
                               .arg(server.porta()));
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(persa.size(), 1, ATTESA_MS);
    const QString motivo = persa.first().first().toString();
    QVERIFY2(motivo.contains(atteso), qPrintable(motivo));
    QVERIFY2(!motivo.contains(PASSWORD), qPrintable(motivo));
    QVERIFY(!r[0].riuscito);
    QVERIFY2(!r[0].errore.contains(PASSWORD), qPrintable(r[0].errore));
}

QTEST_GUILESS_MAIN(TstConnessionePg)
#include "tst_connessione_pg.moc"
