// SPDX-License-Identifier: GPL-3.0-or-later
// What a command asks of each unit, and the status and cells a clean line must give.
#include "attese.h"

#include "sintetizzatore.h"

#include <QStringList>

InsiemeEsiti insieme_esiti(std::initializer_list<int> elenco)
{
    InsiemeEsiti c;
    for (const int i : elenco)
        c.set(static_cast<std::size_t>(i));
    return c;
}

QString testo_esiti(const InsiemeEsiti &c)
{
    QStringList elenco;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (c.test(i))
            elenco << QString::number(i);
    }
    return elenco.isEmpty() ? QStringLiteral("none") : elenco.join(QLatin1Char(','));
}

const char *nome_comando(Azione c)
{
    switch (c) {
    case Azione::Leggi:
        return "read";
    case Azione::Programma:
        return "program";
    case Azione::Inizializza:
        return "init";
    case Azione::Verifica:
        return "verify";
    }
    return "?";
}

Banda altra_banda(Banda b)
{
    return b == Banda::UHF ? Banda::VHF : Banda::UHF;
}

void metti_frequenza(Blocco &b, const FqByte &fq)
{
    b[CELLA_FQ1] = static_cast<std::uint8_t>(fq.FQ_Byte1);
    b[CELLA_FQ2] = static_cast<std::uint8_t>(fq.FQ_Byte2);
    b[CELLA_FQ3] = static_cast<std::uint8_t>(fq.FQ_Byte3);
}

void metti_codice(Blocco &b, int codice)
{
    const Codice c = dividi_codice(codice);
    b[CELLA_COD_H] = static_cast<std::uint8_t>(c.Cod_H);
    b[CELLA_COD_L] = static_cast<std::uint8_t>(c.Cod_L);
}

bool frequenza_nella_banda(const Frequenza &frequenza, Banda banda)
{
    const double f = frequenza.rx();
    const FinestraRx finestra = finestra_rx(banda);
    return f >= finestra.da && f <= finestra.a;
}

int esito_pulito(const Incarico &incarico, const Blocco &celle)
{
    const bool letto_bene = checksum_valido(celle);
    const auto banda = banda_da_lettera(celle[CELLA_BANDA]);
    // A unit of the other band is initialised only when asked to change band.
    if (incarico.azione == Azione::Inizializza)
        return banda && *banda != incarico.banda_init && !incarico.cambia_banda ? 6 : 0;
    if (!letto_bene)
        return 5;
    if (incarico.azione == Azione::Verifica) {
        if (banda && banda != incarico.banda_file)
            return 6;
        return differenze(incarico.richiesti, incarico.banda_file, celle).empty() ? 0 : 9;
    }
    if (incarico.azione == Azione::Leggi)
        return 0;
    if (incarico.banda_file && incarico.banda_file != banda)
        return 6;
    // A unit of no known band takes no frequency from m5ctl.
    if (incarico.richiesti.frequenza &&
        (!banda || !frequenza_nella_banda(*incarico.richiesti.frequenza, *banda)))
        return 6;
    return 0;
}

namespace {
Blocco programmate(const ValoriRichiesti &v, const Blocco &prima)
{
    Blocco b = prima;
    if (v.frequenza)
        metti_frequenza(b, v.frequenza->conversione(banda_da_lettera(prima[CELLA_BANDA])).celle);
    if (v.codice)
        metti_codice(b, *v.codice);
    if (v.rele)
        b[CELLA_RELE] = static_cast<std::uint8_t>(*v.rele);
    if (v.impulsi)
        b[CELLA_IMPULSI] = static_cast<std::uint8_t>(*v.impulsi);
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        if (v.opzioni[g])
            b[GRUPPI_OPZIONI[g].cella] = static_cast<std::uint8_t>(*v.opzioni[g]);
    }
    for (int i = ULTIMA_CELLA_CONTATA + 1; i < CELLA_CKS; ++i)
        b[i] = 0;
    b[CELLA_CKS] = checksum_celle(b);
    return b;
}
} // namespace

Blocco celle_attese(const Incarico &incarico, const Blocco &prima)
{
    switch (incarico.azione) {
    case Azione::Programma:
        return programmate(incarico.richiesti, prima);
    case Azione::Inizializza:
        return blocco_fabbrica(incarico.banda_init);
    case Azione::Leggi:
    case Azione::Verifica:
        break;
    }
    return prima;
}
