// SPDX-License-Identifier: GPL-3.0-or-later
// m5ctl report --archivio against a server of its own: the factory's figures, and the archive away.
#include "connessione_pg.h"
#include "esecuzione_m5ctl.h"
#include "server_postgres.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {
// Beyond m5ctl's own bound of 15 s on the archive.
constexpr int ATTESA_MS = 40000;

// Two stations, an operator each, and an m5ctl run that named neither; the
// first plan has codes in each state, the third no unit yet.
const char *const DATI = R"(
INSERT INTO m5_piani (impronta, codici) VALUES ('aaaa0001', 6), ('bbbb0002', 4), ('cccc0003', 2);
INSERT INTO m5_codici (piano, posizione, codice, stato) VALUES
    ('aaaa0001', 1, 101, 'dato'), ('aaaa0001', 2, 102, 'dato'), ('aaaa0001', 3, 103, 'speso'),
    ('aaaa0001', 4, 104, 'avviato'), ('aaaa0001', 5, 105, 'riservato'),
    ('aaaa0001', 6, 106, 'libero'), ('bbbb0002', 1, 201, 'dato'), ('bbbb0002', 2, 202, 'libero'),
    ('bbbb0002', 3, 203, 'libero'), ('bbbb0002', 4, 204, 'libero'),
    ('cccc0003', 1, 301, 'libero'), ('cccc0003', 2, 302, 'libero');
INSERT INTO m5_record (id, ora, stazione, posto, operatore, porta, comando, esito, piano,
                       codice, codice_stato, riga)
SELECT gen_random_uuid(), now(), s, p, o, 'Com 1', 'program', e, pi, NULL, cs, '{}'
FROM (VALUES ('banco-1', 1, 'Anna', 0, 'aaaa0001', 'dato'),
             ('banco-1', 1, 'Anna', 0, 'aaaa0001', 'dato'),
             ('banco-1', 2, 'Anna', 8, 'aaaa0001', 'speso'),
             ('banco-1', 2, 'Anna', 130, 'aaaa0001', NULL),
             ('banco-2', 1, 'Bruno', 0, 'bbbb0002', 'dato'),
             ('banco-2', 1, 'Bruno', 5, 'bbbb0002', 'restituito'),
             (NULL, NULL, NULL, 0, NULL, NULL)) AS v (s, p, o, e, pi, cs);
CREATE ROLE lettore LOGIN;
)";

// The table's lines, their columns apart by "|"; the CSV's as printed.
QStringList righe(const QByteArray &uscita, bool tabella)
{
    QStringList r = QString::fromUtf8(uscita).split(QLatin1Char('\n'));
    if (r.last().isEmpty())
        r.removeLast();
    if (tabella)
        r.replaceInStrings(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral("|"));
    return r;
}
} // namespace

class TstRapportoArchivio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void figure_data();
    void figure();
    void errori_data();
    void errori();

private:
    ServerPostgres m_server;
};

void TstRapportoArchivio::initTestCase()
{
    if (ServerPostgres::cartella_programmi().isEmpty())
        QSKIP("PostgreSQL's server programs (initdb, postgres) are not installed");
    QString errore;
    QVERIFY2(m_server.avvia(&errore), qPrintable(errore));
    QFile schema(QStringLiteral(":/m5config/archivio.sql"));
    QVERIFY2(schema.open(QIODevice::ReadOnly), qPrintable(schema.errorString()));
    QVERIFY2(m_server.sql(QString::fromUtf8(schema.readAll()), &errore), qPrintable(errore));
    QVERIFY2(m_server.sql(QLatin1String(DATI), &errore), qPrintable(errore));
}

