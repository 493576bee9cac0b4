// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What became of a unit in the station's words: the reason, and each value that differs.

#include "esito_unita.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class TestiEsito
{
    Q_DECLARE_TR_FUNCTIONS(TestiEsito)

public:
    static QString motivo(const EsitoUnita &esito);
    static QStringList dettagli(const EsitoUnita &esito);
    // A port that is there but cannot be used: the window's port error.
    static QString porta_inutilizzabile();
};
