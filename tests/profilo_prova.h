// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's tests' profile: a unit file, and the profile read from it.

#include "file_unita.h"
#include "profilo.h"

#include <QByteArray>
#include <QString>

// Code 9 and relay 20, where the factory block has 1 and 30.
inline const QByteArray PROFILO =
    R"({"formato":"m5-unita","versione":1,"codice":9,"frequenza":"460","rele":20,)"
    R"("impulsi":3,"toni":"alti","uscite":"mem","trasmettitori":"strip","banda":"UHF"})";

inline Profilo profilo(const QString &file, bool verifica)
{
    const auto letto = file_unita::carica(file);
    const auto *c = std::get_if<file_unita::Contenuto>(&letto);
    return c ? Profilo{*c, verifica, std::nullopt, QString()} : Profilo{};
}
