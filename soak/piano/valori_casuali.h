// SPDX-License-Identifier: GPL-3.0-or-later
// Valid values, unit cells and unit files drawn at random for a cycle.
#pragma once

#include "blocco.h"
#include "estrazione.h"
#include "valori_unita.h"

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

#include <string>

// Valid values, units and unit files drawn at random.
namespace valori_casuali {

// A channel of the 12.5 kHz grid anywhere in the window a unit of the band
// takes (the manual page's): m5ctl takes no other.
Frequenza frequenza(Estrazione &e, Banda banda);
// A frequency in that window that lies between two channels.
std::string frequenza_fuori_griglia(Estrazione &e, Banda banda);
// Some of the values (at least one), or all of them.
ValoriRichiesti richiesti(Estrazione &e, Banda banda, bool tutte);
// The m5ctl options that ask for them.
QStringList argomenti(const ValoriRichiesti &v);

// A unit file with every value of v (all given) and the band.
QJsonObject file_unita(const ValoriRichiesti &v, Banda banda);
QByteArray testo(const QJsonObject &o);

// A unit as one could find it: factory-made or programmed with any valid
// values, its own cells 0 and 4-6, sometimes leftovers in 14-60.
Blocco blocco(Estrazione &e, Banda banda, bool checksum_errato);

} // namespace valori_casuali
