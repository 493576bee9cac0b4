// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pass and fail sounds, from the files the package ships.

#include <QMediaDevices>
#include <QObject>
#include <QSoundEffect>

class Suoni : public QObject
{
    Q_OBJECT

public:
    explicit Suoni(QObject *parent = nullptr);

    // Where the sound files are: beside the program as installed, or in the build tree.
    static QString cartella();

    void imposta_muto(bool si) { m_muto = si; }
    bool muto() const { return m_muto; }
    // A sound device to play on: without one the worker must not count on hearing a failure.
    bool audio() const { return m_audio; }
    void imposta_audio(bool presente);
    void riuscito();
    void fallito();

signals:
    void audio_cambiato(bool presente);

private:
    QSoundEffect m_riuscito;
    QSoundEffect m_fallito;
    QMediaDevices m_dispositivi;
    bool m_muto = false;
    bool m_audio = false;
};
