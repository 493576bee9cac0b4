// SPDX-License-Identifier: GPL-3.0-or-later
#include "suoni.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QUrl>

Suoni::Suoni(QObject *parent)
    : QObject(parent), m_riuscito(this), m_fallito(this), m_dispositivi(this),
      m_audio(!QMediaDevices::audioOutputs().isEmpty())
{
    const QDir d(cartella());
    m_riuscito.setSource(QUrl::fromLocalFile(d.filePath(QStringLiteral("riuscito.wav"))));
    m_fallito.setSource(QUrl::fromLocalFile(d.filePath(QStringLiteral("fallito.wav"))));
    connect(&m_dispositivi, &QMediaDevices::audioOutputsChanged, this, [this] {
        // A device plugged in later is not the one the effects were made with.
        m_riuscito.setAudioDevice(QMediaDevices::defaultAudioOutput());
        m_fallito.setAudioDevice(QMediaDevices::defaultAudioOutput());
        imposta_audio(!QMediaDevices::audioOutputs().isEmpty());
    });
}

QString Suoni::cartella()
{
    // bin/../share/m5stazione/suoni, installed or built alike.
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("../share/m5stazione/suoni"));
}

void Suoni::imposta_audio(bool presente)
{
    if (presente == m_audio)
        return;
    m_audio = presente;
    emit audio_cambiato(presente);
}

void Suoni::riuscito()
{
    if (!m_muto && m_audio)
        m_riuscito.play();
}

void Suoni::fallito()
{
    if (!m_muto && m_audio)
        m_fallito.play();
}
