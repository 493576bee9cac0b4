// SPDX-License-Identifier: GPL-3.0-or-later
#include "blocco.h"
#include "parametri.h"
#include "testo_numero.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(Banda)

namespace {
// Cells 0-13 of the two factory blocks.
const QList<int> TESTA_UHF = {0, 2, 6, 96, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0};
const QList<int> TESTA_VHF = {0, 0, 228, 0, 0, 136, 1, 0, 1, 1, 0, 30, 3, 0};

// Fills cells 0-13 from valori, leaving the indexes in non_impostate unset.
Parametri riempi(const QList<int> &valori, const QList<int> &non_impostate = {})
{
    Parametri p;
    for (int i = 0; i < 14; ++i) {
        if (!non_impostate.contains(i))
            *p.variabile(i) = valori.at(i);
    }
    return p;
}
} // namespace

class TstParametri : public QObject
{
    Q_OBJECT

private slots:
    void variante_non_impostata();
    void variabili_delle_celle();
    void checksum_data();
    void checksum();
    void checksum_blocchi_fabbrica_data();
    void checksum_blocchi_fabbrica();
    void checksum_cella_azzerata();
    void ritorno_data();
    void ritorno();
    void ritorno_celle_non_impostate();
    void codifica_byte_data();
    void codifica_byte();
    void codice_data();
    void codice();
    void codice_oltre_65535_data();
    void codice_oltre_65535();
    void blocchi_fabbrica_data();
    void blocchi_fabbrica();
};

void TstParametri::variante_non_impostata()
{
    Parametri p;
    QVERIFY(!p.stripVU.impostata());
    QCOMPARE(p.stripVU.valore(), 0.0);
    QVERIFY(!p.stripVU.uguale(lettera::UHF));
    QVERIFY(!p.stripVU.uguale(lettera::VHF));
    QVERIFY(!p.stripVU.uguale(0));

    p.stripVU = 0;
    QVERIFY(p.stripVU.impostata());
    QVERIFY(p.stripVU.uguale(0));
    QVERIFY(!p.stripVU.uguale(lettera::UHF));

    p.stripVU = lettera::VHF;
    QVERIFY(p.stripVU.uguale(86));
    QVERIFY(!p.stripVU.uguale(85));

    p.stripVU.azzera();
    QVERIFY(!p.stripVU.impostata());
    QVERIFY(!p.stripVU.uguale(lettera::VHF));
    QVERIFY(!p.stripVU.uguale(0));
}

void TstParametri::variabili_delle_celle()
{
    // Read, programming and factory initialisation share this index order.
    Variante Parametri::*const ordine[14] = {
        &Parametri::Tipo_M5,   &Parametri::FQ_Byte1, &Parametri::FQ_Byte2, &Parametri::FQ_Byte3,
        &Parametri::BaseD1,    &Parametri::BaseD2,   &Parametri::BaseD3,   &Parametri::Cod_H,
        &Parametri::Cod_L,     &Parametri::Toni_HL,  &Parametri::Mem_Ipul, &Parametri::Tempo_Rele,
        &Parametri::Tempo_Imp, &Parametri::RxP88};
    Parametri p;
    const Parametri &cp = p;
    for (int i = 0; i < 14; ++i) {
        QVERIFY2(p.variabile(i) == &(p.*ordine[i]), qPrintable(QString("cella %1").arg(i)));
        QVERIFY2(cp.variabile(i) == &(p.*ordine[i]), qPrintable(QString("cella %1").arg(i)));
    }
    for (int i : {-1, 14, 60, 61, 62, 63, 64})
        QVERIFY2(p.variabile(i) == nullptr, qPrintable(QString("cella %1").arg(i)));
}

