// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// m5ctl's standard output: written and flushed at once, the first failure
// kept with the system's reason, so that nothing printed is lost unseen.
// From any thread.
namespace uscita_standard {

// testo as it is; false once stdout has failed.
bool stampa(const QByteArray &testo);
// riga and a newline.
bool stampa_riga(const QByteArray &riga);
// Flushes and closes stdout: false when anything written to it was lost.
bool chiudi();
// The system's reason of the first failure; empty while none.
QString motivo();

} // namespace uscita_standard
