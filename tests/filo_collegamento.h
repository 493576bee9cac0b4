// SPDX-License-Identifier: GPL-3.0-or-later
// The cells and the bytes on the wire the link's tests expect, written out apart from the model.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtTest>

#include <initializer_list>
#include <utility>

QByteArray modifica(QByteArray celle, std::initializer_list<std::pair<int, int>> valori);
// Cells 0-13, the checksum (61) and the band letter (62); 14-60 hold 0 and 63 "Z".
QByteArray blocco(std::initializer_list<int> testa, int checksum, char lettera);
// The factory blocks.
QByteArray blocco_uhf();
QByteArray blocco_vhf();
QByteArray con_checksum(QByteArray celle);

// The reads of cells 0-62.
QByteArray letture();
// The write records of cells 0 to ultima.
QByteArray scritture(const QByteArray &celle, int ultima);
QByteArray filo_connessione();
QByteArray filo_programmazione(const QByteArray &celle);
QByteArray filo_inizializzazione(const QByteArray &celle);

// Where two wires part, and how; empty when they are the same.
QString differenza(const QByteArray &avuto, const QByteArray &atteso);

#define FILO_UGUALE(avuto, atteso)                                                                 \
    do {                                                                                           \
        const QString d_ = differenza((avuto), (atteso));                                          \
        QVERIFY2(d_.isEmpty(), qPrintable(d_));                                                    \
    } while (false)