void TstRapportoArchivio::figure_data()
{
    QTest::addColumn<bool>("tabella");
    QTest::addColumn<QStringList>("attese");

    QTest::newRow("tabella")
        << true
        << QStringList{
               "STATION|UNITS|OK|FAILED|INTERRUPTED|YIELD",
               "banco-1|4|2|1|1|66.7%",
               "banco-2|2|1|1|0|50.0%",
               "-|1|1|0|0|100.0%",
               "total|7|4|2|1|66.7%",
               "",
               "STATION|SLOT|UNITS|OK|FAILED|INTERRUPTED|YIELD",
               "banco-1|1|2|2|0|0|100.0%",
               "banco-1|2|2|0|1|1|0.0%",
               "banco-2|1|2|1|1|0|50.0%",
               "-|-|1|1|0|0|100.0%",
               "",
               "OPERATOR|UNITS|OK|FAILED|INTERRUPTED|YIELD",
               "Anna|4|2|1|1|66.7%",
               "Bruno|2|1|1|0|50.0%",
               "-|1|1|0|0|100.0%",
               "",
               "PLAN|UNITS|OK|FAILED|INTERRUPTED|YIELD|GIVEN|SPENT|RESERVED|FREE",
               "aaaa0001|4|2|1|1|66.7%|2|2|1|1",
               "bbbb0002|2|1|1|0|50.0%|1|0|0|3",
               "cccc0003|0|0|0|0|-|0|0|0|2",
           };
    QTest::newRow("csv") << false
                         << QStringList{
                                "gruppo,chiave,posto,unita,ok,fallite,interrotte,resa,dati,spesi,"
                                "riservati,liberi",
                                "stazione,banco-1,,4,2,1,1,66.7,,,,",
                                "stazione,banco-2,,2,1,1,0,50.0,,,,",
                                "stazione,,,1,1,0,0,100.0,,,,",
                                "totale,,,7,4,2,1,66.7,,,,",
                                "posto,banco-1,1,2,2,0,0,100.0,,,,",
                                "posto,banco-1,2,2,0,1,1,0.0,,,,",
                                "posto,banco-2,1,2,1,1,0,50.0,,,,",
                                "posto,,,1,1,0,0,100.0,,,,",
                                "operatore,Anna,,4,2,1,1,66.7,,,,",
                                "operatore,Bruno,,2,1,1,0,50.0,,,,",
                                "operatore,,,1,1,0,0,100.0,,,,",
                                "piano,aaaa0001,,4,2,1,1,66.7,2,2,1,1",
                                "piano,bbbb0002,,2,1,1,0,50.0,1,0,0,3",
                                "piano,cccc0003,,0,0,0,0,,0,0,0,2",
                            };
}

void TstRapportoArchivio::figure()
{
    QFETCH(bool, tabella);
    QFETCH(QStringList, attese);

    QStringList argomenti{"report", "--archivio", m_server.indirizzo()};
    if (!tabella)
        argomenti << "--csv";
    const Esecuzione e = esegui(argomenti, ATTESA_MS);
    QCOMPARE(e.errori, QByteArray());
    QCOMPARE(e.esito, 0);
    QCOMPARE(righe(e.uscita_standard, tabella), attese);
}

void TstRapportoArchivio::errori_data()
{
    QTest::addColumn<QString>("caso");
    QTest::addColumn<int>("esito");
    QTest::addColumn<QString>("motivo"); // after the archive's name; empty: any

    QTest::newRow("server fermo") << "fermo" << 3 << "";
    QTest::newRow("server congelato")
        << "congelato" << 3 << "no answer from the archive within 15 s";
    QTest::newRow("ruolo senza diritti")
        << "lettore" << 11 << "permission denied for table m5_record";
    QTest::newRow("ruolo inesistente") << "nessuno" << 11 << "role \"nessuno\" does not exist";
    QTest::newRow("anche un registro") << "registro" << 2 << "";
}

// One line on stderr naming the archive, never a password, within m5ctl's own bound.
void TstRapportoArchivio::errori()
{
    QFETCH(QString, caso);
    QFETCH(int, esito);
    QFETCH(QString, motivo);

    std::unique_ptr<ServerPostgres> altro;
    QString indirizzo = m_server.indirizzo(caso == "lettore" || caso == "nessuno" ? caso : "");
    QStringList argomenti{"report", "--archivio", indirizzo};
    if (caso == "fermo" || caso == "congelato") {
        altro = std::make_unique<ServerPostgres>();
        QString errore;
        QVERIFY2(altro->avvia(&errore), qPrintable(errore));
        QVERIFY(caso == "fermo" ? altro->ferma() : altro->congela());
        indirizzo = altro->indirizzo();
        argomenti = QStringList{"report", "--archivio", indirizzo};
    } else if (caso == "registro") {
        argomenti << "registro.jsonl";
    }
    const Esecuzione e = esegui(argomenti, ATTESA_MS);
    QCOMPARE(e.esito, esito);
    QCOMPARE(e.uscita_standard, QByteArray());
    QVERIFY2(e.errori.count('\n') == 1 && e.errori.endsWith('\n'), e.errori.constData());
    if (esito == 2) {
        QCOMPARE(e.errori, "m5ctl: report: a LOG or --archivio URL, not both (see m5ctl --help)\n");
        return;
    }
    const QString riga = QString::fromUtf8(e.errori);
    const QString inizio = QStringLiteral("m5ctl: report --archivio %1: ")
                               .arg(ConnessionePg::senza_segreti(indirizzo));
    QVERIFY2(riga.startsWith(inizio), qPrintable(riga));
    QVERIFY2(riga.contains(motivo), qPrintable(riga));
}

QTEST_GUILESS_MAIN(TstRapportoArchivio)
#include "tst_rapporto_archivio.moc"
