// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the station starts with when nothing says otherwise: its slots, its log and its operator.

#include "controllo_valori.h"
#include "file_stazione.h"

#include <QList>
#include <QString>

#include <variant>

namespace avvio_banco {

// The slots given (--slot), else those of the station file, else one per
// serial port present, 16 at most. A bad station file is one line that
// names it and what to do.
std::variant<QList<PostoConfigurato>, ErroreValore> posti(const QList<PostoConfigurato> &dati,
                                                          const QString &file_stazione);
// registro.jsonl in the user's data folder, made if missing.
QString registro_predefinito();
// The name given, else the login name.
QString operatore(const QString &dato);

} // namespace avvio_banco
