// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the station starts with when nothing says otherwise: its slots, its log and its operator.

#include "controllo_valori.h"
#include "file_stazione.h"

#include <QList>
#include <QString>

#include <variant>

namespace avvio_banco {

struct Posti
{
    QList<PostoConfigurato> elenco;
    // A damaged station file: what was wrong with it, and where it was put.
    QString danno;
    QString messo_da_parte;
    QString archivio; // the station file's, whatever slots were given
};

// The slots given (--slot), else those of the station file, else one per
// serial port present, 16 at most. A damaged station file is kept aside,
// never read again nor overwritten, and the station starts as without one:
// a worker who started it from a menu is not left with nothing. Refused
// only when it cannot be kept aside.
std::variant<Posti, ErroreValore> posti(const QList<PostoConfigurato> &dati,
                                        const QString &file_stazione);
// One slot per serial port present, 16 at most.
QList<PostoConfigurato> posti_presenti();
// registro.jsonl in the user's data folder, made if missing.
QString registro_predefinito();
// The name given, else the login name.
QString operatore(const QString &dato);

} // namespace avvio_banco
