// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "blocco.h"
#include "processo_simulatore.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// m5ctl as the user runs it, and what the simulated receiver should see.

constexpr int FINE_MS = 20000;
constexpr int TRACCIA_MS = 3000;

struct Esecuzione
{
    int esito = -1; // -1: did not end, or crashed
    QByteArray uscita_standard;
    QByteArray errori;
};

QStringList argomenti_porta(const ProcessoSimulatore *sim);
// ambiente: the process's environment; empty: this process's own.
Esecuzione esegui(const QStringList &argomenti, int ms = FINE_MS,
                  const QProcessEnvironment &ambiente = {});

QByteArray blocco(Banda banda);
// Cells 0-13 as given, 14-60 zero, 61 their checksum.
QByteArray celle_programmate(const QList<int> &prime);
// The factory UHF block as programmed with another code.
QByteArray celle_programmata_codice(int codice);
QByteArray con_checksum(QByteArray celle);
QByteArray richieste_lettura();
QByteArray record_scrittura(const QByteArray &celle);
extern const QByteArray CONNESSIONE;

QJsonArray prime(const QJsonArray &a, int n);
QJsonArray come_json(const QByteArray &celle);
// The one-line unit file, its keys in the documented order; empty otherwise.
QJsonObject interpreta_json(const QByteArray &uscita_standard);
void verifica_campi(const QJsonObject &json, const QJsonObject &attesi);
bool salva_file(const QString &percorso, const QByteArray &dati);
// The whole file; empty when it cannot be read.
QByteArray carica_tutto(const QString &percorso);
// One object per line that is not empty.
QList<QJsonObject> righe_json(const QByteArray &testo);
// The code that each dialogue the receiver saw wrote into cells 7 and 8, in
// order; 0 for a dialogue that wrote no code.
QList<int> codici_scritti(const QByteArray &ricevuti);
QList<int> senza_zeri(QList<int> codici);
// Whether the process has the terminal open, i.e. it is past the port opening.
bool ha_aperto(qint64 pid, const QString &percorso);
