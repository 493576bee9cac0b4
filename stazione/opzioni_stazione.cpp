// SPDX-License-Identifier: GPL-3.0-or-later
#include "opzioni_stazione.h"

#include "esiti.h"
#include "etichettatrice.h"

const char *const AIUTO_STAZIONE =
    "Usage: m5stazione --from FILE [--slot N=PATH]... [--log FILE] [--verify]\n"
    "                  [--operator NAME] [--mute] [--codici A-B | --codici-da FILE]\n"
    "                  [--archivio CONNINFO] [--etichette DEST [--etichette-misura WxH]]\n"
    "\n"
    "A programming station: up to 16 ports, each programming or verifying one unit\n"
    "after the other, hands-free, as units are cabled in and taken out.\n"
    "\n"
    "  --from FILE        the unit file whose values every unit gets (m5ctl read -o);\n"
    "                     without it the station asks for one\n"
    "  --slot N=PATH      slot N (1-16) is the port at PATH: a socket name\n"
    "                     (/dev/serial/by-path/...), a device, or any path, also one\n"
    "                     that does not exist yet; repeatable. Without it: the slots\n"
    "                     of the station file, else one per serial port present\n"
    "  --log FILE         the log, JSON Lines as m5ctl --log writes (default: in the\n"
    "                     user's data folder)\n"
    "  --verify           compare each unit with the file; write nothing\n"
    "  --operator NAME    who works the station, in every record (default: the login\n"
    "                     name)\n"
    "  --mute             no pass and fail sounds\n"
    "  --codici A-B       each unit the next free code of A to B (1-4096), never one\n"
    "                     given before; not with --verify\n"
    "  --codici-da FILE   as --codici, the codes of FILE: one a line, in order;\n"
    "                     blank lines and # comments are skipped\n"
    "  --archivio CONNINFO\n"
    "                     the shared archive of plans and records, a libpq connection\n"
    "                     string (host=... dbname=..., or postgresql://...) without a\n"
    "                     password: that goes in ~/.pgpass or a service file\n"
    "                     (default: the station file's, if any)\n"
    "  --etichette DEST   a label for each unit that ends OK, to the printer DEST, or\n"
    "                     as a PDF in the folder DEST (a path)\n"
    "  --etichette-misura WxH\n"
    "                     the label's size in mm, each 10-300 (default 62x29)\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n";

