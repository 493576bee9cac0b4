// SPDX-License-Identifier: GPL-3.0-or-later
#include "blocco.h"
#include "frequenza.h"
#include "sintetizzatore.h"
#include "testo_numero.h"
#include "valori_unita.h"

#include <QtTest>

#include <cmath>
#include <string>

namespace {
constexpr int NESSUNA = -1; // no band letter read

// The band a unit reporting this letter in cell 62 has.
std::optional<Banda> banda_di(int lettera)
{
    if (lettera == NESSUNA)
        return std::nullopt;
    return banda_da_lettera(static_cast<std::uint8_t>(lettera));
}

std::string_view vista(const QByteArray &b)
{
    return std::string_view(b.constData(), std::size_t(b.size()));
}

QString celle(const FqByte &c)
{
    return QString("%1,%2,%3").arg(c.FQ_Byte1).arg(c.FQ_Byte2).arg(c.FQ_Byte3);
}

// A grid frequency held in units of 0.1 kHz, written out from the integer so
// that the expected text owes nothing to floating point.
QByteArray testo_griglia(long long decimi_khz)
{
    QByteArray t = QByteArray::number(decimi_khz / 10000);
    QByteArray frazione = QByteArray::number(decimi_khz % 10000).rightJustified(4, '0');
    while (frazione.endsWith('0'))
        frazione.chop(1);
    if (!frazione.isEmpty())
        t += '.' + frazione;
    return t;
}

struct Ricerca
{
    bool trovata;
    int A;
    double B;
};

// The swallow counter search carried out literally, one rounding per
// operation (volatile keeps each intermediate in a double).
Ricerca ricerca_swallow(double s)
{
    for (int A = 0; A <= 127; ++A) {
        volatile double passi = s * 1000;
        passi = passi / 12.5;
        volatile double X = passi - A;
        X = X / 64;
        volatile double intera = std::floor(X);
        volatile double frazione = X - intera;
        if (frazione < 0.00001)
            return {true, A, intera};
    }
    return {false, 127, 0};
}
} // namespace

class TstSintetizzatore : public QObject
{
    Q_OBJECT

private slots:
    void in_banda_data();
    void in_banda();
    void andata_data();
    void andata();
    void arrotondamento_griglia_data();
    void arrotondamento_griglia();
    void andata_e_ritorno_data();
    void andata_e_ritorno();
    void griglia_andata_e_ritorno_data();
    void griglia_andata_e_ritorno();
    void ricerca_swallow_come_divisione();
    void posto_in_griglia_data();
    void posto_in_griglia();
};

void TstSintetizzatore::in_banda_data()
{
    QTest::addColumn<double>("s");
    QTest::addColumn<int>("lettera");
    QTest::addColumn<bool>("accettata");

    QTest::newRow("V 100") << 100.0 << 86 << true;
    QTest::newRow("V 249") << 249.0 << 86 << true;
    QTest::newRow("V 99.9875") << 99.9875 << 86 << false;
    QTest::newRow("V 249.0125") << 249.0125 << 86 << false;
    QTest::newRow("V 250") << 250.0 << 86 << false;
    QTest::newRow("U 250") << 250.0 << 85 << true;
    QTest::newRow("U 500") << 500.0 << 85 << true;
    QTest::newRow("U 249.9875") << 249.9875 << 85 << false;
    QTest::newRow("U 500.0125") << 500.0125 << 85 << false;
    QTest::newRow("U 249") << 249.0 << 85 << false;
    QTest::newRow("U 249.5") << 249.5 << 85 << false;
    QTest::newRow("V 249.5") << 249.5 << 86 << false;
    QTest::newRow("nessuna lettera 249.5") << 249.5 << NESSUNA << true;
    QTest::newRow("nessuna lettera 0") << 0.0 << NESSUNA << true;
    QTest::newRow("nessuna lettera 60000") << 60000.0 << NESSUNA << true;
    QTest::newRow("lettera 0 impostata") << 0.0 << 0 << true;
    QTest::newRow("lettera 65") << 1000.0 << 65 << true;
}

void TstSintetizzatore::in_banda()
{
    QFETCH(double, s);
    QFETCH(int, lettera);
    QFETCH(bool, accettata);

    QCOMPARE(::in_banda(s, banda_di(lettera)), accettata);
}

