// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// m5ctl report --archivio: the factory's figures, summed up by the shared archive's server.

#include "controllo_valori.h"
#include "statistiche.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace rapporto_archivio {

// How long the whole report may wait for the archive.
constexpr int LIMITE_MS = 15000;

struct Riga
{
    QString chiave;           // station, operator or plan; empty when none was recorded
    std::optional<int> posto; // the slot, in the figures per slot
    StatistichePorta figure;  // units, OK, failed, interrupted
    // A plan's codes in the archive; none for a plan it has no codes of.
    struct Codici
    {
        qint64 dati = 0;
        qint64 spesi = 0; // those a unit took and never settled as well
        qint64 riservati = 0;
        qint64 liberi = 0;
    };
    std::optional<Codici> codici;
};

struct Figure
{
    QList<Riga> stazioni;
    Riga totale;
    QList<Riga> posti;
    QList<Riga> operatori;
    QList<Riga> piani;
};

// The figures, or the one line of why not and m5ctl's exit status for it:
// esiti::PORTA when the archive does not answer, esiti::ARCHIVIO when it refuses.
std::variant<Figure, ErroreValore> leggi(const QString &indirizzo, int limite_ms = LIMITE_MS);

// A table per station, slot, operator and plan, a blank line between them.
QByteArray tabella(const Figure &f);
// gruppo,chiave,posto,unita,ok,fallite,interrotte,resa,dati,spesi,riservati,liberi
QByteArray csv(const Figure &f);

} // namespace rapporto_archivio
