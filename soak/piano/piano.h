// SPDX-License-Identifier: GPL-3.0-or-later
// A cycle's plan: its shape, fault, units, files and m5ctl's arguments, from its seed.
#pragma once

#include "attese.h"
#include "guasti.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// One simulator of a cycle.
struct PortaPiano
{
    Blocco blocco{};
    std::optional<Blocco> successivo; // production: the cells of the units after the first
    int cambio_ms = 0;
    Guasto guasto;         // none on a healthy port
    QStringList argomenti; // m5sim's, besides its trace, summary and link
};

// Everything a cycle does, drawn from its seed alone.
struct PianoCiclo
{
    int ciclo = 0;
    std::uint64_t seme = 0;
    int tipo_guasto = 0;
    Forma forma = LETTURA;
    Incarico incarico;
    int rifiuto = -1;
    std::vector<PortaPiano> porte;
    QStringList argomenti; // m5ctl's, after its --port options
    int ripetizioni = 1;
    int attesa_ms = 0;                                // m5ctl --wait; 0 for none
    std::vector<std::pair<QString, QByteArray>> file; // to write in the cycle's folder
    int limite_ms = 0;                                // past this m5ctl is killed

    bool corsa() const { return ripetizioni > 1 || porte.size() > 1; }
    const TipoGuasto &tipo() const { return TIPI_GUASTO[tipo_guasto]; }
};

class Piano
{
public:
    static PianoCiclo estrai(std::uint64_t seme_soak, int ciclo, const QString &cartella);
    static const char *nome_forma(Forma forma);
};
