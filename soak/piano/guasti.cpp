// SPDX-License-Identifier: GPL-3.0-or-later
// The faults a cycle may give a simulator: how each is drawn, passed to m5sim and judged.
#include "guasti.h"

#include "rifiuti.h"
#include "tempi.h"

namespace {
constexpr int CELLA_RITARDO_MAX = NUM_CELLE - 1;

QStringList nessun_argomento(const Guasto &)
{
    return {};
}

void niente(Estrazione &, Guasto &) {}

QStringList opzione(const char *nome, const QString &valore)
{
    return {QLatin1String("--") + QLatin1String(nome), valore};
}

InsiemeEsiti pulito(const ContestoUnita &c)
{
    return insieme_esiti({c.pulito});
}

// The clean status, or any of these once the fault has landed.
InsiemeEsiti se(bool atterrato, const ContestoUnita &c, std::initializer_list<int> altri)
{
    return atterrato ? insieme_esiti(altri) : pulito(c);
}

InsiemeEsiti o_pulito(bool atterrato, const ContestoUnita &c, std::initializer_list<int> altri)
{
    InsiemeEsiti r = pulito(c);
    if (atterrato)
        r |= insieme_esiti(altri);
    return r;
}

int nessuna_attesa(const Guasto &, int)
{
    return 0;
}

int un_time_out(const Guasto &, int)
{
    return tempi::TIME_OUT_CONFERMA_MS;
}

// --- the faults, one function of each kind apiece where it differs ---

void estrai_probabilita_letture(Estrazione &e, Guasto &g)
{
    g.p = e.reale(0.003, 0.05);
}
void estrai_probabilita_in_piu(Estrazione &e, Guasto &g)
{
    g.p = e.reale(0.002, 0.02);
}
QStringList args_letture(const Guasto &g)
{
    return opzione("garbage-reads", QString::number(g.p, 'g', 6));
}
QStringList args_in_piu(const Guasto &g)
{
    return opzione("extra-bytes", QString::number(g.p, 'g', 6));
}
InsiemeEsiti attesi_letture(const ContestoUnita &c)
{
    return o_pulito(c.dialogo->risposte_alterate(), c, {5, 6, 8, 9});
}
InsiemeEsiti attesi_in_piu(const ContestoUnita &c)
{
    return o_pulito(c.dialogo->byte_in_piu(), c, {4, 5, 6, 8, 9});
}

void estrai_ritardo_breve(Estrazione &e, Guasto &g)
{
    for (int n = e.tra(1, 3); n > 0; --n)
        g.celle.push_back(e.tra(0, CELLA_RITARDO_MAX));
    g.ms = e.con_probabilita(0.7) ? e.tra(20, 300) : e.tra(300, 1500);
}
void estrai_ritardo_lungo(Estrazione &e, Guasto &g)
{
    for (int n = e.tra(1, 2); n > 0; --n)
        g.celle.push_back(e.tra(0, CELLA_RITARDO_MAX));
    g.ms = e.tra(4400, 5200);
}
QStringList args_ritardo(const Guasto &g)
{
    QStringList celle;
    for (const int c : g.celle)
        celle << QString::number(c);
    return opzione("delay-at", celle.join(QLatin1Char(','))) +
           opzione("delay-ms", QString::number(g.ms));
}
int attesa_ritardo_breve(const Guasto &g, int)
{
    // A cell is asked for at most three times: the first read, its write, the read-back.
    return static_cast<int>(g.celle.size()) * 3 * g.ms;
}
InsiemeEsiti attesi_ritardo_lungo(const ContestoUnita &c)
{
    bool atterrato = false;
    for (const Richiesta &r : c.dialogo->richieste) {
        for (const int cella : c.guasto.celle)
            atterrato = atterrato || r.cella == cella;
    }
    return se(atterrato, c, {4});
}

void estrai_cella_letta(Estrazione &e, Guasto &g)
{
    g.cella = e.tra(0, NUM_CELLE - 1);
}
void estrai_cella_scritta(Estrazione &e, Guasto &g)
{
    // Cell 63 is written by init but never read: a fault there is out of m5ctl's sight.
    g.cella = e.tra(0, CELLA_BANDA);
}
QStringList args_senza_risposta(const Guasto &g)
{
    return opzione("no-reply-at", QString::number(g.cella));
}
InsiemeEsiti attesi_senza_risposta(const ContestoUnita &c)
{
    return se(c.dialogo->chiede('R', c.guasto.cella), c, {4});
}

void estrai_raffica(Estrazione &e, Guasto &g)
{
    g.numero = e.tra(1, 450);
}
QStringList args_raffica(const Guasto &g)
{
    return opzione("burst-after", QString::number(g.numero));
}
// Where the burst lands decides. Only a lone "K" acknowledges a write (the
// manual), so unasked bytes before a "K" run its wait out: after a "W" or its
// cell for sure, after the value byte once the next write or the read-back
// meets them. During a read they shift the replies; after the "E" nobody
// listens.
InsiemeEsiti attesi_raffica(const ContestoUnita &c)
{
    const Dialogo &d = *c.dialogo;
    const int n = c.guasto.numero;
    if (n > d.ruoli.size() || d.ruoli.at(n - 1) == 'E')
        return pulito(c);
    const char ruolo = d.ruoli.at(n - 1);
    const QByteArray &raffica = d.dopo_byte[static_cast<std::size_t>(n - 1)];
    if ((ruolo == 'W' || ruolo == 'w') && !raffica.contains(lettera::PRONTO))
        return insieme_esiti({4});
    if (ruolo == 'W' || ruolo == 'w' || ruolo == 'v')
        return insieme_esiti({4, 5, 8});
    return o_pulito(true, c, {4, 5, 6, 8, 9});
}

QStringList args_scrittura_persa(const Guasto &g)
{
    return opzione("lose-write-at", QString::number(g.cella));
}
InsiemeEsiti attesi_scrittura_persa(const ContestoUnita &c)
{
    bool atterrato = false;
    for (const Richiesta &r : c.dialogo->richieste)
        atterrato = atterrato || (r.tipo == 'W' && r.cella == c.guasto.cella && r.valore != r.vero);
    return se(atterrato, c, {5, 8});
}

QStringList args_rilettura(const Guasto &g)
{
    return opzione("flip-after-write", QString::number(g.cella));
}
InsiemeEsiti attesi_rilettura(const ContestoUnita &c)
{
    return se(c.dialogo->chiede('W', c.guasto.cella), c, {5, 8});
}

void estrai_riaggancio(Estrazione &e, Guasto &g)
{
    g.numero = e.tra(1, 460);
}
QStringList args_riaggancio(const Guasto &g)
{
    return opzione("hangup-after", QString::number(g.numero));
}
// The line drops after the Nth byte received in all: harmless once it is the
// "E" that ended this dialogue, or when it comes after it.
InsiemeEsiti attesi_riaggancio(const ContestoUnita &c)
{
    const auto &ingressi = c.analisi.ingressi();
    const int n = c.guasto.numero;
    if (n > static_cast<int>(ingressi.size()))
        return pulito(c);
    const auto &ultimo = ingressi[static_cast<std::size_t>(n - 1)];
    const bool atterrato = ultimo.dialogo == c.indice_dialogo && ultimo.ruolo != 'E';
    return se(atterrato, c, {3, 4});
}

QStringList args_senza_conferma(const Guasto &g)
{
    return opzione("no-ack-from", QString::number(g.cella));
}
InsiemeEsiti attesi_senza_conferma(const ContestoUnita &c)
{
    bool atterrato = false;
    for (const Richiesta &r : c.dialogo->richieste)
        atterrato = atterrato || (r.tipo == 'W' && r.cella >= c.guasto.cella);
    return se(atterrato, c, {4});
}

QStringList args_conferma_errata(const Guasto &g)
{
    return opzione("bad-ack-at", QString::number(g.cella));
}
InsiemeEsiti attesi_conferma_errata(const ContestoUnita &c)
{
    return se(c.dialogo->chiede('W', c.guasto.cella), c, {4});
}

QStringList args_conferma_doppia(const Guasto &g)
{
    return opzione("double-ack-at", QString::number(g.cella));
}
InsiemeEsiti attesi_conferma_doppia(const ContestoUnita &c)
{
    return o_pulito(c.dialogo->chiede('W', c.guasto.cella), c, {5, 8});
}

// A quarter of them on the band letter, which the checksum does not cover.
void estrai_cella_corrotta(Estrazione &e, Guasto &g)
{
    g.cella = e.con_probabilita(0.25) ? CELLA_BANDA : e.tra(0, CELLA_BANDA);
}
QStringList args_cella_corrotta(const Guasto &g)
{
    return opzione("corrupt-cell", QString::number(g.cella));
}
InsiemeEsiti attesi_cella_corrotta(const ContestoUnita &c)
{
    return o_pulito(c.dialogo->chiede('R', c.guasto.cella), c, {5, 6, 8, 9});
}

void estrai_silenzio(Estrazione &e, Guasto &g)
{
    // g.ms is m5ctl's --wait; a few long ones measure its CPU while it waits.
    g.ms = e.con_probabilita(0.8) ? e.tra(200, 1500) : e.tra(2500, 4500);
}
QStringList args_silenzio(const Guasto &)
{
    return {QStringLiteral("--silent")};
}
InsiemeEsiti attesi_silenzio(const ContestoUnita &)
{
    return insieme_esiti({4});
}

void estrai_ritardo_risposte(Estrazione &e, Guasto &g)
{
    g.ms = e.tra(1, 8);
}
QStringList args_ritardo_risposte(const Guasto &g)
{
    return opzione("reply-delay-ms", QString::number(g.ms));
}
int attesa_ritardo_risposte(const Guasto &g, int risposte)
{
    return risposte * g.ms;
}

void estrai_rifiuto(Estrazione &e, Guasto &g)
{
    g.numero = e.tra(0, NUM_RIFIUTI - 1);
}
} // namespace

