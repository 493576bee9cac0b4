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

    const auto r = leggi_record(riga, 7);
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
    // Line numbers count every line: blank ones, torn ones, one too long to be a record.
    const QByteArray record = R"({"ora":"2026-12-07T08:00:00Z","porta":"Com 1","esito":0})";
    QByteArray testo =
        record + "\n\n" + record.left(20) + "\n" + QByteArray(100'000, '\0') + "\n" + record;
    QBuffer buffer(&testo);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const LetturaRegistro letto = leggi_registro(buffer);
    QCOMPARE(letto.record.size(), 2);
    QCOMPARE(letto.record[0].riga, 1);
    QCOMPARE(letto.record[1].riga, 5);
    QCOMPARE(letto.scartate, (QList<int>{3, 4}));
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

QTEST_GUILESS_MAIN(TstStatistiche)
#include "tst_statistiche.moc"
