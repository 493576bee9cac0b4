// SPDX-License-Identifier: GPL-3.0-or-later
#include "riga_json.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
QByteArray serializza(const QJsonValue &valore)
{
    // QJsonDocument writes only arrays and objects: strip the brackets of a
    // one-element array.
    const QByteArray testo = QJsonDocument(QJsonArray{valore}).toJson(QJsonDocument::Compact);
    return testo.mid(1, testo.size() - 2);
}
} // namespace

RigaJson &RigaJson::aggiungi(const QString &chiave, const QJsonValue &valore)
{
    return aggiungi_testo(chiave, serializza(valore));
}

RigaJson &RigaJson::aggiungi_testo(const QString &chiave, const QByteArray &json)
{
    if (!m_membri.isEmpty())
        m_membri += ',';
    m_membri += serializza(chiave) + ':' + (json.isEmpty() ? QByteArray("null") : json);
    return *this;
}

QByteArray RigaJson::testo() const
{
    return '{' + m_membri + '}';
}
