// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The name of the socket an adapter is plugged into, and the device behind such a name.

#include <QString>

// udev names each serial adapter after the USB socket it sits in
// (/dev/serial/by-path/...), which survives re-plugging and reboots and keeps
// two identical adapters without serial numbers apart; by-id names follow the
// adapter. The socket name of a device is its by-path link, else its by-id
// link, else its own path.
namespace prese {

// radice: where udev keeps its links; another folder for a test.
QString nome_presa(const QString &dispositivo,
                   const QString &radice = QStringLiteral("/dev/serial"));

// A port as a user gives it: a path, or the last part of a by-path or by-id
// link ("pci-0000:00:14.0-usb-0:2:1.0-port0"), taken for the link unless a
// file of that name is in the current folder. Anything else comes back as it was.
QString percorso_presa(const QString &nome, const QString &radice = QStringLiteral("/dev/serial"));

} // namespace prese
