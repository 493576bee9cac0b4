// SPDX-License-Identifier: GPL-3.0-or-later
// Plans of receiver codes: what is taken, what is refused and why, and the fingerprint.
#include "esiti.h"
#include "piano_codici.h"

#include <QTemporaryDir>
#include <QtTest>

class TstPianoCodici : public QObject
{
    Q_OBJECT

private slots:
    void piano_data();
    void piano();
    void impronta();
    void file();
};

void TstPianoCodici::piano_data()
{
    QTest::addColumn<QString>("intervallo"); // empty: testo instead
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<QList<int>>("codici"); // empty: refused
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("messaggio");

    QTest::newRow("intervallo") << "7-10" << QByteArray() << QList<int>{7, 8, 9, 10} << 0 << "";
    QTest::newRow("uno solo") << "4096-4096" << QByteArray() << QList<int>{4096} << 0 << "";
    QTest::newRow("intervallo 0") << "0-5" << QByteArray() << QList<int>{} << esiti::FUORI_RANGE
                                  << "--codici: \"0-5\" is out of range (codes are 1-4096)";
    QTest::newRow("oltre 4096") << "4000-4097" << QByteArray() << QList<int>{} << esiti::FUORI_RANGE
                                << "is out of range";
    QTest::newRow("all'indietro") << "9-3" << QByteArray() << QList<int>{} << esiti::USO
                                  << "--codici: \"9-3\" runs backwards";
    for (const char *t : {"5", "-5", "1-2-3", "a-9", "+1-9", " 1-9"})
        QTest::newRow(t) << t << QByteArray() << QList<int>{} << esiti::USO << "is not valid";
    QTest::newRow("righe e commenti")
        << "" << QByteArray("# lotto 12\n\n 12\n7 # a metà\n\r\n3000\n") << QList<int>{12, 7, 3000}
        << 0 << "";
    QTest::newRow("due volte") << "" << QByteArray("5\n6\n# nota\n5\n") << QList<int>{}
                               << esiti::USO
                               << "codici.txt: line 4: code 5 is given twice, also on line 1";
    QTest::newRow("fuori campo in una riga")
        << "" << QByteArray("1\n4097\n") << QList<int>{} << esiti::FUORI_RANGE
        << "codici.txt: line 2: \"4097\" is out of range";
    QTest::newRow("non un codice") << "" << QByteArray("1\n2a\n") << QList<int>{} << esiti::USO
                                   << "codici.txt: line 2: \"2a\" is not a code";
    QTest::newRow("vuoto") << "" << QByteArray("# niente\n\n") << QList<int>{} << esiti::USO
                           << "codici.txt: no code in it";
}

void TstPianoCodici::piano()
{
    QFETCH(QString, intervallo);
    QFETCH(QByteArray, testo);
    QFETCH(QList<int>, codici);
    QFETCH(int, esito);
    QFETCH(QString, messaggio);

    const auto letto = intervallo.isEmpty()
                           ? PianoCodici::da_testo(testo, QStringLiteral("codici.txt"))
                           : PianoCodici::da_intervallo(intervallo, QStringLiteral("--codici"));
    if (const auto *e = std::get_if<ErroreValore>(&letto)) {
        QVERIFY2(codici.isEmpty(), qPrintable(e->messaggio));
        QCOMPARE(e->esito, esito);
        QVERIFY2(e->messaggio.contains(messaggio), qPrintable(e->messaggio));
        return;
    }
    QCOMPARE(std::get<PianoCodici>(letto).codici(), codici);
}

// The same codes in the same order are one plan, however written.
void TstPianoCodici::impronta()
{
    const auto intervallo = PianoCodici::da_intervallo(QStringLiteral("1-3"), QString());
    const auto righe = PianoCodici::da_testo("# tre\n1\n2\n3\n", QString());
    const auto rovescio = PianoCodici::da_testo("3\n2\n1\n", QString());
    const QString a = std::get<PianoCodici>(intervallo).impronta();
    QCOMPARE(a, std::get<PianoCodici>(righe).impronta());
    QVERIFY(a != std::get<PianoCodici>(rovescio).impronta());
    // SHA-256 of "1\n2\n3\n".
    QCOMPARE(a, QStringLiteral("14c5e74c"));
}

void TstPianoCodici::file()
{
    QTemporaryDir d;
    QVERIFY(d.isValid());
    const auto mancante = PianoCodici::carica(d.filePath(QStringLiteral("manca.txt")));
    QVERIFY(std::holds_alternative<ErroreValore>(mancante));
    QVERIFY2(std::get<ErroreValore>(mancante).messaggio.startsWith(
                 QStringLiteral("--codici-da ") + d.filePath(QStringLiteral("manca.txt")) + ": "),
             qPrintable(std::get<ErroreValore>(mancante).messaggio));
}

QTEST_GUILESS_MAIN(TstPianoCodici)
#include "tst_piano_codici.moc"
