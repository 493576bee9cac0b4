// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_stazione.h"

#include "connessione_pg.h"
#include "esiti.h"
#include "file_json.h"
#include "file_unita.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace file_stazione {

namespace {
const QString FORMATO = QStringLiteral("m5-stazione");
constexpr int VERSIONE = 1;

using controllo_valori::citazione;
using controllo_valori::errore;

std::variant<PostoConfigurato, ErroreValore> posto(const QJsonValue &v, int indice)
{
    const QString nome = QStringLiteral("posti[%1]").arg(indice);
    if (!v.isObject())
        return errore(esiti::USO, nome, QStringLiteral("wrong type; expected an object"));
    const QJsonObject o = v.toObject();
    const QJsonValue numero = o.value(QStringLiteral("posto"));
    const QJsonValue presa = o.value(QStringLiteral("presa"));
    if (!numero.isDouble() || numero.toDouble() != numero.toInt())
        return errore(esiti::USO, nome + QStringLiteral(".posto"),
                      QStringLiteral("missing or not a whole number"));
    if (!presa.isString() || presa.toString().isEmpty())
        return errore(esiti::USO, nome + QStringLiteral(".presa"),
                      QStringLiteral("missing or empty; expected a path"));
    return PostoConfigurato{numero.toInt(), presa.toString()};
}

} // namespace

QString percorso_predefinito()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/m5stazione/stazione.json");
}

std::optional<ErroreValore> controlla_archivio(const QString &indirizzo, const QString &nome)
{
    if (const QString rifiuto = ConnessionePg::rifiuto(indirizzo); !rifiuto.isEmpty())
        return errore(esiti::USO, nome, rifiuto);
    return std::nullopt;
}

std::variant<QList<PostoConfigurato>, ErroreValore> interpreta(const QByteArray &testo,
                                                               QString *archivio)
{
    const ErroreValore altro_formato =
        errore(esiti::USO, QStringLiteral("formato"),
               QStringLiteral("not a station file; expected \"%1\"").arg(FORMATO));
    const auto documento = file_json::oggetto(testo, altro_formato);
    if (const auto *e = std::get_if<ErroreValore>(&documento))
        return *e;
    const QJsonObject &o = std::get<QJsonObject>(documento);
    if (o.value(QStringLiteral("formato")).toString() != FORMATO)
        return altro_formato;
    if (o.value(QStringLiteral("versione")).toInt() != VERSIONE)
        return errore(
            esiti::USO, QStringLiteral("versione"),
            QStringLiteral("%1 is not known; expected %2")
                .arg(citazione(o.value(QStringLiteral("versione")).toVariant().toString()))
                .arg(VERSIONE));
    const QJsonValue elenco = o.value(QStringLiteral("posti"));
    if (!elenco.isArray())
        return errore(esiti::USO, QStringLiteral("posti"), QStringLiteral("missing or not a list"));
    QList<PostoConfigurato> posti;
    const QJsonArray a = elenco.toArray();
    for (int i = 0; i < a.size(); ++i) {
        auto p = posto(a.at(i), i);
        if (auto *e = std::get_if<ErroreValore>(&p))
            return *e;
        posti.append(std::get<PostoConfigurato>(p));
    }
    if (auto e = controlla(posti, QStringLiteral("posti")))
        return *e;
    // Files written before the archive have no such field: no archive.
    const QJsonValue indirizzo = o.value(QStringLiteral("archivio"));
    if (!indirizzo.isUndefined() && !indirizzo.isString())
        return errore(esiti::USO, QStringLiteral("archivio"),
                      QStringLiteral("wrong type; expected a connection string"));
    if (!indirizzo.toString().isEmpty()) {
        if (auto e = controlla_archivio(indirizzo.toString(), QStringLiteral("archivio")))
            return *e;
    }
    if (archivio)
        *archivio = indirizzo.toString();
    return posti;
}

std::variant<QList<PostoConfigurato>, ErroreValore> carica(const QString &percorso,
                                                           QString *archivio)
{
    if (archivio)
        archivio->clear();
    if (!QFile::exists(percorso))
        return QList<PostoConfigurato>{};
    const auto testo = file_json::carica(percorso, QStringLiteral("a station file"));
    if (const auto *e = std::get_if<ErroreValore>(&testo))
        return *e;
    return interpreta(std::get<QByteArray>(testo), archivio);
}

QByteArray testo(const QList<PostoConfigurato> &posti, const QString &archivio)
{
    QJsonArray a;
    for (const PostoConfigurato &p : posti)
        a.append(
            QJsonObject{{QStringLiteral("posto"), p.numero}, {QStringLiteral("presa"), p.presa}});
    QJsonObject o{{QStringLiteral("formato"), FORMATO},
                  {QStringLiteral("versione"), VERSIONE},
                  {QStringLiteral("posti"), a}};
    if (!archivio.isEmpty())
        o.insert(QStringLiteral("archivio"), archivio);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<ErroreValore> controlla(const QList<PostoConfigurato> &posti, const QString &nome)
{
    if (posti.size() > POSTI_MASSIMI)
        return errore(esiti::FUORI_RANGE, nome,
                      QStringLiteral("%1 slots; a station has at most %2")
                          .arg(posti.size())
                          .arg(POSTI_MASSIMI));
    for (qsizetype i = 0; i < posti.size(); ++i) {
        const PostoConfigurato &p = posti.at(i);
        if (p.numero < 1 || p.numero > POSTI_MASSIMI)
            return errore(esiti::FUORI_RANGE, nome,
                          QStringLiteral("slot %1 is out of range; expected a whole number from "
                                         "1 to %2")
                              .arg(p.numero)
                              .arg(POSTI_MASSIMI));
        for (qsizetype j = 0; j < i; ++j) {
            const PostoConfigurato &q = posti.at(j);
            if (q.numero == p.numero)
                return errore(esiti::USO, nome,
                              QStringLiteral("slot %1 given twice").arg(p.numero));
            const QString a = QFileInfo(p.presa).canonicalFilePath();
            if (q.presa == p.presa || (!a.isEmpty() && a == QFileInfo(q.presa).canonicalFilePath()))
                return errore(esiti::USO, nome,
                              QStringLiteral("slots %1 and %2 name the same socket, %3")
                                  .arg(q.numero)
                                  .arg(p.numero)
                                  .arg(citazione(p.presa)));
        }
    }
    return std::nullopt;
}

bool metti_da_parte(const QString &percorso, QString &messa_da_parte, QString &errore)
{
    const QString accanto =
        percorso + QStringLiteral(".danneggiato-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (!QFile::rename(percorso, accanto)) {
        errore = QStringLiteral("the damaged file could not be kept aside as %1").arg(accanto);
        return false;
    }
    messa_da_parte = accanto;
    return true;
}

bool salva(const QString &percorso, const QList<PostoConfigurato> &posti, const QString &archivio,
           QString &errore, QString &messa_da_parte)
{
    messa_da_parte.clear();
    QDir().mkpath(QFileInfo(percorso).absolutePath());
    if (QFileInfo::exists(percorso) && std::holds_alternative<ErroreValore>(carica(percorso)) &&
        !metti_da_parte(percorso, messa_da_parte, errore))
        return false;
    return file_unita::salva(percorso, testo(posti, archivio), errore);
}

} // namespace file_stazione
