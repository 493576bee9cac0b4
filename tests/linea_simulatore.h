// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's tests' fixture: m5sim and the PC's bare end of its line, up to a dialogue begun.
#pragma once

#include "processo_simulatore.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// m5sim started with these arguments, and the PC's end of its line, closed
// with the fixture. Each step records its failure in the running test and
// gives false; the test then returns.
class LineaSimulatore
{
public:
    explicit LineaSimulatore(const QStringList &argomenti = {});
    ~LineaSimulatore();
    LineaSimulatore(const LineaSimulatore &) = delete;
    LineaSimulatore &operator=(const LineaSimulatore &) = delete;

    // Starts m5sim and opens its port.
    bool apri();
    // apri(), then "U" after the first "K": the dialogue begun, nothing left to read.
    bool entra();
    // Sends richieste in one go; risposte: what the simulator sent after each
    // of those bytes, also checked against what the port received.
    void scambia(const QByteArray &richieste, QList<QByteArray> &risposte);

    ProcessoSimulatore sim;
    int fd = -1;

private:
    void avvia_e_apri();
    void avvia_ed_entra();
};
