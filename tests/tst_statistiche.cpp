// SPDX-License-Identifier: GPL-3.0-or-later
#include "lettura_registro.h"
#include "statistiche.h"

#include <QtTest>

// The log read back, and the figures of a run, as m5ctl report and a station show them.
class TstStatistiche : public QObject
{
    Q_OBJECT

private slots:
    void record_data();
    void record();
    void registro();
    void figure();
    void sospette_data();
    void sospette();
    void ultima_ora();
};

namespace {
// The factory UHF block of 63 cells with code 1234, as a JSON array.
QByteArray celle_json()
{
    QList<int> celle = {0, 2, 6, 96, 0, 136, 1, 4, 210, 1, 0, 30, 3, 0};
    while (celle.size() < 62)
        celle << 0;
    celle << 'U';
    QStringList testo;
    for (const int c : celle)
        testo << QString::number(c);
    return '[' + testo.join(',').toLatin1() + ']';
}

RecordRegistro unita(const QString &porta, int esito, const QString &ora)
{
    RecordRegistro r;
    r.porta = porta;
    r.esito = esito;
    r.ora = QDateTime::fromString(ora, Qt::ISODate);
    return r;
}
} // namespace

void TstStatistiche::record_data()
{
    QTest::addColumn<QByteArray>("riga");
    QTest::addColumn<bool>("letto");
    QTest::addColumn<int>("codice"); // -1: none
    QTest::addColumn<QString>("frequenza");

    const QByteArray inizio = R"({"ora":"2026-12-07T08:00:00.000Z","porta":"Com 1",)"
                              R"("comando":"program","unita":1,"esito":0,"messaggio":"OK",)";
    QTest::newRow("celle dopo") << inizio + R"("celle_prima":null,"celle_dopo":)" + celle_json() +
                                       R"(,"durata_s":0.8,"attesa_s":4.1})"
                                << true << 1234 << "460";
    QTest::newRow("celle prima, senza attesa_s")
        << inizio + R"("celle_prima":)" + celle_json() + R"(,"celle_dopo":null,"durata_s":4.8})"
        << true << 1234 << "460";
    // An interrupted read logs the cells it had: too few to tell anything.
    QTest::newRow("celle parziali")
        << inizio + R"("celle_prima":[0,2,6],"celle_dopo":null})" << true << -1 << "";
    QTest::newRow("riga spezzata") << inizio.left(40) << false << -1 << "";
    QTest::newRow("senza esito") << QByteArray(R"({"ora":"2026-12-07T08:00:00Z","porta":"x"})")
                                 << false << -1 << "";
    QTest::newRow("ora illeggibile")
        << QByteArray(R"({"ora":"ieri","porta":"x","esito":0})") << false << -1 << "";
    QTest::newRow("un vettore") << QByteArray("[1,2]") << false << -1 << "";
}

void TstStatistiche::record()
{
    QFETCH(QByteArray, riga);
    QFETCH(bool, letto);
    QFETCH(int, codice);
    QFETCH(QString, frequenza);

    const auto r = interpreta_record(riga, 7);
    QCOMPARE(r.has_value(), letto);
    if (!r)
        return;
    QCOMPARE(r->riga, 7);
    QCOMPARE(r->porta, QStringLiteral("Com 1"));
    QCOMPARE(r->ora, QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC));
    QCOMPARE(r->codice.value_or(-1), codice);
    QCOMPARE(r->frequenza, frequenza);
}

