// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A process's link to the shared archive: its corriere on a thread of its own, tied to the run's
// store of codes.

#include "corriere.h"

#include <QObject>
#include <QThread>

class Distributore;

class ArchivioCondiviso : public QObject
{
    Q_OBJECT

public:
    explicit ArchivioCondiviso(const Corriere::Impostazioni &impostazioni,
                               QObject *parent = nullptr);
    // Stops the corriere's thread, whatever it was doing.
    ~ArchivioCondiviso() override;

    // The run's codes come from the reserve, and its records go out, from now on.
    void collega(Distributore *distributore);
    void avvia();
    // Delivers what it can and gives the reserve back: fermato() when done,
    // or when the archive does not answer within the corriere's limit.
    void ferma();
    const Corriere::Stato &stato() const { return m_stato; }
    QString chiave() const { return m_chiave; }

signals:
    void stato_cambiato(const Corriere::Stato &stato);
    void rifiutato(const QString &motivo);
    void avviso(const QString &testo);
    void fermato();

private:
    QThread m_filo;
    Corriere *m_corriere;
    Corriere::Stato m_stato;
    QString m_chiave;
};
