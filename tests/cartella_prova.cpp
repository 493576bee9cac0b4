// SPDX-License-Identifier: GPL-3.0-or-later
// A test's own folder, for the files it hands to the programs under test.
#include "cartella_prova.h"

#include <QFile>

QString CartellaProva::file_di(const QByteArray &contenuto, const QString &prefisso,
                               const QString &estensione)
{
    const QString percorso = m_cartella.filePath(prefisso + QString::number(++m_file) + estensione);
    QFile file(percorso);
    if (!file.open(QIODevice::WriteOnly) || file.write(contenuto) != contenuto.size())
        return {};
    return percorso;
}
