// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What m5ctl prints of a run: a line per unit on stdout, the terminal's lines, the summary.

#include "argomenti.h"
#include "linea.h"

#include <QList>
#include <QString>

class Distributore;
class Etichettatrice;
class Traccia;

// A port as the command line names it.
struct Destinazione
{
    QString percorso; // empty: "Com com" under its system name
    int com = PortaSeriale::PRIMA;
};

// Runs a station of the ports given until each has done its units, or Ctrl-C,
// and turns what it tells into m5ctl's output.
class Corsa
{
public:
    Corsa(const Argomenti &argomenti, const QList<Destinazione> &porte, const Incarico &incarico,
          Registro *registro, Traccia *traccia, Distributore *distributore = nullptr,
          const Etichettatrice *etichettatrice = nullptr);

    // The run's exit status.
    int esegui();

private:
    void registrata(const Resoconto &r);
    void non_tolta(const Posto *posto, int numero) const;
    QString conteggi() const;
    int riepilogo() const;
    QString esaurimento() const;

    const Argomenti &m_a;
    Traccia *m_traccia;
    Linea m_linea;
    const bool m_terminale;
};
