// SPDX-License-Identifier: GPL-3.0-or-later
// A test's own folder, for the files it hands to the programs under test.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class CartellaProva
{
public:
    bool valida() const { return m_cartella.isValid(); }
    QString percorso(const QString &nome) const { return m_cartella.filePath(nome); }
    // A new file holding contenuto, named prefisso and a number; empty on failure.
    QString file_di(const QByteArray &contenuto, const QString &prefisso = QStringLiteral("file"),
                    const QString &estensione = QString());

private:
    QTemporaryDir m_cartella;
    int m_file = 0;
};
