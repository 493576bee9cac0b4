// SPDX-License-Identifier: GPL-3.0-or-later
#include "porte_sistema.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace {
// Digits compare by value, the rest character by character.
bool prima_naturale(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype ia = i;
            const qsizetype jb = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const qulonglong na = a.mid(ia, i - ia).toULongLong();
            const qulonglong nb = b.mid(jb, j - jb).toULongLong();
            if (na != nb)
                return na < nb;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}
} // namespace

QList<PortaSistema> ordina_porte(QList<PortaSistema> porte)
{
    std::stable_sort(porte.begin(), porte.end(), [](const PortaSistema &a, const PortaSistema &b) {
        if (a.usb() != b.usb())
            return a.usb();
        return prima_naturale(a.percorso, b.percorso);
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

std::optional<PortaSistema> adattatore_usb(const QList<PortaSistema> &porte, QString &motivo)
{
    QStringList usb;
    QStringList tutte;
    std::optional<PortaSistema> trovata;
    for (const PortaSistema &p : porte) {
        tutte << p.percorso;
        if (p.usb()) {
            usb << p.percorso;
            trovata = p;
        }
    }
    if (usb.size() == 1)
        return trovata;
    motivo = usb.isEmpty() ? QStringLiteral("no USB serial adapter found (ports present: %1)")
                                 .arg(tutte.isEmpty() ? QStringLiteral("none")
                                                      : tutte.join(QStringLiteral(", ")))
                           : QStringLiteral("%1 USB serial adapters found (%2)")
                                 .arg(usb.size())
                                 .arg(usb.join(QStringLiteral(", ")));
    return std::nullopt;
}

QString descrivi_porta(const PortaSistema &porta)
{
    if (porta.descrizione.isEmpty())
        return porta.percorso;
    return QStringLiteral("%1 (%2)").arg(porta.percorso, porta.descrizione);
}
