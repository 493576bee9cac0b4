// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A production file read whole and parsed to one JSON object: unit files and station files alike.

#include "controllo_valori.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <variant>

namespace file_json {

// The whole file; one over 1 MiB is refused as "too large for " + tipo ("a unit file").
std::variant<QByteArray, ErroreValore> carica(const QString &percorso, const QString &tipo);

// The text as a JSON object; valid JSON of another kind gives non_oggetto.
std::variant<QJsonObject, ErroreValore> oggetto(const QByteArray &testo,
                                                const ErroreValore &non_oggetto);

} // namespace file_json
