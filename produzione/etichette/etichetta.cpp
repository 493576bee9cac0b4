// SPDX-License-Identifier: GPL-3.0-or-later
#include "etichetta.h"

#include "resoconto.h"
#include "ricevitore.h"
#include "valori_unita.h"

Etichetta etichetta_di(const Resoconto &r, const QString &piano, const QString &profilo,
                       const QString &stazione)
{
    const ValoriUnita v = decodifica_blocco(blocco_letto(r.esito.celle_dopo));
    Etichetta e;
    e.codice = r.esito.codice.value_or(v.codice);
    if (v.frequenza)
        e.frequenza = QString::fromStdString(*v.frequenza) + QStringLiteral(" MHz");
    if (v.banda)
        e.banda = QLatin1String(nome_banda(*v.banda));
    e.ora = r.ora;
    e.piano = piano;
    e.profilo = profilo;
    e.stazione = stazione;
    e.id = r.id;
    return e;
}