void TstSintetizzatore::andata_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<int>("lettera");
    QTest::addColumn<double>("rx");
    QTest::addColumn<double>("s");
    QTest::addColumn<bool>("fuori_range");
    QTest::addColumn<bool>("fuori_banda");
    QTest::addColumn<QString>("celle");
    QTest::addColumn<bool>("codificabile");

    QTest::newRow("160.9125 V") << QByteArray("160.9125") << 86 << 160.9125 << 182.3125 << false
                                << false << "0,227,114" << true;
    QTest::newRow("440.9125 U") << QByteArray("440.9125") << 85 << 440.9125 << 395.9125 << false
                                << false << "1,238,114" << true;
    QTest::newRow("161 V") << QByteArray("161") << 86 << 161.0 << 182.4 << false << false
                           << "0,228,0" << true;
    QTest::newRow("460 U") << QByteArray("460") << 85 << 460.0 << 415.0 << false << false
                           << "2,6,96" << true;
    QTest::newRow("150 V") << QByteArray("150") << 86 << 150.0 << 171.4 << false << false
                           << "0,214,32" << true;
    QTest::newRow("470 U") << QByteArray("470") << 85 << 470.0 << 425.0 << false << false
                           << "2,19,32" << true;
    QTest::newRow("vuoto, nessuna lettera")
        << QByteArray() << NESSUNA << 0.0 << 0.0 << true << false << "0,0,0" << true;
    QTest::newRow("non numerico, nessuna lettera")
        << QByteArray("abc") << NESSUNA << 0.0 << 0.0 << true << false << "0,0,0" << true;

    // Window edges, no band letter.
    QTest::newRow("100") << QByteArray("100") << NESSUNA << 100.0 << 121.4 << false << false
                         << "0,151,96" << true;
    QTest::newRow("99.9 fuori range")
        << QByteArray("99.9") << NESSUNA << 99.9 << 99.9 << true << false << "0,124,112" << true;
    QTest::newRow("249 offset VHF")
        << QByteArray("249") << NESSUNA << 249.0 << 270.4 << false << false << "1,82,0" << true;
    QTest::newRow("249.5 in nessuna finestra")
        << QByteArray("249.5") << NESSUNA << 249.5 << 249.5 << true << false << "1,55,112" << true;
    QTest::newRow("250 offset UHF")
        << QByteArray("250") << NESSUNA << 250.0 << 205.0 << false << false << "1,0,32" << true;
    QTest::newRow("500") << QByteArray("500") << NESSUNA << 500.0 << 455.0 << false << false
                         << "2,56,96" << true;
    QTest::newRow("500.0125 fuori range") << QByteArray("500.0125") << NESSUNA << 500.0125
                                          << 500.0125 << true << false << "2,113,2" << true;

    // The band check looks at the RX value's own window and at the oscillator value.
    QTest::newRow("160 U rifiutata")
        << QByteArray("160") << 85 << 160.0 << 181.4 << false << true << "" << true;
    QTest::newRow("440 V rifiutata")
        << QByteArray("440") << 86 << 440.0 << 395.0 << false << true << "" << true;
    // Values of the other band's window would pass on their oscillator value
    // and be programmed at another frequency.
    QTest::newRow("249 U rifiutata: finestra VHF")
        << QByteArray("249") << 85 << 249.0 << 270.4 << false << true << "" << true;
    QTest::newRow("250 V rifiutata: finestra UHF")
        << QByteArray("250") << 86 << 250.0 << 205.0 << false << true << "" << true;
    QTest::newRow("227.6 V accettata: oscillatore 249")
        << QByteArray("227.6") << 86 << 227.6 << 249.0 << false << false << "1,55,32" << true;
    QTest::newRow("227.6125 V rifiutata: oscillatore oltre 249")
        << QByteArray("227.6125") << 86 << 227.6125 << 249.0125 << false << true << "" << true;
    QTest::newRow("295 U accettata: oscillatore 250")
        << QByteArray("295") << 85 << 295.0 << 250.0 << false << false << "1,56,64" << true;
    QTest::newRow("294.9875 U rifiutata: oscillatore sotto 250")
        << QByteArray("294.9875") << 85 << 294.9875 << 249.9875 << false << true << "" << true;
    QTest::newRow("249 V rifiutata")
        << QByteArray("249") << 86 << 249.0 << 270.4 << false << true << "" << true;
    QTest::newRow("250 U rifiutata")
        << QByteArray("250") << 85 << 250.0 << 205.0 << false << true << "" << true;
    QTest::newRow("249.5 U rifiutata")
        << QByteArray("249.5") << 85 << 249.5 << 249.5 << true << true << "" << true;
    QTest::newRow("249.5 V rifiutata")
        << QByteArray("249.5") << 86 << 249.5 << 249.5 << true << true << "" << true;
    QTest::newRow("vuoto U rifiutato")
        << QByteArray() << 85 << 0.0 << 0.0 << true << true << "" << true;
    QTest::newRow("600 U rifiutata")
        << QByteArray("600") << 85 << 600.0 << 600.0 << true << true << "" << true;
    QTest::newRow("50 V rifiutata")
        << QByteArray("50") << 86 << 50.0 << 50.0 << true << true << "" << true;
    QTest::newRow("lettera impostata ma non U/V")
        << QByteArray("160") << 0 << 160.0 << 181.4 << false << false << "0,226,96" << true;

    // Beyond the reach of the cells: FQ_Byte1 over 255.
    QTest::newRow("52428.7875 ultimo codificabile")
        << QByteArray("52428.7875") << NESSUNA << 52428.7875 << 52428.7875 << true << false
        << "255,255,126" << true;
    QTest::newRow("52428.8 non codificabile") << QByteArray("52428.8") << NESSUNA << 52428.8
                                              << 52428.8 << true << false << "256,0,0" << false;
    QTest::newRow("60000 non codificabile") << QByteArray("60000") << NESSUNA << 60000.0 << 60000.0
                                            << true << false << "292,248,0" << false;
}

