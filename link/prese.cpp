// SPDX-License-Identifier: GPL-3.0-or-later
#include "prese.h"

#include <QDir>
#include <QFileInfo>

namespace prese {

namespace {
const char *const CARTELLE[] = {"by-path", "by-id"};

// The link in cartella that leads to dispositivo; empty when none does.
QString collegamento_verso(const QString &cartella, const QString &dispositivo)
{
    const QString vero = QFileInfo(dispositivo).canonicalFilePath();
    if (vero.isEmpty())
        return QString();
    const QDir d(cartella);
    const QStringList nomi =
        d.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &nome : nomi) {
        const QString link = d.filePath(nome);
        if (QFileInfo(link).canonicalFilePath() == vero)
            return link;
    }
    return QString();
}
} // namespace

QString nome_presa(const QString &dispositivo, const QString &radice)
{
    for (const char *cartella : CARTELLE) {
        const QString link =
            collegamento_verso(radice + QLatin1Char('/') + QLatin1String(cartella), dispositivo);
        if (!link.isEmpty())
            return link;
    }
    return dispositivo;
}

QString percorso_presa(const QString &nome, const QString &radice)
{
    // A file of that name in the current folder is what a shell user means.
    if (nome.isEmpty() || nome.contains(QLatin1Char('/')) || QFileInfo::exists(nome))
        return nome;
    for (const char *cartella : CARTELLE) {
        const QString link =
            radice + QLatin1Char('/') + QLatin1String(cartella) + QLatin1Char('/') + nome;
        if (QFileInfo(link).isSymLink())
            return link;
    }
    return nome;
}

} // namespace prese
