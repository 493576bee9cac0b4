// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What to do with each unit: the command and its values.

#include "blocco.h"
#include "valori_unita.h"

#include <QString>

#include <optional>

struct Incarico
{
    enum class Azione { Leggi, Programma, Inizializza, Verifica };

    Azione azione = Azione::Leggi;
    // Programma, Verifica: the values asked, and the band they are for
    // (a unit file's), if any.
    ValoriRichiesti richiesti;
    std::optional<Banda> banda_richiesti;
    // Inizializza: the factory block of this band, also on a unit that
    // reports the other band when cambia_banda.
    Banda banda = Banda::UHF;
    bool cambia_banda = false;
    // The wait for the unit to announce itself; none: until stopped.
    std::optional<int> limite_annuncio_ms;

    // "read", "program", "init", "verify", as the command line names them.
    QString nome() const;
};
