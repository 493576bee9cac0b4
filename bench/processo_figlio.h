// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// A program run to its end with stdout and stderr thrown away, reaped with
// wait4() so that its own CPU time comes back with it.
class ProcessoFiglio
{
public:
    struct Esito
    {
        bool avviato = false;
        int codice = -1; // exit status, or -1 after a signal
        double secondi = 0;
        double cpu_secondi = 0; // user + sys
    };

    static Esito esegui(const QString &programma, const QStringList &argomenti);
};
