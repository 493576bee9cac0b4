// SPDX-License-Identifier: GPL-3.0-or-later
#include "programmazione.h"

#include "testo_numero.h"

#include <algorithm>

namespace {
Programmazione rifiuta(Rifiuto rifiuto)
{
    Programmazione p;
    p.rifiuto = rifiuto;
    return p;
}

double chiesta(const std::optional<int> &valore, double altrimenti)
{
    return valore ? *valore : altrimenti;
}
} // namespace

Programmazione prepara_programmazione(const ValoriDaScrivere &v, const Blocco &prima)
{
    Programmazione p;
    p.frequenza = v.frequenza.conversione(banda_da_lettera(prima[CELLA_BANDA]));
    p.fuori_range = p.frequenza.fuori_range;
    if (p.frequenza.fuori_banda) {
        p.rifiuto = Rifiuto::FuoriBanda;
        return p;
    }
    auto &c = p.valori;
    for (const int i : {CELLA_TIPO, CELLA_BASE1, CELLA_BASE2, CELLA_BASE3})
        c[std::size_t(i)] = prima[std::size_t(i)];
    c[CELLA_FQ1] = p.frequenza.celle.FQ_Byte1;
    c[CELLA_FQ2] = p.frequenza.celle.FQ_Byte2;
    c[CELLA_FQ3] = p.frequenza.celle.FQ_Byte3;
    const Codice codice = dividi_codice(v.codice);
    c[CELLA_COD_H] = codice.Cod_H;
    c[CELLA_COD_L] = codice.Cod_L;
    c[CELLA_RELE] = v.rele;
    c[CELLA_IMPULSI] = v.impulsi;
    for (int g = 0; g < NUM_GRUPPI; ++g)
        c[std::size_t(GRUPPI_OPZIONI[g].cella)] = v.opzioni[std::size_t(g)];
    std::array<double, ULTIMA_CELLA_CONTATA + 1> contati{};
    std::copy_n(c.begin(), contati.size(), contati.begin());
    c[CELLA_CKS] = checksum_valori(contati);
    for (std::size_t i = 0; i < c.size(); ++i) {
        const auto byte = codifica_cella(c[i]);
        if (!byte) {
            p.rifiuto = Rifiuto::ValoreFuoriRange;
            return p;
        }
        p.celle[i] = *byte;
    }
    return p;
}

Programmazione prepara_programmazione(const ValoriRichiesti &chieste, std::optional<Banda> banda,
                                      const Blocco &prima)
{
    const ValoriUnita unita = decodifica_blocco(prima);
    if (banda && banda != unita.banda)
        return rifiuta(Rifiuto::BandaDiversa);
    if (chieste.frequenza && !unita.banda)
        return rifiuta(Rifiuto::BandaIgnota);
    if (!chieste.frequenza && !unita.frequenza)
        return rifiuta(Rifiuto::FrequenzaIgnota);

    ValoriDaScrivere v;
    v.frequenza = chieste.frequenza ? *chieste.frequenza : Frequenza(*unita.frequenza);
    v.codice = chiesta(chieste.codice, unita.codice);
    v.rele = chiesta(chieste.rele, unita.rele);
    v.impulsi = chiesta(chieste.impulsi, unita.impulsi);
    for (std::size_t g = 0; g < v.opzioni.size(); ++g)
        v.opzioni[g] = chiesta(chieste.opzioni[g], unita.opzioni[g]);
    return prepara_programmazione(v, prima);
}
