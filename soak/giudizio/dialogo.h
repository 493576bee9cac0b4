// SPDX-License-Identifier: GPL-3.0-or-later
// One dialogue as a trace shows it: the PC's requests and what the receiver sent back.
#pragma once

#include "blocco.h"

#include <QByteArray>

#include <optional>
#include <vector>

// One request of the PC inside a dialogue, with what the receiver sent back
// before the PC's next byte.
struct Richiesta
{
    char tipo = 'R'; // 'R' or 'W'
    int cella = 0;
    int valore = -1; // W: the value sent
    int vero = -1;   // R: the cell as held then; W: the cell before the write
    QByteArray risposta;
};

// From a "U" to the "E" that ends it, or to the end of the trace.
struct Dialogo
{
    Blocco prima{};
    Blocco dopo{};
    std::vector<Richiesta> richieste;
    // One letter per byte received from the "U" on: U, R r (index), W w (index)
    // v (value), E, ? (no command).
    QByteArray ruoli;
    // What the receiver sent after each of those bytes, before the next one.
    std::vector<QByteArray> dopo_byte;
    QByteArray uscite; // every byte sent from the "U" to the "E"
    bool chiuso = false;
    // Ended by the PC in the middle of its writes: no read-back followed them.
    bool scritture_interrotte() const;

    int scritture() const;
    bool chiede(char tipo, int cella) const;
    // The receiver sent other than one clean reply per request: the cell held
    // for each read, one "K" for each write.
    bool risposte_alterate() const;
    bool byte_in_piu() const;
    // The first 63 bytes sent after the "U": what the PC took for its first read.
    std::optional<Blocco> prima_lettura() const;
};
