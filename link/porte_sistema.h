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
// others, each part by device path.
QList<PortaSistema> ordina_porte(QList<PortaSistema> porte);

// The system's ports, in that order.
QList<PortaSistema> porte_sistema();
