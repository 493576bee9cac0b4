// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A process's codes and records beyond its log: the store of this machine, and the shared archive
// if one is given.

#include "archivio_condiviso.h"
#include "distributore.h"

#include <memory>
#include <optional>
#include <variant>

struct CodiciProcesso
{
    std::unique_ptr<Distributore> distributore;
    std::unique_ptr<ArchivioCondiviso> archivio; // none: the store is the archive
    // Codes a run before this one on the same log took and never settled.
    int spesi_alla_ripresa = 0;

    // archivio: libpq's connection string, or empty; registro: the log,
    // whose process is the one started again after a crash; posti: how many
    // slots the reserve is for. The archive is tied to the distributore but
    // not started. The error names the store and why.
    static std::variant<CodiciProcesso, QString> apri(const std::optional<PianoCodici> &piano,
                                                      const QString &archivio,
                                                      const QString &registro, int posti);
};
