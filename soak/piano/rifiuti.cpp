// SPDX-License-Identifier: GPL-3.0-or-later
// The arguments and unit files a cycle gives m5ctl so that it must refuse them.
#include "rifiuti.h"

#include "attese.h"
#include "valori_casuali.h"

#include <QJsonObject>

namespace {
template <typename T, std::size_t N> const T &uno_di(Estrazione &e, const T (&elenco)[N])
{
    return elenco[e.tra(0, static_cast<int>(N) - 1)];
}

// The refused option, sometimes beside a valid value of another option.
void opzione(Estrazione &e, CasoRifiuto &c, const char *nome, const char *valore)
{
    c.argomenti << QLatin1String(nome) << QLatin1String(valore);
    if (e.con_probabilita(0.5))
        c.argomenti << QStringLiteral("--trasmettitori") << QStringLiteral("bidi");
}

void codice_fuori_range(Estrazione &e, Banda, CasoRifiuto &c)
{
    static const char *const valori[] = {"0", "4097", "65536", "999999999999"};
    opzione(e, c, "--codice", uno_di(e, valori));
}

void tempo_fuori_range(Estrazione &e, Banda, CasoRifiuto &c)
{
    static const char *const nomi[] = {"--rele", "--impulsi"};
    static const char *const valori[] = {"0", "256", "1000"};
    opzione(e, c, uno_di(e, nomi), uno_di(e, valori));
}

void frequenza_fuori_range(Estrazione &e, Banda, CasoRifiuto &c)
{
    // Below, between and above the two bands' windows.
    static const char *const valori[] = {"99.9875",  "227.6125", "240", "260",
                                         "294.9875", "500.0125", "700", "0.5"};
    opzione(e, c, "--frequenza", uno_di(e, valori));
}

void valore_malformato(Estrazione &e, Banda, CasoRifiuto &c)
{
    static const char *const casi[][2] = {
        {"--codice", "12a"},    {"--codice", "1.5"},   {"--codice", ""},
        {"--rele", "-3"},       {"--impulsi", "+3"},   {"--frequenza", "160,5"},
        {"--frequenza", "1e2"}, {"--frequenza", ".5"}, {"--frequenza", "433.92 "},
        {"--toni", "medio"},    {"--uscite", "MEM"},   {"--trasmettitori", ""},
    };
    const auto &caso = uno_di(e, casi);
    opzione(e, c, caso[0], caso[1]);
}

// Between two channels, as an option or in a unit file.
void frequenza_fuori_griglia(Estrazione &e, Banda b, CasoRifiuto &c)
{
    const std::string fuori = valori_casuali::frequenza_fuori_griglia(e, b);
    if (e.con_probabilita(0.5)) {
        opzione(e, c, "--frequenza", fuori.c_str());
        return;
    }
    QJsonObject o = valori_casuali::file_unita(valori_casuali::richiesti(e, b, true), b);
    o.insert(QStringLiteral("frequenza"), QString::fromStdString(fuori));
    c.file = valori_casuali::testo(o);
}

void frequenza_altra_banda(Estrazione &e, Banda b, CasoRifiuto &c)
{
    c.richiesti.frequenza = valori_casuali::frequenza(e, altra_banda(b));
    c.argomenti = valori_casuali::argomenti(c.richiesti);
}

void file_altra_banda(Estrazione &e, Banda b, CasoRifiuto &c)
{
    const Banda altra = altra_banda(b);
    c.richiesti = valori_casuali::richiesti(e, altra, true);
    c.banda_file = altra;
    c.file = valori_casuali::testo(valori_casuali::file_unita(c.richiesti, altra));
}

void file_fuori_range(Estrazione &e, Banda b, CasoRifiuto &c)
{
    static const struct
    {
        const char *campo;
        int valore;
    } casi[] = {{"codice", 0}, {"codice", 4097}, {"rele", 0},
                {"rele", 256}, {"impulsi", 0},   {"impulsi", 5000}};
    QJsonObject o = valori_casuali::file_unita(valori_casuali::richiesti(e, b, true), b);
    if (e.con_probabilita(0.25)) {
        o.insert(QStringLiteral("frequenza"), QStringLiteral("600"));
    } else {
        const auto &caso = uno_di(e, casi);
        o.insert(QLatin1String(caso.campo), caso.valore);
    }
    c.file = valori_casuali::testo(o);
}

void file_malformato(Estrazione &e, Banda b, CasoRifiuto &c)
{
    QJsonObject o = valori_casuali::file_unita(valori_casuali::richiesti(e, b, true), b);
    switch (e.tra(0, 6)) {
    case 0:
        o.remove(QStringLiteral("rele"));
        break;
    case 1:
        o.insert(QStringLiteral("codice"), QStringLiteral("12"));
        break;
    case 2:
        o.insert(QStringLiteral("formato"), QStringLiteral("altro"));
        break;
    case 3:
        o.insert(QStringLiteral("versione"), 2);
        break;
    case 4:
        o.insert(QStringLiteral("checksum_ok"), false);
        break;
    case 5:
        o.insert(QStringLiteral("toni"), QStringLiteral("medio"));
        break;
    default:
        c.file = "{\"formato\":\"m5-unita\",";
        return;
    }
    c.file = valori_casuali::testo(o);
}
} // namespace

const Rifiuto RIFIUTI[] = {
    {"code out of range", 7, codice_fuori_range},
    {"time out of range", 7, tempo_fuori_range},
    {"frequency out of range", 7, frequenza_fuori_range},
    {"frequency off the channel grid", 7, frequenza_fuori_griglia},
    {"malformed value", 2, valore_malformato},
    {"frequency of the other band", 6, frequenza_altra_banda},
    {"unit file of the other band", 6, file_altra_banda},
    {"unit file value out of range", 7, file_fuori_range},
    {"malformed unit file", 2, file_malformato},
};
const int NUM_RIFIUTI = sizeof RIFIUTI / sizeof RIFIUTI[0];
