// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTemporaryDir>

// A file system of 8 KiB of its own (tmpfs), to be filled up: a disk that is
// full. Mounting needs root; where it fails, montato() is false.
class DiscoPieno
{
public:
    DiscoPieno();
    ~DiscoPieno();
    DiscoPieno(const DiscoPieno &) = delete;
    DiscoPieno &operator=(const DiscoPieno &) = delete;

    bool montato() const { return m_montato; }
    QString percorso(const QString &nome) const { return m_cartella.filePath(nome); }
    // Fills what is left with one file; true once a write finds no space.
    bool riempi();

private:
    QTemporaryDir m_cartella;
    bool m_montato = false;
};
