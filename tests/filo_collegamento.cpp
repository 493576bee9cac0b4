// SPDX-License-Identifier: GPL-3.0-or-later
// The cells and the bytes on the wire the link's tests expect, written out apart from the model.
#include "filo_collegamento.h"

#include "celle.h"

QByteArray modifica(QByteArray celle, std::initializer_list<std::pair<int, int>> valori)
{
    for (const auto &[i, v] : valori)
        celle[i] = static_cast<char>(v);
    return celle;
}

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