void TstSintetizzatore::andata()
{
    QFETCH(QByteArray, testo);
    QFETCH(int, lettera);
    QFETCH(double, rx);
    QFETCH(double, s);
    QFETCH(bool, fuori_range);
    QFETCH(bool, fuori_banda);
    QFETCH(QString, celle);
    QFETCH(bool, codificabile);

    const Conversione c = Frequenza(vista(testo)).conversione(banda_di(lettera));
    QCOMPARE(c.rx, rx);
    QCOMPARE(c.s, s);
    QCOMPARE(c.fuori_range, fuori_range);
    QCOMPARE(c.fuori_banda, fuori_banda);
    if (fuori_banda)
        return;
    QCOMPARE(::celle(c.celle), celle);
    QCOMPARE(c.codificabile, codificabile);
    QCOMPARE(std::fmod(c.celle.FQ_Byte3, 2.0), 0.0);
}

void TstSintetizzatore::arrotondamento_griglia_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<QByteArray>("punto_griglia");
    QTest::addColumn<int>("lettera");

    QTest::newRow("150.0025 sale") << QByteArray("150.0025") << QByteArray("150.0125") << 86;
    QTest::newRow("150.0024 scende") << QByteArray("150.0024") << QByteArray("150") << 86;
    QTest::newRow("150.0124 resta") << QByteArray("150.0124") << QByteArray("150.0125") << 86;
    QTest::newRow("440.915 sale") << QByteArray("440.915") << QByteArray("440.925") << 85;
    QTest::newRow("440.9149 scende") << QByteArray("440.9149") << QByteArray("440.9125") << 85;
    QTest::newRow("460.00001 scende") << QByteArray("460.00001") << QByteArray("460") << 85;
}

void TstSintetizzatore::arrotondamento_griglia()
{
    QFETCH(QByteArray, testo);
    QFETCH(QByteArray, punto_griglia);
    QFETCH(int, lettera);

    const Conversione c = Frequenza(vista(testo)).conversione(banda_di(lettera));
    const Conversione g = Frequenza(vista(punto_griglia)).conversione(banda_di(lettera));
    QVERIFY(!c.fuori_banda && !g.fuori_banda);
    QCOMPARE(celle(c.celle), celle(g.celle));
}

void TstSintetizzatore::andata_e_ritorno_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<int>("lettera");
    QTest::addColumn<QByteArray>("mostrato");

    QTest::newRow("160.9125 V") << QByteArray("160.9125") << 86 << QByteArray("160.9125");
    QTest::newRow("460 U") << QByteArray("460") << 85 << QByteArray("460");
    QTest::newRow("227.6 V") << QByteArray("227.6") << 86 << QByteArray("227.6");
    QTest::newRow("295 U") << QByteArray("295") << 85 << QByteArray("295");
    QTest::newRow("150.0025 V") << QByteArray("150.0025") << 86 << QByteArray("150.0125");
    QTest::newRow("150.0024 V") << QByteArray("150.0024") << 86 << QByteArray("150");
}

void TstSintetizzatore::andata_e_ritorno()
{
    QFETCH(QByteArray, testo);
    QFETCH(int, lettera);
    QFETCH(QByteArray, mostrato);

    const Conversione c = Frequenza(vista(testo)).conversione(banda_di(lettera));
    QVERIFY(!c.fuori_banda);
    QVERIFY(c.codificabile);
    const std::optional<double> f = frequenza_da_celle(c.celle);
    QVERIFY(f.has_value());
    QCOMPARE(QByteArray::fromStdString(testo_numero(*f)), mostrato);
}

void TstSintetizzatore::griglia_andata_e_ritorno_data()
{
    QTest::addColumn<long long>("da");
    QTest::addColumn<long long>("a");
    QTest::addColumn<int>("lettera");

    QTest::newRow("VHF 150-174") << 1500000LL << 1740000LL << 86;
    QTest::newRow("UHF 400-470") << 4000000LL << 4700000LL << 85;
    QTest::newRow("VHF 150-174 senza lettera") << 1500000LL << 1740000LL << NESSUNA;
    QTest::newRow("UHF 400-470 senza lettera") << 4000000LL << 4700000LL << NESSUNA;
}

