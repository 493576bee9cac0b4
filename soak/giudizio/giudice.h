// SPDX-License-Identifier: GPL-3.0-or-later
// Judges m5ctl's statuses and lines in a cycle by what its receivers saw.
#pragma once

#include "analisi_traccia.h"
#include "piano.h"
#include "processo.h"
#include "simulatore_soak.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <vector>

struct Violazione
{
    QString tipo; // a short name, for the counts
    QString testo;
};

// A simulator once stopped.
struct EsitoPorta
{
    const PortaPiano *piano = nullptr;
    QString collegamento;
    QString errore_avvio; // empty when it started
    bool fermato = true;  // ended on SIGTERM, no SIGKILL needed
    Processo::Fine fine;
    QList<ByteTraccia> traccia;
    std::optional<Riepilogo> riepilogo;
};

struct EsitoCtl
{
    bool avviato = false;
    bool oltre_limite = false; // killed by the soak at the cycle's bound
    Processo::Fine fine;
    QByteArray uscita_standard;
    QByteArray errori;
};

// Judges a cycle by what the receivers saw: their traces and summaries,
// never m5ctl's word; m5ctl's statuses and lines are what is judged.
class Giudice
{
public:
    Giudice(const PianoCiclo &piano, const std::vector<EsitoPorta> &porte, const EsitoCtl &ctl);

    const std::vector<Violazione> &violazioni() const { return m_violazioni; }

private:
    void processi();
    void porta(const EsitoPorta &p, int numero);
    void riepilogo(const EsitoPorta &p, const AnalisiTraccia &a, const QString &chi);
    QMap<int, int> esiti_unita(const EsitoPorta &p) const;
    void unita(const EsitoPorta &p, const AnalisiTraccia &a, int n, int esito, const QString &chi);
    InsiemeEsiti senza_dialogo(const EsitoPorta &p, const AnalisiTraccia &a, int n) const;
    void stato_non_ammesso(const ContestoUnita &c, const Blocco &prima, int esito,
                           const InsiemeEsiti &ammessi, const QString &chi);
    bool fuori_banda_del_manuale(const ContestoUnita &c, const Blocco &prima, int esito,
                                 const QString &chi);
    bool altra_banda_programmata(const ContestoUnita &c, int esito, const QString &chi);
    void riuscita(const Dialogo *d, const Blocco &prima, const QString &chi);
    void nulla_scritto(const Dialogo &d, int esito, const QString &chi);
    void lettura_stampata(const Dialogo &d);
    void messaggi();
    void uscita_corsa();
    void viola(const char *tipo, const QString &testo);

    const PianoCiclo &m_piano;
    const std::vector<EsitoPorta> &m_porte;
    const EsitoCtl &m_ctl;
    std::vector<Violazione> m_violazioni;
    bool m_riaggancio = false; // the line dropped on some port
    int m_differenze = -1;     // verify: the lines a clean read must give; -1 unknown
};
