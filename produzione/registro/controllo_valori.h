// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The checks and messages that a value given by a user gets, from an option or a file alike.

#include "frequenza.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

struct ErroreValore
{
    int esito; // 2, or 7 for a value out of its range
    QString messaggio;
};

struct PercorsoNumerato
{
    int numero;
    QString percorso;
};

namespace controllo_valori {

// The value as the messages quote it: cut to 40 characters.
QString citazione(const QString &valore);

ErroreValore errore(int esito, const QString &nome, const QString &testo);
// "NOME: "VALORE" is not valid; expected ATTESO" (exit 2).
ErroreValore non_valido(const QString &nome, const QString &valore, const QString &atteso);
// "NOME: "VALORE" is out of range; expected ATTESO" (exit 7).
ErroreValore fuori_range(const QString &nome, const QString &valore, const QString &atteso);

// Digits only; digits with an optional decimal part.
bool cifre(const QString &valore);
bool decimale(const QString &valore);

// A frequency: a plain decimal number in one of the two windows, exactly a
// channel of the 12.5 kHz grid.
std::variant<Frequenza, ErroreValore> frequenza(const QString &nome, const QString &valore);

// "N=PATH": N of one to three digits, from 1 to massimo; PATH not empty.
// atteso names the form in the messages.
std::variant<PercorsoNumerato, ErroreValore>
percorso_numerato(const QString &nome, const QString &valore, int massimo, const QString &atteso);

// --help or --version among other arguments (parole: the whole command line,
// the program first).
std::optional<ErroreValore> aiuto_da_solo(const QStringList &parole, bool aiuto, bool versione);

} // namespace controllo_valori