void TstSintetizzatore::griglia_andata_e_ritorno()
{
    QFETCH(long long, da);
    QFETCH(long long, a);
    QFETCH(int, lettera);

    const std::optional<Banda> banda = banda_di(lettera);
    int provati = 0;
    for (long long f = da; f <= a; f += 125) {
        const QByteArray testo = testo_griglia(f);
        const Conversione c = Frequenza(vista(testo)).conversione(banda);
        QVERIFY2(!c.fuori_range && !c.fuori_banda && c.codificabile, testo);
        const std::optional<double> r = frequenza_da_celle(c.celle);
        QVERIFY2(r.has_value(), testo);
        const QByteArray mostrato = QByteArray::fromStdString(testo_numero(*r));
        QVERIFY2(mostrato == testo, testo + " torna come " + mostrato);
        ++provati;
    }
    QCOMPARE(provati, int((a - da) / 125 + 1));
}

void TstSintetizzatore::ricerca_swallow_come_divisione()
{
    const double q = 12.5 / 1000;
    for (int N = 0; N <= 200000; ++N) {
        volatile double s = N;
        s = s * q;
        const Ricerca r = ricerca_swallow(s);
        const QByteArray dove = "N = " + QByteArray::number(N);
        QVERIFY2(r.trovata, dove);
        QVERIFY2(r.A == N % 64 && r.B == N / 64,
                 dove + ": A " + QByteArray::number(r.A) + " B " + QByteArray::number(r.B));

        const FqByte c = calcola_fq_byte(s);
        const int B = N / 64;
        QVERIFY2(c.FQ_Byte1 == B / 256 && c.FQ_Byte2 == B % 256 && c.FQ_Byte3 == 2 * (N % 64),
                 dove + ": " + celle(c).toLatin1());
    }
}

void TstSintetizzatore::posto_in_griglia_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<bool>("leggibile");
    QTest::addColumn<QByteArray>("sotto"); // both empty: exactly a channel
    QTest::addColumn<QByteArray>("sopra");

    QTest::newRow("canale vhf") << QByteArray("160.9125") << true << QByteArray() << QByteArray();
    QTest::newRow("canale uhf") << QByteArray("440.9125") << true << QByteArray() << QByteArray();
    QTest::newRow("intero") << QByteArray("161") << true << QByteArray() << QByteArray();
    QTest::newRow("zeri in più") << QByteArray("0160.91250000") << true << QByteArray()
                                 << QByteArray();
    QTest::newRow("fuori griglia")
        << QByteArray("160.91") << true << QByteArray("160.9") << QByteArray("160.9125");
    QTest::newRow("433.92") << QByteArray("433.92") << true << QByteArray("433.9125")
                            << QByteArray("433.925");
    // A double would round these onto the grid.
    QTest::newRow("oltre il decimo di kHz") << QByteArray("160.9125000000000001") << true
                                            << QByteArray("160.9125") << QByteArray("160.925");
    QTest::newRow("appena sotto un canale") << QByteArray("160.91249999999999") << true
                                            << QByteArray("160.9") << QByteArray("160.9125");
    QTest::newRow("sotto il primo canale")
        << QByteArray("0.005") << true << QByteArray("0") << QByteArray("0.0125");
    QTest::newRow("attraverso un intero")
        << QByteArray("227.99") << true << QByteArray("227.9875") << QByteArray("228");
    for (const char *t :
         {"", ".5", "5.", "1.2.3", "160,5", "-160", "+160", " 160", "1e2", "1234567890123.5"})
        QTest::newRow(qPrintable(QStringLiteral("illeggibile \"%1\"").arg(t)))
            << QByteArray(t) << false << QByteArray() << QByteArray();
}

void TstSintetizzatore::posto_in_griglia()
{
    QFETCH(QByteArray, testo);
    QFETCH(bool, leggibile);
    QFETCH(QByteArray, sotto);
    QFETCH(QByteArray, sopra);

    const PostoInGriglia p = Frequenza(vista(testo)).griglia();
    QCOMPARE(p.leggibile, leggibile);
    if (!leggibile)
        return;
    QCOMPARE(p.canale, sotto.isEmpty());
    QCOMPARE(QByteArray::fromStdString(p.sotto), sotto);
    QCOMPARE(QByteArray::fromStdString(p.sopra), sopra);
}

QTEST_APPLESS_MAIN(TstSintetizzatore)
#include "tst_sintetizzatore.moc"
