-- SPDX-License-Identifier: GPL-3.0-or-later
-- The shared archive of m5config's stations, version 1: plans of receiver
-- codes, which code went to which unit, and every unit's record.
--
-- m5ctl and m5stazione create it themselves when their role may; an
-- administrator can run this file instead (psql -v ON_ERROR_STOP=1 -f), as
-- the archive's owner, then grant a station's role what the README lists.
-- Each statement ends with a semicolon at the end of its line.

SELECT pg_advisory_xact_lock(5525001);

CREATE TABLE IF NOT EXISTS m5_versione (numero integer NOT NULL);

CREATE TABLE IF NOT EXISTS m5_piani (
    impronta text PRIMARY KEY,
    codici integer NOT NULL,
    creato timestamptz NOT NULL DEFAULT now()
);

-- stato: libero, riservato (a process's reserve, until scadenza), avviato
-- (taken for a unit), dato (its unit ended OK), speso (written to a unit
-- that did not end OK, or never settled).
CREATE TABLE IF NOT EXISTS m5_codici (
    piano text NOT NULL REFERENCES m5_piani (impronta),
    posizione integer NOT NULL,
    codice integer NOT NULL CHECK (codice BETWEEN 1 AND 4096),
    stato text NOT NULL DEFAULT 'libero'
        CHECK (stato IN ('libero', 'riservato', 'avviato', 'dato', 'speso')),
    proprietario text,
    scadenza timestamptz,
    record uuid,
    cambiato timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (piano, posizione),
    UNIQUE (piano, codice)
);

-- The next free code is found at once however far the plan has gone.
CREATE INDEX IF NOT EXISTS m5_codici_liberi ON m5_codici (piano, posizione) WHERE stato = 'libero';
CREATE INDEX IF NOT EXISTS m5_codici_riservati ON m5_codici (scadenza) WHERE stato = 'riservato';

CREATE TABLE IF NOT EXISTS m5_record (
    id uuid PRIMARY KEY,
    ora timestamptz,
    stazione text,
    posto integer,
    operatore text,
    porta text,
    comando text,
    esito integer,
    piano text,
    codice integer,
    codice_stato text,
    riga jsonb NOT NULL,
    ricevuto timestamptz NOT NULL DEFAULT now()
);

CREATE INDEX IF NOT EXISTS m5_record_piano ON m5_record (piano);

INSERT INTO m5_versione (numero) SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM m5_versione);
