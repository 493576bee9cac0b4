// SPDX-License-Identifier: GPL-3.0-or-later
// Valid values, unit cells and unit files drawn at random for a cycle.
#include "valori_casuali.h"

#include "attese.h"
#include "sintetizzatore.h"
#include "testo_numero.h"

#include <QJsonDocument>

#include <cmath>

namespace valori_casuali {

namespace {
constexpr int DECIMI_CANALE = 125; // tenths of a kHz

// A channel of the window, as tenths of a kHz; the window's ends are channels.
int canale(Estrazione &e, const FinestraRx &f, int ultimo_escluso)
{
    const int primo = static_cast<int>(std::lround(f.da * 10000)) / DECIMI_CANALE;
    const int ultimo = static_cast<int>(std::lround(f.a * 10000)) / DECIMI_CANALE - ultimo_escluso;
    return e.tra(primo, ultimo) * DECIMI_CANALE;
}
} // namespace

Frequenza frequenza(Estrazione &e, Banda banda)
{
    return Frequenza(testo_numero(canale(e, finestra_rx(banda), 0) / 10000.0));
}

std::string frequenza_fuori_griglia(Estrazione &e, Banda banda)
{
    const int decimi = canale(e, finestra_rx(banda), 1) + e.tra(1, DECIMI_CANALE - 1);
    return testo_numero(decimi / 10000.0);
}

ValoriRichiesti richiesti(Estrazione &e, Banda banda, bool tutte)
{
    ValoriRichiesti v;
    const double p = tutte ? 1.0 : 0.4;
    while (v.vuote()) {
        if (e.con_probabilita(p))
            v.codice = e.tra(1, 4096);
        if (e.con_probabilita(p))
            v.frequenza = frequenza(e, banda);
        if (e.con_probabilita(p))
            v.rele = e.tra(1, 255);
        if (e.con_probabilita(p))
            v.impulsi = e.tra(1, 255);
        for (auto &o : v.opzioni) {
            if (e.con_probabilita(p))
                o = e.tra(0, 1);
        }
    }
    return v;
}

QStringList argomenti(const ValoriRichiesti &v)
{
    QStringList a;
    if (v.codice)
        a << QStringLiteral("--codice") << QString::number(*v.codice);
    if (v.frequenza)
        a << QStringLiteral("--frequenza") << QString::fromStdString(v.frequenza->testo());
    if (v.rele)
        a << QStringLiteral("--rele") << QString::number(*v.rele);
    if (v.impulsi)
        a << QStringLiteral("--impulsi") << QString::number(*v.impulsi);
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        if (v.opzioni[g])
            a << QLatin1String("--") + QLatin1String(GRUPPI_OPZIONI[g].nome)
              << QString::fromStdString(testo_opzione(GRUPPI_OPZIONI[g], *v.opzioni[g]));
    }
    return a;
}

QJsonObject file_unita(const ValoriRichiesti &v, Banda banda)
{
    QJsonObject o{{QStringLiteral("formato"), QStringLiteral("m5-unita")},
                  {QStringLiteral("versione"), 1},
                  {QStringLiteral("codice"), v.codice.value_or(1)},
                  {QStringLiteral("frequenza"),
                   QString::fromStdString(v.frequenza ? v.frequenza->testo() : std::string())},
                  {QStringLiteral("rele"), v.rele.value_or(1)},
                  {QStringLiteral("impulsi"), v.impulsi.value_or(1)},
                  {QStringLiteral("banda"), QLatin1String(nome_banda(banda))}};
    for (int g = 0; g < NUM_GRUPPI; ++g)
        o.insert(
            QLatin1String(GRUPPI_OPZIONI[g].nome),
            QString::fromStdString(testo_opzione(GRUPPI_OPZIONI[g], v.opzioni[g].value_or(0))));
    return o;
}

QByteArray testo(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

namespace {
// Synthesiser cells of a frequency the unit's band takes.
FqByte celle_frequenza(Estrazione &e, Banda banda)
{
    for (;;) {
        const Conversione c = frequenza(e, banda).conversione(banda);
        if (!c.fuori_banda && !c.fuori_range && c.codificabile)
            return c.celle;
    }
}
} // namespace

Blocco blocco(Estrazione &e, Banda banda, bool checksum_errato)
{
    Blocco b = blocco_fabbrica(banda);
    if (e.con_probabilita(0.7)) {
        metti_frequenza(b, celle_frequenza(e, banda));
        metti_codice(b, e.tra(1, 4096));
        b[CELLA_RELE] = static_cast<std::uint8_t>(e.tra(1, 255));
        b[CELLA_IMPULSI] = static_cast<std::uint8_t>(e.tra(1, 255));
        for (const GruppoOpzioni &g : GRUPPI_OPZIONI)
            b[g.cella] = static_cast<std::uint8_t>(e.tra(0, 1));
    }
    for (const int i : {CELLA_TIPO, CELLA_BASE1, CELLA_BASE2, CELLA_BASE3}) {
        if (e.con_probabilita(0.5))
            b[i] = static_cast<std::uint8_t>(e.tra(0, 255));
    }
    if (e.con_probabilita(0.2)) {
        for (int i = ULTIMA_CELLA_CONTATA + 1; i < CELLA_CKS; ++i)
            b[i] = static_cast<std::uint8_t>(e.tra(0, 255));
    }
    b[CELLA_CKS] = checksum_celle(b);
    if (checksum_errato)
        b[CELLA_CKS] = static_cast<std::uint8_t>(b[CELLA_CKS] + e.tra(1, 255));
    return b;
}

} // namespace valori_casuali