void TstParametri::checksum_data()
{
    QTest::addColumn<QList<int>>("valori");
    QTest::addColumn<QList<int>>("non_impostate");
    QTest::addColumn<int>("atteso");

    const QList<int> zeri(14, 0);
    QTest::newRow("somma 276 (fabbrica UHF)") << TESTA_UHF << QList<int>{} << 235;
    QTest::newRow("somma 400 (fabbrica VHF)") << TESTA_VHF << QList<int>{} << 111;
    QTest::newRow("somma 255") << QList<int>{0, 0, 0, 0, 0, 136, 1, 0, 1, 1, 0, 30, 3, 83}
                               << QList<int>{} << 0;
    QTest::newRow("somma 256") << QList<int>{0, 0, 0, 0, 0, 136, 1, 0, 1, 1, 0, 30, 3, 84}
                               << QList<int>{} << 255;
    QTest::newRow("somma 512") << QList<int>{255, 255, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                               << QList<int>{} << 255;
    QTest::newRow("somma 0") << zeri << QList<int>{} << 255;
    QTest::newRow("somma 3570 (tutte 255)") << QList<int>(14, 255) << QList<int>{} << 13;
    QTest::newRow("somma 1") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0} << QList<int>{}
                             << 254;
    QTest::newRow("tutte non impostate")
        << QList<int>(14, 7) << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13} << 255;
    // The factory UHF head with 1 in every option cell, but the options left
    // unset: 276 - Toni_HL(1) = 275.
    QTest::newRow("opzioni non impostate contano 0")
        << QList<int>{0, 2, 6, 96, 0, 136, 1, 0, 1, 1, 1, 30, 3, 1} << QList<int>{9, 10, 13} << 236;
}

void TstParametri::checksum()
{
    QFETCH(QList<int>, valori);
    QFETCH(QList<int>, non_impostate);
    QFETCH(int, atteso);

    Parametri p = riempi(valori, non_impostate);
    // Working variables lie outside the sum.
    p.Cks = 17;
    p.stripVU = lettera::UHF;
    p.Fabbrica = 1;
    p.fleg = 1;
    p.Tot_cks = 99;

    p.calcola_checksum();
    QVERIFY(p.Tot_cks.impostata());
    QCOMPARE(p.Tot_cks.valore(), double(atteso));

    double somma = 0;
    for (int i = 0; i < 14; ++i)
        somma += p.variabile(i)->valore();
    QCOMPARE(std::fmod(somma + p.Tot_cks.valore(), 256.0), 255.0);
}

void TstParametri::checksum_blocchi_fabbrica_data()
{
    QTest::addColumn<Banda>("banda");
    QTest::newRow("UHF") << Banda::UHF;
    QTest::newRow("VHF") << Banda::VHF;
}

void TstParametri::checksum_blocchi_fabbrica()
{
    QFETCH(Banda, banda);
    const Blocco &b = blocco_fabbrica(banda);
    Parametri p;
    for (int i = 0; i < 14; ++i)
        *p.variabile(i) = b[i];
    p.calcola_checksum();
    QCOMPARE(p.Tot_cks.valore(), double(b[CELLA_CKS]));
}

void TstParametri::checksum_cella_azzerata()
{
    Parametri p;
    for (int i = 0; i < 14; ++i)
        *p.variabile(i) = 100 + i;
    p.Toni_HL.azzera();
    p.Cks = 5;
    p.stripVU = lettera::VHF;
    p.calcola_checksum();
    QCOMPARE(p.Tot_cks.valore(), 153.0); // 255 - (1491 - 109) mod 256
}

