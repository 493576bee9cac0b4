// SPDX-License-Identifier: GPL-3.0-or-later
#include "testo_numero.h"

#include <QtTest>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {
std::string_view vista(const QByteArray &b)
{
    return std::string_view(b.constData(), std::size_t(b.size()));
}

QByteArray esatto(double v)
{
    return QByteArray::number(v, 'g', 17);
}

// Switches LC_NUMERIC to a locale whose decimal point is a comma, for the
// lifetime of the object, when one is installed.
class LocaleVirgola
{
public:
    LocaleVirgola()
    {
        m_precedente = std::setlocale(LC_NUMERIC, nullptr);
        for (const char *nome : {"it_IT.UTF-8", "it_IT.utf8", "it_IT", "de_DE.UTF-8", "de_DE.utf8",
                                 "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "fr_FR"}) {
            if (std::setlocale(LC_NUMERIC, nome) &&
                std::string(std::localeconv()->decimal_point) == ",") {
                m_attivo = true;
                return;
            }
        }
        std::setlocale(LC_NUMERIC, m_precedente.c_str());
    }
    ~LocaleVirgola() { std::setlocale(LC_NUMERIC, m_precedente.c_str()); }
    bool attivo() const { return m_attivo; }

private:
    std::string m_precedente;
    bool m_attivo = false;
};
} // namespace

class TstTestoNumero : public QObject
{
    Q_OBJECT

private slots:
    void valore_testo_data();
    void valore_testo();
    void valore_testo_estremi_data();
    void valore_testo_estremi();
    void valore_testo_locale_virgola_data();
    void valore_testo_locale_virgola();
    void testo_numero_data();
    void testo_numero();
    void testo_numero_locale_virgola_data();
    void testo_numero_locale_virgola();
};

void TstTestoNumero::valore_testo_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<double>("atteso");

    QTest::newRow("vuoto") << QByteArray() << 0.0;
    QTest::newRow("non numerico") << QByteArray("abc") << 0.0;
    QTest::newRow("solo spazi") << QByteArray("   ") << 0.0;
    QTest::newRow("solo punto") << QByteArray(".") << 0.0;
    QTest::newRow("solo segno") << QByteArray("-") << 0.0;
    QTest::newRow("intero") << QByteArray("161") << 161.0;
    QTest::newRow("decimale") << QByteArray("160.9125") << 160.9125;
    QTest::newRow("cinque decimali") << QByteArray("441.56875") << 441.56875;
    QTest::newRow("senza parte intera") << QByteArray(".5") << 0.5;
    QTest::newRow("punto finale") << QByteArray("5.") << 5.0;
    QTest::newRow("due punti") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("lettera dopo") << QByteArray("12a") << 12.0;
    QTest::newRow("spazi iniziali") << QByteArray("  7") << 7.0;
    QTest::newRow("tab iniziale") << QByteArray("\t7") << 7.0;
    QTest::newRow("spazio interno") << QByteArray("1 2") << 1.0;
    QTest::newRow("spazio finale") << QByteArray("30 ") << 30.0;
    QTest::newRow("virgola") << QByteArray("433,92") << 433.0;
    QTest::newRow("zeri iniziali") << QByteArray("000160.9125") << 160.9125;
    QTest::newRow("meno") << QByteArray("-21.4") << -21.4;
    QTest::newRow("piu") << QByteArray("+3") << 3.0;
}

void TstTestoNumero::valore_testo()
{
    QFETCH(QByteArray, testo);
    QFETCH(double, atteso);

    const double v = ::valore_testo(vista(testo));
    QVERIFY2(v == atteso, esatto(v) + " invece di " + esatto(atteso));
}

void TstTestoNumero::valore_testo_estremi_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<double>("atteso");

    const double inf = std::numeric_limits<double>::infinity();
    const QByteArray enorme = "1" + QByteArray(399, '9');
    const QByteArray minuscolo = "0." + QByteArray(400, '0') + "1";
    QTest::newRow("400 cifre") << enorme << inf;
    QTest::newRow("400 cifre con decimali") << enorme + ".25" << inf;
    QTest::newRow("400 cifre negativo") << "-" + enorme << -inf;
    QTest::newRow("400 zeri dopo il punto") << minuscolo << 0.0;
    QTest::newRow("400 zeri dopo il punto, senza 0 iniziale") << minuscolo.mid(1) << 0.0;
    QTest::newRow("400 zeri iniziali") << QByteArray(400, '0') + "5" << 5.0;
    QTest::newRow("400 zeri prima del punto") << QByteArray(400, '0') + ".5" << 0.5;
    QTest::newRow("1e308 scritto per esteso") << "1" + QByteArray(308, '0') << 1e308;
}

