// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Who holds a serial device, to name it when the device cannot be opened:
// "m5ctl (PID 1234)".
namespace occupanti {

// The living owner of the device's lock file, as QSerialPort and other
// programs lay it ("LCK..ttyUSB0" in /var/lock or /run/lock); empty for none.
QString da_blocco(const QString &dispositivo);

// The other processes that have the device open, as far as /proc lets us see.
QStringList da_proc(const QString &dispositivo);

} // namespace occupanti
