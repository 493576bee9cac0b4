// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_json.h"

#include "esiti.h"

#include <QFile>
#include <QJsonDocument>

namespace file_json {

namespace {
constexpr qint64 DIMENSIONE_MASSIMA = 1 << 20;
} // namespace

std::variant<QByteArray, ErroreValore> carica(const QString &percorso, const QString &tipo)
{
    QFile f(percorso);
    if (!f.open(QIODevice::ReadOnly))
        return ErroreValore{esiti::USO, f.errorString()};
    if (f.size() > DIMENSIONE_MASSIMA)
        return ErroreValore{esiti::USO, QStringLiteral("too large for %1").arg(tipo)};
    return f.read(DIMENSIONE_MASSIMA + 1);
}

std::variant<QJsonObject, ErroreValore> oggetto(const QByteArray &testo,
                                                const ErroreValore &non_oggetto)
{
    QJsonParseError analisi{};
    const QJsonDocument documento = QJsonDocument::fromJson(testo, &analisi);
    if (analisi.error != QJsonParseError::NoError)
        return ErroreValore{esiti::USO, QStringLiteral("not JSON: %1 at byte %2")
                                            .arg(analisi.errorString())
                                            .arg(analisi.offset)};
    if (!documento.isObject())
        return non_oggetto;
    return documento.object();
}

} // namespace file_json