// Long waits (a 4 s time-out each) are a minority of the weight, so that a
// cycle averages well under a second.
const TipoGuasto TIPI_GUASTO[] = {
    {"none", 16, TUTTE, niente, nessun_argomento, pulito, nessuna_attesa},
    {"garbage-reads", 7, TUTTE, estrai_probabilita_letture, args_letture, attesi_letture,
     nessuna_attesa},
    {"extra-bytes", 4, TUTTE, estrai_probabilita_in_piu, args_in_piu, attesi_in_piu, un_time_out},
    {"delay-at<4000", 6, TUTTE, estrai_ritardo_breve, args_ritardo, pulito, attesa_ritardo_breve},
    {"delay-at>4000", 1, TUTTE, estrai_ritardo_lungo, args_ritardo, attesi_ritardo_lungo,
     un_time_out},
    {"no-reply-at", 1, TUTTE, estrai_cella_letta, args_senza_risposta, attesi_senza_risposta,
     un_time_out},
    {"burst-after", 7, TUTTE, estrai_raffica, args_raffica, attesi_raffica, un_time_out},
    {"lose-write-at", 6, SCRIVONO, estrai_cella_scritta, args_scrittura_persa,
     attesi_scrittura_persa, nessuna_attesa},
    {"flip-after-write", 6, SCRIVONO, estrai_cella_scritta, args_rilettura, attesi_rilettura,
     nessuna_attesa},
    {"hangup-after", 6, TUTTE, estrai_riaggancio, args_riaggancio, attesi_riaggancio, un_time_out},
    {"no-ack-from", 1, SCRIVONO, estrai_cella_letta, args_senza_conferma, attesi_senza_conferma,
     un_time_out},
    {"bad-ack-at", 1, SCRIVONO, estrai_cella_letta, args_conferma_errata, attesi_conferma_errata,
     un_time_out},
    {"double-ack-at", 5, SCRIVONO, estrai_cella_letta, args_conferma_doppia, attesi_conferma_doppia,
     nessuna_attesa},
    {"corrupt-cell", 6, TUTTE, estrai_cella_corrotta, args_cella_corrotta, attesi_cella_corrotta,
     nessuna_attesa},
    {"silent", 3, TUTTE & ~PRODUZIONE, estrai_silenzio, args_silenzio, attesi_silenzio,
     nessuna_attesa},
    {"reply-delay-ms", 4, TUTTE, estrai_ritardo_risposte, args_ritardo_risposte, pulito,
     attesa_ritardo_risposte},
    {"bad-checksum-block", 4, TUTTE, niente, nessun_argomento, pulito, nessuna_attesa},
    {"refused-arguments", 8, PROGRAMMAZIONE, estrai_rifiuto, nessun_argomento, pulito,
     nessuna_attesa},
};
const int NUM_TIPI_GUASTO = sizeof TIPI_GUASTO / sizeof TIPI_GUASTO[0];

int guasto::indice(const char *nome)
{
    for (int i = 0; i < NUM_TIPI_GUASTO; ++i) {
        if (qstrcmp(TIPI_GUASTO[i].nome, nome) == 0)
            return i;
    }
    return -1;
}

bool guasto::attesa_misurata(int tipo, bool corsa, double secondi)
{
    static const int lento = indice("reply-delay-ms");
    return tipo != lento && !corsa && secondi >= ATTESA_MISURATA_S;
}
