#include "porte_sistema.h"

#include <QSerialPortInfo>

#include <algorithm>

QList<PortaSistema> ordina_porte(QList<PortaSistema> porte)
{
    std::stable_sort(porte.begin(), porte.end(), [](const PortaSistema &a, const PortaSistema &b) {
        if (a.usb() != b.usb())
            return a.usb();
        return a.percorso < b.percorso;
    });
    return porte;
}

QList<PortaSistema> porte_sistema()
{
    QList<PortaSistema> porte;
    for (const QSerialPortInfo &i : QSerialPortInfo::availablePorts()) {
        PortaSistema p;
        p.percorso = i.systemLocation();
        p.descrizione = i.description();
        p.produttore = i.manufacturer();
        if (i.hasVendorIdentifier())
            p.vid = i.vendorIdentifier();
        if (i.hasProductIdentifier())
            p.pid = i.productIdentifier();
        p.seriale = i.serialNumber();
        porte.append(p);
    }
    return ordina_porte(porte);
}