void TstParametri::ritorno_data()
{
    QTest::addColumn<double>("b1");
    QTest::addColumn<double>("b2");
    QTest::addColumn<double>("b3");
    QTest::addColumn<bool>("scritta");
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<double>("A");

    QTest::newRow("0,227,114") << 0.0 << 227.0 << 114.0 << true << QByteArray("160.9125") << 57.0;
    QTest::newRow("0,228,0") << 0.0 << 228.0 << 0.0 << true << QByteArray("161") << 0.0;
    QTest::newRow("2,6,96") << 2.0 << 6.0 << 96.0 << true << QByteArray("460") << 48.0;
    QTest::newRow("1,238,114") << 1.0 << 238.0 << 114.0 << true << QByteArray("440.9125") << 57.0;
    QTest::newRow("FQ_Byte3 dispari")
        << 1.0 << 239.0 << 91.0 << true << QByteArray("441.56875") << 45.5;
    QTest::newRow("F 100") << 0.0 << 125.0 << 0.0 << true << QByteArray("78.6") << 0.0;
    QTest::newRow("F 249") << 1.0 << 55.0 << 32.0 << true << QByteArray("227.6") << 16.0;
    QTest::newRow("F 250") << 1.0 << 56.0 << 64.0 << true << QByteArray("295") << 32.0;
    QTest::newRow("F 500") << 2.0 << 113.0 << 0.0 << true << QByteArray("545") << 0.0;
    QTest::newRow("F 249.5") << 1.0 << 55.0 << 112.0 << false << QByteArray() << 56.0;
    QTest::newRow("F 249.00625") << 1.0 << 55.0 << 33.0 << false << QByteArray() << 16.5;
    QTest::newRow("F 249.9875") << 1.0 << 56.0 << 62.0 << false << QByteArray() << 31.0;
    QTest::newRow("F 99.9875") << 0.0 << 124.0 << 126.0 << false << QByteArray() << 63.0;
    QTest::newRow("F 0") << 0.0 << 0.0 << 0.0 << false << QByteArray() << 0.0;
    QTest::newRow("F 500.0125") << 2.0 << 113.0 << 2.0 << false << QByteArray() << 1.0;
    QTest::newRow("F 1000") << 4.0 << 226.0 << 0.0 << false << QByteArray() << 0.0;
}

void TstParametri::ritorno()
{
    QFETCH(double, b1);
    QFETCH(double, b2);
    QFETCH(double, b3);
    QFETCH(bool, scritta);
    QFETCH(QByteArray, testo);
    QFETCH(double, A);

    Parametri p;
    p.FQ_Byte1 = b1;
    p.FQ_Byte2 = b2;
    p.FQ_Byte3 = b3;
    const std::optional<double> f = p.frequenza_da_fq_byte();
    QCOMPARE(f.has_value(), scritta);
    if (scritta)
        QCOMPARE(QByteArray::fromStdString(testo_numero(*f)), testo);
    QVERIFY(p.FQ_Byte3.impostata());
    QCOMPARE(p.FQ_Byte3.valore(), A);
}

void TstParametri::ritorno_celle_non_impostate()
{
    Parametri p;
    p.FQ_Byte2 = 228;
    const std::optional<double> f = p.frequenza_da_fq_byte();
    QVERIFY(f.has_value());
    QCOMPARE(QByteArray::fromStdString(testo_numero(*f)), QByteArray("161"));
    QCOMPARE(p.FQ_Byte3.valore(), 0.0);
}

void TstParametri::codifica_byte_data()
{
    QTest::addColumn<double>("valore");
    QTest::addColumn<bool>("codificabile");
    QTest::addColumn<int>("byte");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("0") << 0.0 << true << 0;
    QTest::newRow("255") << 255.0 << true << 255;
    QTest::newRow("0.5 pari in basso") << 0.5 << true << 0;
    QTest::newRow("1.5 pari in alto") << 1.5 << true << 2;
    QTest::newRow("2.5 pari in basso") << 2.5 << true << 2;
    QTest::newRow("3.5 pari in alto") << 3.5 << true << 4;
    QTest::newRow("45.5 pari in alto") << 45.5 << true << 46;
    QTest::newRow("0.49") << 0.49 << true << 0;
    QTest::newRow("0.51") << 0.51 << true << 1;
    QTest::newRow("254.5") << 254.5 << true << 254;
    QTest::newRow("255.4") << 255.4 << true << 255;
    QTest::newRow("-0.4 arrotonda a 0") << -0.4 << true << 0;
    QTest::newRow("-0.5 arrotonda a 0") << -0.5 << true << 0;
    QTest::newRow("-0.6") << -0.6 << false << 0;
    QTest::newRow("-1") << -1.0 << false << 0;
    QTest::newRow("255.5 diventa 256") << 255.5 << false << 0;
    QTest::newRow("256") << 256.0 << false << 0;
    QTest::newRow("257") << 257.0 << false << 0;
    QTest::newRow("65536") << 65536.0 << false << 0;
    QTest::newRow("1e300") << 1e300 << false << 0;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false << 0;
    QTest::newRow("+inf") << inf << false << 0;
    QTest::newRow("-inf") << -inf << false << 0;
}

