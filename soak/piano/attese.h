// SPDX-License-Identifier: GPL-3.0-or-later
// What a command asks of each unit, and the status and cells a clean line must give.
#pragma once

#include "blocco.h"
#include "sintetizzatore.h"
#include "valori_unita.h"

#include <QString>

#include <bitset>
#include <initializer_list>
#include <optional>
#include <string>

// A set of exit statuses.
using InsiemeEsiti = std::bitset<256>;
InsiemeEsiti insieme_esiti(std::initializer_list<int> elenco);
QString testo_esiti(const InsiemeEsiti &c);

// What m5ctl does to each unit; nome_comando() gives the command that does it.
enum class Azione { Leggi, Programma, Inizializza, Verifica };
const char *nome_comando(Azione c);

// What one m5ctl command asks of each unit.
struct Incarico
{
    Azione azione = Azione::Leggi;
    ValoriRichiesti richiesti;       // program, verify
    std::optional<Banda> banda_file; // program --from, verify
    Banda banda_init = Banda::UHF;
    bool cambia_banda = false; // init --change-band
};

Banda altra_banda(Banda b);

// The synthesiser and code cells as a programming lays them.
void metti_frequenza(Blocco &b, const FqByte &fq);
void metti_codice(Blocco &b, int codice);

// Whether the frequency lies in the window a unit of the band takes, as the
// manual page gives it.
bool frequenza_nella_banda(const Frequenza &frequenza, Banda banda);

// The exit status the manual gives for the command on a clean line, for a
// unit holding these cells.
int esito_pulito(const Incarico &incarico, const Blocco &celle);

// The cells the unit must hold once the command has succeeded: programmed,
// cells 0 and 4-6 as the unit had them, 14-60 zero, 61 the checksum, 62-63
// kept; initialised, the factory block; otherwise untouched.
Blocco celle_attese(const Incarico &incarico, const Blocco &prima);
