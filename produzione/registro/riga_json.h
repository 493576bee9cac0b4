// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// One JSON object on one line, keys in the order they are added (QJsonObject
// would sort them). Keys and values are serialised by QJsonDocument.
class RigaJson
{
public:
    RigaJson &aggiungi(const QString &chiave, const QJsonValue &valore);
    // A value already serialised, such as another RigaJson's text; null when empty.
    RigaJson &aggiungi_testo(const QString &chiave, const QByteArray &json);
    QByteArray testo() const;

private:
    QByteArray m_membri;
};
