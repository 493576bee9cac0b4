// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "esito_unita.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QUuid>

// The record of one unit of a run, in its three forms.
struct Resoconto
{
    QString porta;   // "Com N" or the path given
    QString comando; // read, program, init, verify
    int numero = 0;  // the unit's number in the run on its port
    EsitoUnita esito;
    QDateTime ora; // when the unit ended, UTC
    // Fields the log's record adds after its own, such as a station's.
    QList<QPair<QString, QJsonValue>> aggiunte;
    // The record's own, however often it is written or sent: a record
    // delivered twice is known as one.
    QUuid id = QUuid::createUuid();
};

// stdout: port, number, exit status, message, the values read back.
QByteArray riga_unita(const Resoconto &r);
// --log: also the time, the command, the cells before and after, the dialogue's
// duration and the wait for the unit before it.
QByteArray riga_registro(const Resoconto &r);
// stderr on a terminal: "Com 1 · unità 12 · OK 1.9 s".
QString riga_umana(const Resoconto &r);
