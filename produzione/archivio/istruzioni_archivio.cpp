// SPDX-License-Identifier: GPL-3.0-or-later
#include "istruzioni_archivio.h"

#include <QFile>

namespace istruzioni_archivio {

QStringList schema()
{
    QFile file(QStringLiteral(":/m5config/archivio.sql"));
    file.open(QIODevice::ReadOnly);
    QStringList istruzioni;
    QString corrente;
    for (const QString &riga : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (riga.trimmed().startsWith(QLatin1String("--")) || riga.trimmed().isEmpty())
            continue;
        corrente += riga + QLatin1Char('\n');
        if (riga.trimmed().endsWith(QLatin1Char(';'))) {
            istruzioni << corrente.trimmed().chopped(1);
            corrente.clear();
        }
    }
    return istruzioni;
}

const char PIANO[] =
    "WITH p AS (INSERT INTO m5_piani (impronta, codici) VALUES ($1, $2::int) ON CONFLICT "
    "DO NOTHING RETURNING impronta) INSERT INTO m5_codici (piano, posizione, codice) "
    "SELECT p.impronta, t.o - 1, t.c FROM p, unnest($3::int[]) WITH ORDINALITY AS t(c, o)";

const char RISERVA[] =
    "WITH scelti AS (SELECT piano, posizione FROM m5_codici WHERE piano = $1 AND stato = "
    "'libero' ORDER BY posizione LIMIT least($3::int, (SELECT count(*) FROM m5_codici "
    "WHERE piano = $1 AND stato = 'libero') / 2 + 1) FOR UPDATE SKIP LOCKED) UPDATE "
    "m5_codici c SET stato = 'riservato', proprietario = $2, scadenza = now() + "
    "make_interval(secs => $4::int), cambiato = now() FROM scelti s WHERE c.piano = "
    "s.piano AND c.posizione = s.posizione RETURNING c.posizione, c.codice";

const char SALDO[] =
    "UPDATE m5_codici c SET stato = v.stato, record = v.record, cambiato = now(), "
    "proprietario = CASE WHEN v.stato = 'libero' THEN NULL ELSE c.proprietario END, "
    "scadenza = CASE WHEN v.stato = 'libero' THEN NULL ELSE c.scadenza END FROM "
    "unnest($1::text[], $2::int[], $3::text[], $4::uuid[], $5::text[]) AS v(piano, "
    "posizione, stato, record, proprietario) WHERE c.piano = v.piano AND c.posizione = "
    "v.posizione AND ((c.proprietario = v.proprietario AND c.stato IN ('riservato', "
    "'avviato')) OR (c.stato = v.stato AND c.record IS NOT DISTINCT FROM v.record AND "
    "v.stato IN ('dato', 'speso')) OR (v.stato = 'libero' AND c.stato = 'libero')) "
    "RETURNING c.piano, c.posizione";

const char RECORD[] =
    "INSERT INTO m5_record (id, ora, stazione, posto, operatore, porta, comando, esito, "
    "piano, codice, codice_stato, riga) SELECT (e->'riga'->>'id')::uuid, "
    "(e->'riga'->>'ora')::timestamptz, e->'riga'->>'stazione', "
    "(e->'riga'->>'posto')::int, e->'riga'->>'operatore', e->'riga'->>'porta', "
    "e->'riga'->>'comando', (e->'riga'->>'esito')::int, e->'riga'->>'piano', "
    "(e->>'codice')::int, e->'riga'->>'codice_stato', e->'riga' FROM "
    "jsonb_array_elements($1::jsonb) AS e ON CONFLICT (id) DO NOTHING";

const char CONTA[] = "SELECT stato, count(*) FROM m5_codici WHERE piano = $1 GROUP BY stato";

} // namespace istruzioni_archivio
