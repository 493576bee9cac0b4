// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A run's codes and records beyond its log: the store of this machine, or the shared archive.

#include "argomenti.h"
#include "codici_processo.h"

#include <memory>

// Opened before any port is touched, so that a store that cannot be opened
// or an archive that refuses the process stops the run before its first unit.
class CodiciCorsa
{
public:
    // 0, or the exit status, with its line on stderr already.
    int apri(const Argomenti &a, int porte);
    // The records and codes settled go out, the reserve back; a line on
    // stderr for what is left waiting.
    void chiudi();
    Distributore *distributore() const { return m_codici.distributore.get(); }

private:
    // Until the archive answers, refuses, or is found away.
    int attendi_archivio(const Argomenti &a);

    CodiciProcesso m_codici;
};
