// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controllo_valori.h"
#include "valori_unita.h"

#include <QByteArray>
#include <QString>

#include <variant>

// The unit file: what "read" prints, one JSON object with the values of a
// unit, its band and its cells, marked "formato": "m5-unita", "versione": 1.
namespace file_unita {

// The object for cells 0-62 as read; empty for no cells.
QByteArray testo(const QByteArray &celle);

struct Contenuto
{
    ValoriRichiesti richiesti; // every value given
    Banda banda;
};

// Refused with 2 when unreadable, of the wrong format, version, field or
// type; with 7 for a value out of range.
std::variant<Contenuto, ErroreValore> interpreta(const QByteArray &testo);
std::variant<Contenuto, ErroreValore> carica(const QString &percorso);

// A value as a profile shows it; "-" when not given.
QString testo_intero(const std::optional<int> &n);
QString testo_frequenza(const std::optional<Frequenza> &f);
QString testo_gruppo(int gruppo, const std::optional<int> &valore);

// The first 8 hex digits of a SHA-256 of the values, in a fixed text form:
// the same values, the same fingerprint. No band: "-".
QString impronta(const ValoriRichiesti &valori, std::optional<Banda> banda);

// Replaces the file in one step, or leaves it as it was (file_atomico.h).
bool salva(const QString &percorso, const QByteArray &testo, QString &errore);

} // namespace file_unita
