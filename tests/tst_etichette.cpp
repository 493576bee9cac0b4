// SPDX-License-Identifier: GPL-3.0-or-later
// Units' labels: real PDF files read back with poppler, and the destinations refused.
#include "etichettatrice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

class TstEtichette : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pdf_data();
    void pdf();
    void apri_data();
    void apri();
    void misura_data();
    void misura();
    void cartella_sparita();
};

namespace {
constexpr int ATTESA_MS = 30000;

Etichetta etichetta(int codice, const QString &stazione)
{
    Etichetta e;
    e.codice = codice;
    e.frequenza = QStringLiteral("433.920 MHz");
    e.banda = QStringLiteral("UHF");
    e.ora = QDateTime(QDate(2024, 5, 17), QTime(23, 59));
    e.piano = QStringLiteral("a1b2c3d4");
    e.profilo = QStringLiteral("9f8e7d6c");
    e.stazione = stazione;
    e.id = QUuid::createUuid();
    return e;
}

// What a poppler tool prints, or a failure naming why.
QString esegui(const QString &programma, const QStringList &argomenti)
{
    QProcess p;
    p.start(programma, argomenti);
    if (!p.waitForFinished(ATTESA_MS) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(ATTESA_MS);
        QTest::qFail(qPrintable(programma + QStringLiteral(" failed: ") + p.readAllStandardError()),
                     __FILE__, __LINE__);
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Parola
{
    QString testo;
    QRectF riquadro;
};

// The words of a one-page PDF with their boxes, in points, in reading order.
QList<Parola> parole(const QString &pdf)
{
    const QString html = esegui(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, "-"});
    const QRegularExpression parola(
        QStringLiteral("<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" "
                       "xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    QList<Parola> trovate;
    for (const auto &m : parola.globalMatch(html)) {
        const QPointF da(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF a(m.captured(3).toDouble(), m.captured(4).toDouble());
        trovate.append({m.captured(5), QRectF(da, a)});
    }
    return trovate;
}

QSizeF pagina_pt(const QString &pdf)
{
    const auto m = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))
                       .match(esegui(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}
} // namespace

// Any warning is a fault: a GUI-thread-only class off that thread, a font not found.
void TstEtichette::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
}

void TstEtichette::pdf_data()
{
    QTest::addColumn<QString>("misura");
    QTest::addColumn<int>("codice");
    QTest::addColumn<QString>("stazione");
    QTest::addColumn<QString>("letta"); // what of stazione must come back

    QTest::newRow("62x29, la solita") << "62x29" << 4096 << "Banco 3"
                                      << "Banco 3";
    QTest::newRow("stretta e alta") << "25x60" << 7 << "Linea nord 12"
                                    << "Linea nord 12";
    QTest::newRow("grande") << "150.5x100" << 1234 << "B1"
                            << "B1";
    QTest::newRow("stazione dal nome lungo")
        << "62x29" << 56 << "Stazione di collaudo numero quattordici del reparto nord"
        << "Stazione di";
}

// On a worker thread, as a station prints, and read back as the installer does.
void TstEtichette::pdf()
{
    QFETCH(QString, misura);
    QFETCH(int, codice);
    QFETCH(QString, stazione);
    QFETCH(QString, letta);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the labels back");

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    const auto mm = Etichettatrice::misura(misura);
    QVERIFY(mm);
    const auto aperta = Etichettatrice::apri(cartella.path() + QLatin1Char('/'), *mm);
    const auto *errore_apri = std::get_if<QString>(&aperta);
    QVERIFY2(!errore_apri, qPrintable(errore_apri ? *errore_apri : QString()));
    const Etichetta e = etichetta(codice, stazione);
    // Its own copies, so that a thread left behind by a failure touches nothing of the test's.
    const auto errore = std::make_shared<QString>(QStringLiteral("not run"));
    QThread *lavoro = QThread::create([errore, etichettatrice = std::get<Etichettatrice>(aperta),
                                       e] { *errore = etichettatrice.stampa(e); });
    lavoro->start();
    QVERIFY2(lavoro->wait(QDeadlineTimer(ATTESA_MS)), "the label took over 30 s");
    delete lavoro;
    QVERIFY2(errore->isEmpty(), qPrintable(*errore));

    const QString nome =
        QString::number(codice) + QLatin1Char('-') + e.id.toString(QUuid::WithoutBraces) + ".pdf";
    QCOMPARE(QDir(cartella.path()).entryList(QDir::Files | QDir::Hidden), QStringList{nome});
    const QString pdf = cartella.filePath(nome);

    const QSizeF pt = pagina_pt(pdf);
    const QSizeF atteso = *mm * 72 / 25.4;
    QVERIFY2(qAbs(pt.width() - atteso.width()) < 1 && qAbs(pt.height() - atteso.height()) < 1,
             qPrintable(QStringLiteral("page %1x%2 pt").arg(pt.width()).arg(pt.height())));

    const QList<Parola> lette = parole(pdf);
    QStringList testo;
    double alta = 0;
    for (const Parola &p : lette) {
        testo << p.testo;
        // poppler boxes the code by its font's ascent and descent, beyond the
        // ink that was fitted: only its sides are the ink's.
        const bool il_codice = p.testo == QString::number(codice);
        const bool dentro = il_codice ? p.riquadro.left() >= 0 && p.riquadro.right() <= pt.width()
                                      : QRectF(QPointF(0, 0), pt).contains(p.riquadro);
        QVERIFY2(dentro, qPrintable(p.testo + QStringLiteral(" is off the label")));
        if (!il_codice)
            alta = std::max(alta, p.riquadro.height());
    }
    const QString tutto = testo.join(QLatin1Char(' '));
    for (const QString &atteso :
         {QStringLiteral("433.920 MHz UHF"), QStringLiteral("2024-05-17"),
          QStringLiteral("Piano a1b2c3d4"), QStringLiteral("Profilo 9f8e7d6c"), letta})
        QVERIFY2(tutto.contains(atteso), qPrintable(atteso + QStringLiteral(" not in: ") + tutto));
    const auto codice_letto = std::find_if(lette.begin(), lette.end(), [&](const Parola &p) {
        return p.testo == QString::number(codice);
    });
    QVERIFY2(codice_letto != lette.end(), qPrintable(tutto));
    QVERIFY2(codice_letto->riquadro.height() > 2 * alta, "the code is not the largest by far");
}

void TstEtichette::apri_data()
{
    QTest::addColumn<QString>("destinazione"); // relative to a test's folder, "@": a file in it
    QTest::addColumn<QSizeF>("mm");
    QTest::addColumn<QString>("messaggio");

    const QSizeF solita(62, 29);
    QTest::newRow("cartella mancante") << "@/manca/" << solita << "No such directory";
    QTest::newRow("un file") << "@/file" << solita << "Not a directory";
    QTest::newRow("stampante ignota") << "m5-nessuna-" + QUuid::createUuid().toString(QUuid::Id128)
                                      << solita << "no printer of that name in the print service";
    QTest::newRow("troppo piccola") << "@" << QSizeF(62, 9) << "each side must be 10-300 mm";
}

void TstEtichette::apri()
{
    QFETCH(QString, destinazione);
    QFETCH(QSizeF, mm);
    QFETCH(QString, messaggio);

    QTemporaryDir cartella;
    QVERIFY(cartella.isValid());
    QFile file(cartella.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    destinazione.replace(QLatin1Char('@'), cartella.path());

    const auto aperta = Etichettatrice::apri(destinazione, mm);
    QVERIFY(std::holds_alternative<QString>(aperta));
    const QString errore = std::get<QString>(aperta);
    QVERIFY2(
        errore.startsWith(QStringLiteral("--etichette ") + destinazione + QStringLiteral(": ")),
        qPrintable(errore));
    QVERIFY2(errore.contains(messaggio) && !errore.contains(QLatin1Char('\n')), qPrintable(errore));
}

void TstEtichette::misura_data()
{
    QTest::addColumn<QString>("testo");
    QTest::addColumn<QSizeF>("mm"); // empty: refused

    QTest::newRow("62x29") << "62x29" << QSizeF(62, 29);
    QTest::newRow("decimali ai limiti") << "10x300.0" << QSizeF(10, 300);
    QTest::newRow("mezzo millimetro") << "62.5x29" << QSizeF(62.5, 29);
    for (const char *t : {"0x29", "62", "62x29x1", "abc", "400x29", "62x9.9", "62,5x29", " 62x29"})
        QTest::newRow(t) << t << QSizeF();
}

void TstEtichette::misura()
{
    QFETCH(QString, testo);
    QFETCH(QSizeF, mm);

    const auto letta = Etichettatrice::misura(testo);
    QCOMPARE(letta.value_or(QSizeF()), mm);
}

// A folder gone between apri and the label: a reason for the unit's record.
void TstEtichette::cartella_sparita()
{
    auto cartella = std::make_unique<QTemporaryDir>();
    QVERIFY(cartella->isValid());
    const auto aperta = Etichettatrice::apri(cartella->path());
    QVERIFY(std::holds_alternative<Etichettatrice>(aperta));
    cartella.reset();

    const QString errore = std::get<Etichettatrice>(aperta).stampa(etichetta(12, "Banco 1"));
    QVERIFY2(errore.startsWith(QStringLiteral("label not saved")), qPrintable(errore));
}

QTEST_MAIN(TstEtichette)
#include "tst_etichette.moc"
