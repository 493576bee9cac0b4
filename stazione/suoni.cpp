// SPDX-License-Identifier: GPL-3.0-or-later
#include "suoni.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

Suoni::Suoni(QObject *parent) : QObject(parent), m_riuscito(this), m_fallito(this)
{
    const QDir d(cartella());
    m_riuscito.setSource(QUrl::fromLocalFile(d.filePath(QStringLiteral("riuscito.wav"))));
    m_fallito.setSource(QUrl::fromLocalFile(d.filePath(QStringLiteral("fallito.wav"))));
}

QString Suoni::cartella()
{
    // bin/../share/m5stazione/suoni, installed or built alike.
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("../share/m5stazione/suoni"));
}

void Suoni::riuscito()
{
    if (!m_muto)
        m_riuscito.play();
}

void Suoni::fallito()
{
    if (!m_muto)
        m_fallito.play();
}