void TstTestoNumero::valore_testo_estremi()
{
    QFETCH(QByteArray, testo);
    QFETCH(double, atteso);

    const double v = ::valore_testo(vista(testo));
    QVERIFY2(v == atteso, esatto(v) + " invece di " + esatto(atteso));
}

void TstTestoNumero::valore_testo_locale_virgola_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<double>("atteso");

    QTest::newRow("punto") << QByteArray("160.9125") << 160.9125;
    QTest::newRow("virgola") << QByteArray("433,92") << 433.0;
    QTest::newRow("solo virgola") << QByteArray(",5") << 0.0;
}

void TstTestoNumero::valore_testo_locale_virgola()
{
    QFETCH(QByteArray, testo);
    QFETCH(double, atteso);

    LocaleVirgola locale;
    if (!locale.attivo())
        QSKIP("nessun locale con la virgola decimale installato");
    const double v = ::valore_testo(vista(testo));
    QVERIFY2(v == atteso, esatto(v) + " invece di " + esatto(atteso));
}

void TstTestoNumero::testo_numero_data()
{
    QTest::addColumn<double>("valore");
    QTest::addColumn<QByteArray>("atteso");

    // Sums as the reverse frequency conversion produces them.
    QTest::newRow("182.4 - 21.4") << 182.4 - 21.4 << QByteArray("161");
    QTest::newRow("182.3125 - 21.4") << 182.3125 - 21.4 << QByteArray("160.9125");
    QTest::newRow("396.56875 + 45") << 396.56875 + 45 << QByteArray("441.56875");
    QTest::newRow("270.4 + 45") << 270.4 + 45 << QByteArray("315.4");
    QTest::newRow("205 - 21.4") << 205 - 21.4 << QByteArray("183.6");
    QTest::newRow("415 + 45") << 415.0 + 45 << QByteArray("460");
    QTest::newRow("0.1 + 0.2") << 0.1 + 0.2 << QByteArray("0.3");

    QTest::newRow("zero") << 0.0 << QByteArray("0");
    QTest::newRow("meno zero") << -0.0 << QByteArray("0");
    QTest::newRow("1") << 1.0 << QByteArray("1");
    QTest::newRow("100: zeri interi restano") << 100.0 << QByteArray("100");
    QTest::newRow("4096") << 4096.0 << QByteArray("4096");
    QTest::newRow("1000000") << 1000000.0 << QByteArray("1000000");
    QTest::newRow("15 cifre intere") << 123456789012345.0 << QByteArray("123456789012345");
    QTest::newRow("0.5") << 0.5 << QByteArray("0.5");
    QTest::newRow("160.9") << 160.9 << QByteArray("160.9");
    QTest::newRow("negativo") << -21.4 << QByteArray("-21.4");
    QTest::newRow("1/3") << 1.0 / 3 << QByteArray("0.333333333333333");
    QTest::newRow("2/3 arrotondato") << 2.0 / 3 << QByteArray("0.666666666666667");
    QTest::newRow("arrotondamento a intero") << 160.9999999999999 << QByteArray("161");
    // valore_testo takes no exponent: "1e+15" would read back as 1.
    QTest::newRow("1e15 per esteso") << 1e15 << QByteArray("1000000000000000");
    QTest::newRow("oltre 15 cifre intere")
        << 123456789012345678.0 << QByteArray("123456789012346000");
    QTest::newRow("1e-5 per esteso") << 1e-5 << QByteArray("0.00001");
    QTest::newRow("negativo piccolo") << -1.5e-7 << QByteArray("-0.00000015");
}

void TstTestoNumero::testo_numero()
{
    QFETCH(double, valore);
    QFETCH(QByteArray, atteso);

    QCOMPARE(QByteArray::fromStdString(::testo_numero(valore)), atteso);
}

void TstTestoNumero::testo_numero_locale_virgola_data()
{
    QTest::addColumn<double>("valore");
    QTest::addColumn<QByteArray>("atteso");

    QTest::newRow("160.9125") << 160.9125 << QByteArray("160.9125");
    QTest::newRow("441.56875") << 441.56875 << QByteArray("441.56875");
    QTest::newRow("0.5") << 0.5 << QByteArray("0.5");
}

void TstTestoNumero::testo_numero_locale_virgola()
{
    QFETCH(double, valore);
    QFETCH(QByteArray, atteso);

    LocaleVirgola locale;
    if (!locale.attivo())
        QSKIP("nessun locale con la virgola decimale installato");
    QCOMPARE(QByteArray::fromStdString(::testo_numero(valore)), atteso);
}

QTEST_APPLESS_MAIN(TstTestoNumero)
#include "tst_testo_numero.moc"