void TstParametri::codifica_byte()
{
    QFETCH(double, valore);
    QFETCH(bool, codificabile);
    QFETCH(int, byte);

    const std::optional<std::uint8_t> c = codifica_cella(valore);
    QCOMPARE(c.has_value(), codificabile);
    if (codificabile)
        QCOMPARE(int(*c), byte);
}

void TstParametri::codice_data()
{
    QTest::addColumn<double>("codice");
    QTest::addColumn<int>("alto");
    QTest::addColumn<int>("basso");

    QTest::newRow("0") << 0.0 << 0 << 0;
    QTest::newRow("1 (fabbrica)") << 1.0 << 0 << 1;
    QTest::newRow("255") << 255.0 << 0 << 255;
    QTest::newRow("256") << 256.0 << 1 << 0;
    QTest::newRow("257") << 257.0 << 1 << 1;
    QTest::newRow("1234") << 1234.0 << 4 << 210;
    QTest::newRow("4095") << 4095.0 << 15 << 255;
    QTest::newRow("4096") << 4096.0 << 16 << 0;
    QTest::newRow("65535") << 65535.0 << 255 << 255;
    // A floor would give -1 and 256, neither a cell.
    QTest::newRow("appena sotto 0") << -4e-16 << 0 << 0;
}

void TstParametri::codice()
{
    QFETCH(double, codice);
    QFETCH(int, alto);
    QFETCH(int, basso);

    const Codice c = dividi_codice(codice);
    QVERIFY(unisci_codice(c.Cod_H, c.Cod_L) == codice);
    // What the two cells carry.
    const auto cella_alta = codifica_cella(c.Cod_H);
    const auto cella_bassa = codifica_cella(c.Cod_L);
    QVERIFY(cella_alta && cella_bassa);
    QCOMPARE(int(*cella_alta), alto);
    QCOMPARE(int(*cella_bassa), basso);
    QCOMPARE(unisci_codice(alto, basso), std::round(codice));
}

void TstParametri::codice_oltre_65535_data()
{
    QTest::addColumn<double>("codice");
    QTest::addColumn<double>("alto");

    QTest::newRow("65536") << 65536.0 << 256.0;
    QTest::newRow("70000") << 70000.0 << 273.0;
    QTest::newRow("99999") << 99999.0 << 390.0;
}

void TstParametri::codice_oltre_65535()
{
    QFETCH(double, codice);
    QFETCH(double, alto);

    const Codice c = dividi_codice(codice);
    QCOMPARE(c.Cod_H, alto);
    QVERIFY(!codifica_cella(c.Cod_H).has_value());
    QVERIFY(codifica_cella(c.Cod_L).has_value());
}

void TstParametri::blocchi_fabbrica_data()
{
    QTest::addColumn<Banda>("banda");
    QTest::addColumn<QList<int>>("testa");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<int>("lettera");

    QTest::newRow("UHF") << Banda::UHF << TESTA_UHF << 235 << int('U');
    QTest::newRow("VHF") << Banda::VHF << TESTA_VHF << 111 << int('V');
}

void TstParametri::blocchi_fabbrica()
{
    QFETCH(Banda, banda);
    QFETCH(QList<int>, testa);
    QFETCH(int, checksum);
    QFETCH(int, lettera);

    QList<int> atteso(NUM_CELLE, 0);
    for (int i = 0; i < 14; ++i)
        atteso[i] = testa.at(i);
    atteso[61] = checksum;
    atteso[62] = lettera;
    atteso[63] = 'Z';

    const Blocco &b = blocco_fabbrica(banda);
    QCOMPARE(int(b.size()), 64);
    for (int i = 0; i < NUM_CELLE; ++i)
        QVERIFY2(
            b[i] == atteso.at(i),
            qPrintable(QString("cella %1: %2 invece di %3").arg(i).arg(b[i]).arg(atteso.at(i))));
    QCOMPARE(lettera, int(banda == Banda::UHF ? lettera::UHF : lettera::VHF));
}

QTEST_APPLESS_MAIN(TstParametri)
#include "tst_parametri.moc"
