// SPDX-License-Identifier: GPL-3.0-or-later
#include "avvio_banco.h"

#include "esiti.h"
#include "porte_sistema.h"
#include "prese.h"

#include <QDir>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace avvio_banco {

std::variant<Posti, ErroreValore> posti(const QList<PostoConfigurato> &dati,
                                        const QString &file_stazione)
{
    QString archivio;
    auto letti = file_stazione::carica(file_stazione, &archivio);
    // --slot never reads the file's slots, nor sets a damaged file aside.
    if (!dati.isEmpty())
        return Posti{
            dati, {}, {}, std::holds_alternative<ErroreValore>(letti) ? QString() : archivio};
    if (auto *e = std::get_if<ErroreValore>(&letti)) {
        Posti p{posti_presenti(), e->messaggio, {}, {}};
        QString errore;
        if (!file_stazione::metti_da_parte(file_stazione, p.messo_da_parte, errore))
            return ErroreValore{esiti::USO,
                                QStringLiteral("%1: %2, and %3; move it away or mend it, or "
                                               "give --slot N=PATH")
                                    .arg(file_stazione, e->messaggio, errore)};
        return p;
    }
    auto elenco = std::get<QList<PostoConfigurato>>(letti);
    return Posti{elenco.isEmpty() ? posti_presenti() : elenco, {}, {}, archivio};
}

QList<PostoConfigurato> posti_presenti()
{
    QList<PostoConfigurato> posti;
    for (const PortaSistema &p : porte_sistema()) {
        if (posti.size() == file_stazione::POSTI_MASSIMI)
            break;
        posti.append({static_cast<int>(posti.size()) + 1, prese::nome_presa(p.percorso)});
    }
    return posti;
}

QString registro_predefinito()
{
    const QString cartella = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                             QStringLiteral("/m5stazione");
    QDir().mkpath(cartella);
    return cartella + QStringLiteral("/registro.jsonl");
}

QString operatore(const QString &dato)
{
    if (!dato.isEmpty())
        return dato;
    if (const passwd *pw = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

} // namespace avvio_banco
