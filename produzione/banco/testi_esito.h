// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's words on a slot: what became of a unit, why a slot waits, what to do now.

#include "esito_unita.h"
#include "quadro_posto.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class TestiEsito
{
    Q_DECLARE_TR_FUNCTIONS(TestiEsito)

public:
    static QString motivo(const EsitoUnita &esito);
    static QStringList dettagli(const EsitoUnita &esito);
    // "Ultima unità: OK", or FALLITA with the reason.
    static QString ultimo_esito(const EsitoUnita &esito);
    // A port that is there but cannot be used: the window's port error.
    static QString porta_inutilizzabile();
    // occupante as the port's holders name it; empty when nobody can be named.
    static QString occupata(const QString &occupante);
    // numero: the other slot, 0 when it is not known.
    static QString condivisa(int numero);

    // What the worker should do now, in each state as it usually comes.
    static QString consiglio(QuadroPosto::Aspetto aspetto);
    // A port there that the station may not open, or cannot open for another reason.
    static QString consiglio_accesso();
    static QString consiglio_liberare();
    // A failed unit whose adapter went with it.
    static QString consiglio_ricollegare(bool scritta_in_parte);
};
