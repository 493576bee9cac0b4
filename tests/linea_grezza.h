// SPDX-License-Identifier: GPL-3.0-or-later
// The PC's end of a line to m5sim as a bare file descriptor, and the bytes it carries.
#pragma once

#include "blocco.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <initializer_list>

// The PC side is a bare file descriptor on purpose: the simulator's tests must
// not depend on the project's own serial layer, which is tested against m5sim.
namespace linea_grezza {

constexpr int ATTESA_MS = 3000;

// Raw at 2400 baud, keeping what already waits on the line; -1 on failure.
int apri_porta(const QString &percorso);
bool invia(int fd, const QByteArray &dati);
// Up to n bytes, or what arrived before the time ran out.
QByteArray leggi(int fd, int n, int ms);
// Everything that arrives within ms.
QByteArray leggi_per(int fd, int ms);
// Reads until the line drops; false if it is still up after ms.
bool attendi_riaggancio(int fd, int ms, QByteArray &dati);

QByteArray byte(std::initializer_list<int> valori);
QByteArray come_byte(const Blocco &blocco);
// "R" and the index of every cell, in order.
QByteArray letture_di_tutte();
// The cells of an m5sim summary.
QByteArray celle_di(const QJsonObject &riepilogo);
// CPU seconds the process has used so far (user + system).
double tempo_cpu(qint64 pid);

} // namespace linea_grezza
