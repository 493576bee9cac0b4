// SPDX-License-Identifier: GPL-3.0-or-later
// A cycle's plan: its shape, fault, units, files and m5ctl's arguments, from its seed.
#include "piano.h"

#include "rifiuti.h"
#include "valori_casuali.h"

namespace {
constexpr int MARGINE_MS = 3000;
constexpr int LAVORO_UNITA_MS = 1000;
constexpr int SILENZIO_CAMBIO_MS = 150;
constexpr int ATTESA_PRODUZIONE_MS = 3000;

struct DatiForma
{
    Forma forma;
    const char *nome;
    int peso;
};
const DatiForma FORME[] = {
    {LETTURA, "read", 20},           {PROGRAMMAZIONE, "program", 30},
    {DA_FILE, "program --from", 8},  {INIZIALIZZAZIONE, "init", 12},
    {VERIFICA, "verify", 10},        {PRODUZIONE, "production run", 8},
    {PIU_PORTE, "several ports", 8},
};

Forma estrai_forma(Estrazione &e, unsigned ammesse)
{
    int pesi[std::size(FORME)];
    for (std::size_t i = 0; i < std::size(FORME); ++i)
        pesi[i] = (FORME[i].forma & ammesse) ? FORME[i].peso : 0;
    return FORME[e.pesata(pesi, static_cast<int>(std::size(FORME)))].forma;
}

Banda estrai_banda(Estrazione &e)
{
    return e.con_probabilita(0.5) ? Banda::UHF : Banda::VHF;
}

QString nome_banda_minuscolo(Banda b)
{
    return QString::fromLatin1(nome_banda(b)).toLower();
}

// "uhf" or "vhf" for a factory block, otherwise a file in the cycle's folder.
QString argomento_blocco(PianoCiclo &p, const QString &cartella, const QString &nome,
                         const Blocco &b)
{
    for (const Banda banda : {Banda::UHF, Banda::VHF}) {
        if (b == blocco_fabbrica(banda))
            return nome_banda_minuscolo(banda);
    }
    p.file.emplace_back(nome, QByteArray(reinterpret_cast<const char *>(b.data()), NUM_CELLE));
    return cartella + QLatin1Char('/') + nome;
}

void prepara_porta(Estrazione &e, PianoCiclo &p, const QString &cartella, int n, bool guasta)
{
    PortaPiano porta;
    const bool blocco_errato = guasta && p.tipo_guasto == guasto::indice("bad-checksum-block");
    porta.blocco = valori_casuali::blocco(e, estrai_banda(e), blocco_errato);
    porta.argomenti << QStringLiteral("--seed")
                    << QString::number(p.seme + static_cast<unsigned>(n))
                    << QStringLiteral("--block")
                    << argomento_blocco(p, cartella, QStringLiteral("blocco%1.bin").arg(n),
                                        porta.blocco);
    if (guasta) {
        porta.guasto.tipo = p.tipo_guasto;
        p.tipo().estrai(e, porta.guasto);
        porta.argomenti += p.tipo().argomenti(porta.guasto);
    }
    if (p.forma == PRODUZIONE) {
        porta.successivo = valori_casuali::blocco(e, estrai_banda(e), false);
        porta.cambio_ms = e.tra(300, 600);
        porta.argomenti << QStringLiteral("--swap-ms") << QString::number(porta.cambio_ms)
                        << QStringLiteral("--next-block")
                        << argomento_blocco(p, cartella, QStringLiteral("successivo%1.bin").arg(n),
                                            *porta.successivo);
    }
    p.porte.push_back(porta);
}

Azione estrai_azione(Estrazione &e, Forma forma)
{
    switch (forma) {
    case LETTURA:
        return Azione::Leggi;
    case INIZIALIZZAZIONE:
        return Azione::Inizializza;
    case VERIFICA:
        return Azione::Verifica;
    case PRODUZIONE: {
        static const Azione c[] = {Azione::Programma, Azione::Inizializza, Azione::Verifica};
        return c[e.tra(0, 2)];
    }
    case PIU_PORTE: {
        static const Azione c[] = {Azione::Leggi, Azione::Programma, Azione::Inizializza};
        return c[e.tra(0, 2)];
    }
    default:
        return Azione::Programma;
    }
}

// The values of the unit itself, one or two of them sometimes changed.
ValoriRichiesti valori_da_verificare(Estrazione &e, const Blocco &b, Banda &banda)
{
    const ValoriUnita u = decodifica_blocco(b);
    ValoriRichiesti v;
    v.codice = u.codice >= 1 && u.codice <= 4096 ? u.codice : 1;
    v.frequenza = Frequenza(u.frequenza.value_or("160"));
    v.rele = u.rele >= 1 ? u.rele : 1;
    v.impulsi = u.impulsi >= 1 ? u.impulsi : 1;
    for (int g = 0; g < NUM_GRUPPI; ++g)
        v.opzioni[g] = u.opzioni[g] == 1 ? 1 : 0;
    banda = u.banda.value_or(Banda::UHF);
    for (int n = e.con_probabilita(0.4) ? e.tra(1, 2) : 0; n > 0; --n) {
        switch (e.tra(0, 3)) {
        case 0:
            v.codice = e.tra(1, 4096);
            break;
        case 1:
            v.rele = e.tra(1, 255);
            break;
        case 2:
            v.opzioni[e.tra(0, NUM_GRUPPI - 1)] = e.tra(0, 1);
            break;
        default:
            banda = altra_banda(banda);
        }
    }
    return v;
}

QString scrivi_file_unita(PianoCiclo &p, const QString &cartella, const QByteArray &testo)
{
    p.file.emplace_back(QStringLiteral("unita.json"), testo);
    return cartella + QStringLiteral("/unita.json");
}

void prepara_rifiuto(Estrazione &e, PianoCiclo &p, const QString &cartella)
{
    p.rifiuto = p.porte.front().guasto.numero;
    CasoRifiuto c;
    const Banda banda = *banda_da_lettera(p.porte.front().blocco[CELLA_BANDA]);
    RIFIUTI[p.rifiuto].prepara(e, banda, c);
    p.incarico.richiesti = c.richiesti;
    p.incarico.banda_file = c.banda_file;
    p.argomenti += c.argomenti;
    if (!c.file.isEmpty())
        p.argomenti << QStringLiteral("--from") << scrivi_file_unita(p, cartella, c.file);
}

void prepara_incarico(Estrazione &e, PianoCiclo &p, const QString &cartella)
{
    Incarico &i = p.incarico;
    i.azione = estrai_azione(e, p.forma);
    p.argomenti << QLatin1String(nome_comando(i.azione));
    const Blocco &primo = p.porte.front().blocco;
    const Banda banda = *banda_da_lettera(primo[CELLA_BANDA]);
    if (p.tipo_guasto == guasto::indice("refused-arguments")) {
        prepara_rifiuto(e, p, cartella);
    } else if (i.azione == Azione::Inizializza) {
        i.banda_init = estrai_banda(e);
        p.argomenti << nome_banda_minuscolo(i.banda_init);
        i.cambia_banda = e.con_probabilita(0.5);
        if (i.cambia_banda)
            p.argomenti << QStringLiteral("--change-band");
    } else if (i.azione == Azione::Verifica) {
        Banda b;
        i.richiesti = valori_da_verificare(e, primo, b);
        i.banda_file = b;
        const QByteArray testo = valori_casuali::testo(valori_casuali::file_unita(i.richiesti, b));
        p.argomenti << QStringLiteral("--from") << scrivi_file_unita(p, cartella, testo);
    } else if (i.azione == Azione::Programma &&
               (p.forma == DA_FILE || (p.forma == PRODUZIONE && e.con_probabilita(0.5)))) {
        i.richiesti = valori_casuali::richiesti(e, banda, true);
        i.banda_file = banda;
        const QByteArray testo =
            valori_casuali::testo(valori_casuali::file_unita(i.richiesti, banda));
        p.argomenti << QStringLiteral("--from") << scrivi_file_unita(p, cartella, testo);
        if (e.con_probabilita(0.3)) {
            const ValoriRichiesti sopra = valori_casuali::richiesti(e, banda, false);
            i.richiesti.sovrapponi(sopra);
            p.argomenti += valori_casuali::argomenti(sopra);
        }
    } else if (i.azione == Azione::Programma) {
        // Sometimes a frequency of the other band, which the unit must refuse.
        const Banda b = e.con_probabilita(0.85) ? banda : altra_banda(banda);
        i.richiesti = valori_casuali::richiesti(e, b, false);
        p.argomenti += valori_casuali::argomenti(i.richiesti);
    }
}

int risposte_per_unita(Azione c)
{
    switch (c) {
    case Azione::Programma:
        return 2 * CELLE_LETTE + ULTIMA_CELLA_PROGRAMMATA + 1;
    case Azione::Inizializza:
        return 2 * CELLE_LETTE + NUM_CELLE;
    default:
        return CELLE_LETTE;
    }
}

// 4000 ms for each bounded wait that may run out, the delays asked for, the
// --wait and the swaps, and a margin for start-up and a loaded machine.
int limite(const PianoCiclo &p)
{
    int peggiore = 0;
    for (const PortaPiano &porta : p.porte) {
        const int risposte = risposte_per_unita(p.incarico.azione);
        const int per_unita = LAVORO_UNITA_MS + p.attesa_ms + porta.cambio_ms +
                              (p.ripetizioni > 1 ? SILENZIO_CAMBIO_MS : 0) +
                              TIPI_GUASTO[porta.guasto.tipo].attesa_ms(porta.guasto, risposte);
        peggiore = std::max(peggiore, per_unita * p.ripetizioni);
    }
    return MARGINE_MS + peggiore;
}

void opzioni_di_corsa(PianoCiclo &p)
{
    if (p.forma == PRODUZIONE) {
        p.ripetizioni = 2;
        p.attesa_ms = ATTESA_PRODUZIONE_MS;
        p.argomenti << QStringLiteral("--repeat") << QStringLiteral("2")
                    << QStringLiteral("--swap-silence")
                    << QString::number(SILENZIO_CAMBIO_MS / 1000.0, 'f', 3);
    }
    for (const PortaPiano &porta : p.porte) {
        if (porta.guasto.tipo == guasto::indice("silent"))
            p.attesa_ms = porta.guasto.ms;
    }
    if (p.attesa_ms > 0)
        p.argomenti << QStringLiteral("--wait") << QString::number(p.attesa_ms / 1000.0, 'f', 3);
}
} // namespace

PianoCiclo Piano::estrai(std::uint64_t seme_soak, int ciclo, const QString &cartella)
{
    PianoCiclo p;
    p.ciclo = ciclo;
    p.seme = Estrazione::seme_ciclo(seme_soak, ciclo);
    Estrazione e(p.seme);
    std::vector<int> pesi;
    for (int i = 0; i < NUM_TIPI_GUASTO; ++i)
        pesi.push_back(TIPI_GUASTO[i].peso);
    p.tipo_guasto = e.pesata(pesi.data(), NUM_TIPI_GUASTO);
    p.forma = estrai_forma(e, p.tipo().forme);
    const int porte = p.forma == PIU_PORTE ? e.tra(2, 3) : 1;
    const int guasta = e.tra(0, porte - 1);
    for (int n = 0; n < porte; ++n)
        prepara_porta(e, p, cartella, n + 1, n == guasta);
    prepara_incarico(e, p, cartella);
    opzioni_di_corsa(p);
    p.limite_ms = limite(p);
    return p;
}

const char *Piano::nome_forma(Forma forma)
{
    for (const DatiForma &f : FORME) {
        if (f.forma == forma)
            return f.nome;
    }
    return "?";
}
