// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <optional>

// A serial port the system has, as QSerialPortInfo reports it.
struct PortaSistema
{
    QString percorso;
    QString descrizione;
    QString produttore;
    std::optional<quint16> vid;
    std::optional<quint16> pid;
    QString seriale;

    bool usb() const { return vid.has_value(); }
};

// The ports in a stable order: those with a USB vendor id first, then the
// others, each part by device path (numbers within it by value: ttyUSB2
// before ttyUSB10).
QList<PortaSistema> ordina_porte(QList<PortaSistema> porte);

// The system's ports, in that order.
QList<PortaSistema> porte_sistema();

// The one USB serial adapter among the ports; none when there is no such
// port or more than one, with the reason in motivo.
std::optional<PortaSistema> adattatore_usb(const QList<PortaSistema> &porte, QString &motivo);

// "/dev/ttyUSB0 (FT232R USB UART)", or the path alone.
QString descrivi_porta(const PortaSistema &porta);
