// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pass and fail sounds, from the files the package ships.

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
    void riuscito();
    void fallito();

private:
    QSoundEffect m_riuscito;
    QSoundEffect m_fallito;
    bool m_muto = false;
};
