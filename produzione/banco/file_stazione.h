// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station file: which socket each slot is bound to, kept in the user's configuration folder.

#include "controllo_valori.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

struct PostoConfigurato
{
    int numero = 0; // 1-16
    QString presa;  // the socket name, or any path
};

// One JSON object: "formato": "m5-stazione", "versione": 1, "posti", a
// list of {"posto": N, "presa": "..."}, and, when the station has one,
// "archivio", the shared archive's libpq connection string.
namespace file_stazione {

constexpr int POSTI_MASSIMI = 16;

// Where the station keeps it, in the user's configuration folder.
QString percorso_predefinito();

// archivio, when given, gets the file's archive; empty when it has none.
std::variant<QList<PostoConfigurato>, ErroreValore> interpreta(const QByteArray &testo,
                                                               QString *archivio = nullptr);
// A file that is not there gives no slots and no error.
std::variant<QList<PostoConfigurato>, ErroreValore> carica(const QString &percorso,
                                                           QString *archivio = nullptr);
QByteArray testo(const QList<PostoConfigurato> &posti, const QString &archivio = QString());

// A libpq connection string that libpq can read and that holds no
// password: a password is kept in ~/.pgpass or a service file, never in a
// file, a command line or a log. The message never quotes the string.
std::optional<ErroreValore> controlla_archivio(const QString &indirizzo, const QString &nome);

// Slot numbers from 1 to 16, each once; each socket once. nome names the
// source in the message ("posti", "--slot").
std::optional<ErroreValore> controlla(const QList<PostoConfigurato> &posti, const QString &nome);

// Replaces the file in one step. A file there that cannot be read as a
// station file is first kept aside, never overwritten; messa_da_parte then
// names where it went.
// Renames a damaged file to percorso.danneggiato-<UTC time>, which
// messa_da_parte then names; false with the reason.
bool metti_da_parte(const QString &percorso, QString &messa_da_parte, QString &errore);

bool salva(const QString &percorso, const QList<PostoConfigurato> &posti, const QString &archivio,
           QString &errore, QString &messa_da_parte);

} // namespace file_stazione