void TstStatistiche::registro()
{
    // Line numbers count every line: blank ones, torn ones, one too long to be a
    // record; a station's event is neither a unit nor a torn line.
    const QByteArray record = R"({"ora":"2026-12-07T08:00:00Z","porta":"Com 1","esito":0})";
    const QByteArray evento =
        R"({"ora":"2026-12-07T08:01:00Z","evento":"impostazioni","posti":[]})";
    QByteArray testo = record + "\n" + evento + "\n\n" + record.left(20) + "\n" +
                       QByteArray(100'000, '\0') + "\n" + record;
    QBuffer buffer(&testo);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const LetturaRegistro letto = interpreta_registro(buffer);
    QCOMPARE(letto.record.size(), 2);
    QCOMPARE(letto.record[0].riga, 1);
    QCOMPARE(letto.record[1].riga, 6);
    QCOMPARE(letto.scartate.quante, 2);
    QCOMPARE(letto.scartate.prime, (QList<int>{4, 5}));

    // A log of many blocks, read on other threads, comes back in its order,
    // and of many torn lines only the count and the first few are held.
    QByteArray lungo;
    QList<int> rotte;
    for (int n = 1; n <= 9000; ++n) {
        const bool rotta = n % 700 == 0 || n == 2000 || n == 2001;
        lungo += (rotta ? record.left(20) : record) + "\n";
        if (rotta)
            rotte << n;
    }
    QBuffer molte(&lungo);
    QVERIFY(molte.open(QIODevice::ReadOnly));
    int attesa = 1;
    bool in_ordine = true;
    const RigheScartate scartate = scorri_registro(molte, [&](const RecordRegistro &r, auto &) {
        while (rotte.contains(attesa))
            ++attesa;
        in_ordine = in_ordine && r.riga == attesa++;
    });
    QVERIFY(in_ordine);
    QCOMPARE(attesa, 9001);
    QCOMPARE(scartate.quante, rotte.size());
    QCOMPARE(scartate.prime, rotte.mid(0, RigheScartate::TENUTE));
}

void TstStatistiche::figure()
{
    const Statistiche s = statistiche({
        unita("Com 2", 0, "2026-12-07T08:00:00Z"),
        unita("Com 1", 0, "2026-12-07T08:10:00Z"),
        unita("Com 2", 5, "2026-12-07T08:30:00Z"),
        unita("Com 2", 130, "2026-12-07T09:00:00Z"),
        unita("Com 2", 0, "2026-12-07T10:00:00Z"),
    });
    QCOMPARE(s.porte.size(), 2);
    const StatistichePorta &due = s.porte[0];
    QCOMPARE(due.porta, QStringLiteral("Com 2")); // in the order of the log
    QCOMPARE(due.unita, 4);
    QCOMPARE(due.ok, 2);
    QCOMPARE(due.fallite, 1);
    QCOMPARE(due.interrotte, 1);
    // An interrupted unit is neither good nor bad.
    QCOMPARE(due.resa().value_or(-1), 2.0 / 3);
    QCOMPARE(due.durata_ms(), 2 * 3600 * 1000);
    QCOMPARE(due.unita_ora().value_or(-1), 2.0);

    // One unit is no rate.
    const StatistichePorta &uno = s.porte[1];
    QCOMPARE(uno.resa().value_or(-1), 1.0);
    QVERIFY(!uno.unita_ora());

    QCOMPARE(s.totale.unita, 5);
    QCOMPARE(s.totale.resa().value_or(-1), 0.75);
    QCOMPARE(s.totale.unita_ora().value_or(-1), 2.5);
    QVERIFY(!statistiche({}).totale.resa());
}

void TstStatistiche::sospette_data()
{
    QTest::addColumn<int>("fallite"); // of 5 units on "A"
    QTest::addColumn<int>("altrove"); // failures of 20 units on each of "B" and "C"
    QTest::addColumn<bool>("segnalata");
    QTest::newRow("3 of 5 against none") << 3 << 0 << true;
    QTest::newRow("2 of 5: too few to tell") << 2 << 0 << false;
    QTest::newRow("3 of 5 against 4 of 20: under 3 times") << 3 << 4 << false;
}

void TstStatistiche::sospette()
{
    QFETCH(int, fallite);
    QFETCH(int, altrove);
    QFETCH(bool, segnalata);
    QList<RecordRegistro> record;
    for (int i = 0; i < 5; ++i)
        record << unita("A", i < fallite ? 4 : 0, "2026-12-07T08:00:00Z");
    for (const char *p : {"B", "C"}) {
        for (int i = 0; i < 20; ++i)
            record << unita(p, i < altrove ? 5 : 0, "2026-12-07T08:00:00Z");
    }
    // An interrupted unit is no failure.
    record << unita("B", 130, "2026-12-07T08:00:00Z") << unita("B", 130, "2026-12-07T08:00:00Z");
    QCOMPARE(porte_sospette(statistiche(record)), segnalata ? QStringList{"A"} : QStringList{});
}

void TstStatistiche::ultima_ora()
{
    const QDateTime adesso = QDateTime::fromString("2026-12-07T10:00:00Z", Qt::ISODate);
    QList<RecordRegistro> record{unita("A", 0, "2026-12-07T08:00:00Z")};
    // Ten units over the last half hour are ten, not twenty an hour; the one
    // before the hour is out, and so is one just an hour old.
    for (int i = 0; i < 10; ++i)
        record << unita("A", 0, adesso.addSecs(-1800 + i * 180).toString(Qt::ISODate));
    record << unita("A", 0, "2026-12-07T09:00:00Z");
    QCOMPARE(unita_ultima_ora(record, adesso), 10);
    // A unit in the first seconds counts as one.
    QCOMPARE(unita_ultima_ora({unita("A", 0, "2026-12-07T09:59:30Z")}, adesso), 1);
    QCOMPARE(unita_ultima_ora({}, adesso), 0);
}

QTEST_GUILESS_MAIN(TstStatistiche)
#include "tst_statistiche.moc"