namespace {
using controllo_valori::citazione;
using controllo_valori::errore;

std::optional<ErroreValore> valore(const QString &opzione, const QStringList &a, qsizetype &i,
                                   QString &uscita)
{
    if (i + 1 >= a.size())
        return errore(esiti::USO, opzione, QStringLiteral("missing value"));
    uscita = a.at(++i);
    if (uscita.isEmpty())
        return errore(esiti::USO, opzione, QStringLiteral("empty value"));
    return std::nullopt;
}

std::optional<ErroreValore> piano(OpzioniStazione &o, const QString &nome, const QString &v)
{
    if (o.piano)
        return errore(esiti::USO, nome,
                      QStringLiteral("one plan only: --codici or --codici-da, once"));
    auto letto = nome == QLatin1String("--codici") ? PianoCodici::da_intervallo(v, nome)
                                                   : PianoCodici::carica(v);
    if (const auto *e = std::get_if<ErroreValore>(&letto))
        return *e;
    o.piano = std::get<PianoCodici>(letto);
    o.origine_piano = v;
    o.piano_da = nome;
    return std::nullopt;
}

// The options of codes, archive and labels.
std::optional<ErroreValore> applica_produzione(OpzioniStazione &o, const QStringList &a,
                                               qsizetype &i, bool &conosciuta)
{
    const QString nome = a.at(i);
    conosciuta = true;
    QString v;
    if (nome == QLatin1String("--codici") || nome == QLatin1String("--codici-da")) {
        if (auto e = valore(nome, a, i, v))
            return e;
        return piano(o, nome, v);
    }
    if (nome == QLatin1String("--archivio") || nome == QLatin1String("--etichette")) {
        QString &campo = nome == QLatin1String("--archivio") ? o.archivio : o.etichette;
        if (!campo.isEmpty())
            return errore(esiti::USO, nome, QStringLiteral("given twice"));
        if (auto e = valore(nome, a, i, campo))
            return e;
        if (nome == QLatin1String("--archivio"))
            return file_stazione::controlla_archivio(campo, nome);
        return std::nullopt;
    }
    if (nome == QLatin1String("--etichette-misura")) {
        if (o.misura_data)
            return errore(esiti::USO, nome, QStringLiteral("given twice"));
        if (auto e = valore(nome, a, i, v))
            return e;
        const auto misura = Etichettatrice::misura(v);
        if (!misura)
            return controllo_valori::non_valido(nome, v,
                                                QStringLiteral("WIDTHxHEIGHT in mm, each 10-300"));
        o.misura_etichette = *misura;
        o.misura_data = true;
        return std::nullopt;
    }
    conosciuta = false;
    return std::nullopt;
}

// One option and its value; false when it is none of the station's.
std::optional<ErroreValore> applica(OpzioniStazione &o, const QStringList &a, qsizetype &i,
                                    bool &conosciuta)
{
    if (auto e = applica_produzione(o, a, i, conosciuta); e || conosciuta)
        return e;
    const QString nome = a.at(i);
    conosciuta = true;
    QString v;
    if (nome == QLatin1String("--from") || nome == QLatin1String("--log") ||
        nome == QLatin1String("--operator")) {
        QString &campo = nome == QLatin1String("--from")  ? o.da_file
                         : nome == QLatin1String("--log") ? o.registro
                                                          : o.operatore;
        if (!campo.isEmpty())
            return errore(esiti::USO, nome, QStringLiteral("given twice"));
        return valore(nome, a, i, campo);
    }
    if (nome == QLatin1String("--slot")) {
        if (auto e = valore(nome, a, i, v))
            return e;
        const auto posto = controllo_valori::percorso_numerato(
            nome, v, file_stazione::POSTI_MASSIMI,
            QStringLiteral("N=PATH, N a slot from 1 to %1").arg(file_stazione::POSTI_MASSIMI));
        if (const auto *e = std::get_if<ErroreValore>(&posto))
            return *e;
        const PercorsoNumerato &p = std::get<PercorsoNumerato>(posto);
        o.posti.append(PostoConfigurato{p.numero, p.percorso});
        return std::nullopt;
    }
    bool *interruttore = nome == QLatin1String("--verify")    ? &o.verifica
                         : nome == QLatin1String("--mute")    ? &o.muto
                         : nome == QLatin1String("--help")    ? &o.aiuto
                         : nome == QLatin1String("-h")        ? &o.aiuto
                         : nome == QLatin1String("--version") ? &o.versione
                                                              : nullptr;
    if (!interruttore) {
        conosciuta = false;
        return std::nullopt;
    }
    if (*interruttore)
        return errore(esiti::USO, nome, QStringLiteral("given twice"));
    *interruttore = true;
    return std::nullopt;
}
// The rest of a connection string typed without quotes comes here: it is
// never repeated.
ErroreValore sconosciuto(const QString &argomento)
{
    if (argomento.contains(QLatin1String("password"), Qt::CaseInsensitive) ||
        argomento.startsWith(QLatin1String("--archivio")))
        return {esiti::USO, QStringLiteral("an unknown argument, not shown: it may hold a "
                                           "password; give --archivio one quoted string "
                                           "without it")};
    return {esiti::USO, QStringLiteral("unknown argument %1").arg(citazione(argomento))};
}
} // namespace

std::variant<OpzioniStazione, ErroreValore>
interpreta_opzioni_stazione(const QStringList &argomenti)
{
    OpzioniStazione o;
    for (qsizetype i = 1; i < argomenti.size(); ++i) {
        bool conosciuta = false;
        if (auto e = applica(o, argomenti, i, conosciuta))
            return *e;
        if (!conosciuta)
            return sconosciuto(argomenti.at(i));
    }
    if (auto e = controllo_valori::aiuto_da_solo(argomenti, o.aiuto, o.versione))
        return *e;
    if (auto e = file_stazione::controlla(o.posti, QStringLiteral("--slot")))
        return *e;
    if (o.piano && o.verifica)
        return errore(esiti::USO, o.piano_da,
                      QStringLiteral("a plan gives codes to program; not with --verify"));
    if (o.misura_data && o.etichette.isEmpty())
        return errore(esiti::USO, QStringLiteral("--etichette-misura"),
                      QStringLiteral("no labels; add --etichette DEST"));
    return o;
}
