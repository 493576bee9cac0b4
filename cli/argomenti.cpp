// SPDX-License-Identifier: GPL-3.0-or-later
#include "argomenti.h"

#include "connessione_pg.h"
#include "etichettatrice.h"

#include "esiti.h"
#include "sintetizzatore.h"
#include "testo_numero.h"

#include <cmath>

const char *const TESTO_AIUTO =
    "Usage: m5ctl [--port PATH|auto]... [--com N]... [options] COMMAND [arguments]\n"
    "\n"
    "Reads, programs, initialises and verifies the Quorvanta M5 receiver over a serial\n"
    "line (2400 baud, 8N1).\n"
    "\n"
    "Commands:\n"
    "  read                 connect and print the unit's block as a unit file (JSON)\n"
    "  program              connect, change the given values, write and read back\n"
    "  init uhf|vhf         write the factory block of the band and read back\n"
    "  verify --from FILE   read the unit and compare its values with the unit file\n"
    "  ports                list the serial ports of the system\n"
    "  report LOG           the figures of a log (--log) per port and in all: units,\n"
    "                       OK, failed, first-pass yield, units per hour, time span,\n"
    "                       and what became of each plan's codes; LOG \"-\" is stdin\n"
    "  report --archivio URL\n"
    "                       the factory's figures from the shared archive: units,\n"
    "                       OK, failed, first-pass yield per station, slot, operator\n"
    "                       and plan; each plan's codes given, spent, reserved, free\n"
    "\n"
    "Port (read, program, init, verify; each may be given several times, one unit\n"
    "runs on each port at the same time):\n"
    "  --port PATH          the device the receiver is cabled to, or its socket's name\n"
    "                       as \"ports\" shows it; \"auto\" is the one USB serial\n"
    "                       adapter present\n"
    "  --com N              \"Com N\" (1-8), as the window names it\n"
    "  --wait SECONDS       give up when no receiver announces itself in this time\n"
    "                       (0.001-86400; default: wait until Ctrl-C)\n"
    "  --trace FILE         write every byte in and out to FILE (\"-\": stderr);\n"
    "                       one port only\n"
    "\n"
    "Values (program):\n"
    "  --from FILE          program the values of a unit file (see read); the options\n"
    "                       below override single values of it\n"
    "  --codice N           receiver code, 1-4096\n"
    "  --frequenza MHZ      receive frequency, 100-227.6 (VHF) or 295-500 (UHF), a\n"
    "                       channel of the 12.5 kHz grid; the unit's band must match\n"
    "  --rele SECONDS       alarm relay time, 1-255\n"
    "  --impulsi SECONDS    pulse output time, 1-255\n"
    "  --toni alti|bassi    high or low tones\n"
    "  --uscite mem|imp     latched or pulsed outputs\n"
    "  --trasmettitori strip|bidi\n"
    "                       mono/strip or bidirectional senders\n"
    "\n"
    "Init:\n"
    "  --change-band        initialise a unit that reports the other band all the\n"
    "                       same, changing its band (without it: refused, exit 6)\n"
    "\n"
    "Unit files and production runs:\n"
    "  -o, --output FILE    read: write the unit file to FILE (atomically; a FILE\n"
    "                       that exists must be a regular file); \"-\": stdout\n"
    "  --from FILE          verify: the unit file to compare with\n"
    "  --repeat N           program, init, verify: one unit after the other, N units\n"
    "                       per port (0-1000000; 0: until Ctrl-C); after each unit,\n"
    "                       wait until it is taken away and the next one announces\n"
    "  --swap-silence SECONDS\n"
    "                       a unit counts as taken away once the line has been\n"
    "                       silent this long (0.1-3600; default 2)\n"
    "  --log FILE           append one JSON line per unit to FILE\n"
    "  --codici A-B         program a run: each unit the next free code of A to B\n"
    "                       (1-4096), never one given before; not with --codice\n"
    "  --codici-da FILE     as --codici, the codes of FILE: one a line, in order;\n"
    "                       blank lines and # comments are skipped\n"
    "  --archivio URL       a run: the plan's codes and every record in the shared\n"
    "                       PostgreSQL archive of this libpq connection string;\n"
    "                       report: the archive to sum up; its password in\n"
    "                       ~/.pgpass or a service file, never here\n"
    "  --etichette DEST     program a run: a label for each unit that ends OK, to the\n"
    "                       printer DEST, or as a PDF in the folder DEST (a path)\n"
    "  --etichette-misura WxH\n"
    "                       the label's size in mm, each 10-300 (default 62x29)\n"
    "  --json               ports: one JSON object per line\n"
    "  --csv                report: one CSV row per record instead of the figures;\n"
    "                       with --archivio, the figures as CSV\n"
    "\n"
    "  -h, --help           show this help and exit (given alone)\n"
    "  --version            show the version and exit (given alone)\n"
    "\n"
    "Exit status: 0 done, 2 usage, unit file or log to report, 3 port, or a log,\n"
    "trace, output file or stdout not written, or no answer from the archive,\n"
    "4 time-out, 5 bad read, 6 frequency, unit file or init not of the unit's band,\n"
    "7 value out of range, 8 read-back differs from what was written, 9 verify found\n"
    "differences, 10 the plan of codes has no code left, 11 the archive refused the\n"
    "run or the report, 130 interrupted.\n";

namespace {
using Comando = Argomenti::Comando;
using ErroreEventuale = std::optional<ErroreArgomenti>;

using controllo_valori::cifre;
using controllo_valori::citazione;
using controllo_valori::errore;
using esiti::USO;

// Which commands take an option.
enum : unsigned {
    LEGGI = 1,
    PROGRAMMA = 2,
    INIZIALIZZA = 4,
    VERIFICA = 8,
    PORTE = 16,
    RAPPORTO = 32,
    UNITA = LEGGI | PROGRAMMA | INIZIALIZZA | VERIFICA,
    CORSE = PROGRAMMA | INIZIALIZZA | VERIFICA,
};

struct Opzione
{
    const char *nome;
    char corta;
    bool con_valore;
    bool ripetibile;
    unsigned comandi;
    ErroreEventuale (*applica)(Argomenti &a, const QString &opzione, const QString &valore);
};

ErroreEventuale non_valido(const QString &opzione, const QString &valore, const QString &atteso)
{
    return controllo_valori::non_valido(opzione, valore, atteso);
}

ErroreEventuale fuori_range(const QString &opzione, const QString &valore, const QString &atteso)
{
    return controllo_valori::fuori_range(opzione, valore, atteso);
}

ErroreEventuale intero(const QString &opzione, const QString &v, int minimo, int massimo,
                       int &risultato)
{
    const QString atteso = QStringLiteral("a whole number from %1 to %2").arg(minimo).arg(massimo);
    if (!cifre(v))
        return non_valido(opzione, v, atteso);
    bool ok = false;
    const qlonglong n = v.size() > 12 ? -1 : v.toLongLong(&ok);
    if (!ok || n < minimo || n > massimo)
        return fuori_range(opzione, v, atteso);
    risultato = static_cast<int>(n);
    return std::nullopt;
}

ErroreEventuale secondi(const QString &opzione, const QString &v, double minimo, double massimo,
                        int &uscita_ms)
{
    const QString atteso = QStringLiteral("seconds from %1 to %2")
                               .arg(QString::fromStdString(testo_numero(minimo)),
                                    QString::fromStdString(testo_numero(massimo)));
    if (!controllo_valori::decimale(v))
        return non_valido(opzione, v, atteso);
    const double s = valore_testo(v.toStdString());
    if (!(s >= minimo && s <= massimo))
        return fuori_range(opzione, v, atteso);
    uscita_ms = static_cast<int>(std::lround(s * 1000));
    return std::nullopt;
}

ErroreEventuale codice(Argomenti &a, const QString &o, const QString &v)
{
    int n = 0;
    const ErroreEventuale e = intero(o, v, 1, 4096, n);
    if (!e)
        a.modifiche.codice = n;
    return e;
}

ErroreEventuale piano(Argomenti &a, const QString &o, const QString &v)
{
    if (a.piano)
        return errore(USO, o, QStringLiteral("one plan only: --codici or --codici-da, once"));
    auto letto =
        o == QLatin1String("--codici") ? PianoCodici::da_intervallo(v, o) : PianoCodici::carica(v);
    if (const auto *e = std::get_if<ErroreValore>(&letto))
        return *e;
    a.piano = std::get<PianoCodici>(letto);
    a.opzione_piano = o;
    return std::nullopt;
}

ErroreEventuale tempo(std::optional<int> &campo, const QString &o, const QString &v)
{
    int n = 0;
    const ErroreEventuale e = intero(o, v, 1, 255, n);
    if (!e)
        campo = n;
    return e;
}

ErroreEventuale opzione_di_gruppo(Argomenti &a, const QString &o, const QString &v)
{
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        const GruppoOpzioni &gruppo = GRUPPI_OPZIONI[g];
        if (o != QLatin1String("--") + QLatin1String(gruppo.nome))
            continue;
        a.modifiche.opzioni[g] = valore_opzione(gruppo, v.toStdString());
        if (!a.modifiche.opzioni[g])
            return non_valido(o, v,
                              QStringLiteral("%1 or %2")
                                  .arg(QLatin1String(gruppo.uno), QLatin1String(gruppo.zero)));
    }
    return std::nullopt;
}

ErroreEventuale percorso(QString &campo, const QString &o, const QString &v)
{
    if (v.isEmpty())
        return non_valido(o, v, QStringLiteral("a path"));
    campo = v;
    return std::nullopt;
}

const Opzione OPZIONI[] = {
    {"port", 0, true, true, UNITA,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         if (v.isEmpty())
             return non_valido(o, v, QStringLiteral("a device path or auto"));
         a.porte << v;
         return std::nullopt;
     }},
    {"com", 0, true, true, UNITA,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         int n = 0;
         const ErroreEventuale e = intero(o, v, 1, 8, n);
         if (!e)
             a.com << n;
         return e;
     }},
    {"wait", 0, true, false, UNITA,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         int ms = 0;
         const ErroreEventuale e = secondi(o, v, 0.001, 86400, ms);
         if (!e)
             a.attesa_ms = ms;
         return e;
     }},
    {"trace", 0, true, false, UNITA,
     [](Argomenti &a, const QString &o, const QString &v) { return percorso(a.traccia, o, v); }},
    {"output", 'o', true, false, LEGGI,
     [](Argomenti &a, const QString &o, const QString &v) {
         return percorso(a.file_uscita, o, v);
     }},
    {"from", 0, true, false, PROGRAMMA | VERIFICA,
     [](Argomenti &a, const QString &o, const QString &v) { return percorso(a.da_file, o, v); }},
    {"codice", 0, true, false, PROGRAMMA, codice},
    {"frequenza", 0, true, false, PROGRAMMA,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         const auto f = controllo_valori::frequenza(o, v);
         if (const auto *e = std::get_if<ErroreArgomenti>(&f))
             return *e;
         a.modifiche.frequenza = std::get<Frequenza>(f);
         return std::nullopt;
     }},
    {"rele", 0, true, false, PROGRAMMA,
     [](Argomenti &a, const QString &o, const QString &v) {
         return tempo(a.modifiche.rele, o, v);
     }},
    {"impulsi", 0, true, false, PROGRAMMA,
     [](Argomenti &a, const QString &o, const QString &v) {
         return tempo(a.modifiche.impulsi, o, v);
     }},
    {"toni", 0, true, false, PROGRAMMA, opzione_di_gruppo},
    {"uscite", 0, true, false, PROGRAMMA, opzione_di_gruppo},
    {"trasmettitori", 0, true, false, PROGRAMMA, opzione_di_gruppo},
    {"repeat", 0, true, false, CORSE,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         int n = 0;
         const ErroreEventuale e = intero(o, v, 0, 1'000'000, n);
         if (!e)
             a.ripetizioni = n;
         return e;
     }},
    {"codici", 0, true, false, PROGRAMMA, piano},
    {"codici-da", 0, true, false, PROGRAMMA, piano},
    {"archivio", 0, true, false, UNITA | RAPPORTO,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         if (const QString rifiuto = ConnessionePg::rifiuto(v); !rifiuto.isEmpty())
             return errore(USO, o, rifiuto);
         a.archivio = v;
         return std::nullopt;
     }},
    {"etichette", 0, true, false, PROGRAMMA,
     [](Argomenti &a, const QString &o, const QString &v) { return percorso(a.etichette, o, v); }},
    {"etichette-misura", 0, true, false, PROGRAMMA,
     [](Argomenti &a, const QString &o, const QString &v) -> ErroreEventuale {
         const auto misura = Etichettatrice::misura(v);
         if (!misura)
             return non_valido(o, v, QStringLiteral("WIDTHxHEIGHT in mm, each 10-300"));
         a.misura_etichette = *misura;
         a.misura_data = true;
         return std::nullopt;
     }},
    {"swap-silence", 0, true, false, CORSE,
     [](Argomenti &a, const QString &o, const QString &v) {
         return secondi(o, v, 0.1, 3600, a.silenzio_ms);
     }},
    {"log", 0, true, false, UNITA,
     [](Argomenti &a, const QString &o, const QString &v) { return percorso(a.registro, o, v); }},
    {"change-band", 0, false, false, INIZIALIZZA,
     [](Argomenti &a, const QString &, const QString &) -> ErroreEventuale {
         a.cambia_banda = true;
         return std::nullopt;
     }},
    {"json", 0, false, false, PORTE,
     [](Argomenti &a, const QString &, const QString &) -> ErroreEventuale {
         a.json = true;
         return std::nullopt;
     }},
    {"csv", 0, false, false, RAPPORTO,
     [](Argomenti &a, const QString &, const QString &) -> ErroreEventuale {
         a.csv = true;
         return std::nullopt;
     }},
};

struct Comandi
{
    const char *nome;
    Comando comando;
    unsigned bit;
};
const Comandi COMANDI[] = {
    {"read", Comando::Leggi, LEGGI},
    {"program", Comando::Programma, PROGRAMMA},
    {"init", Comando::Inizializza, INIZIALIZZA},
    {"verify", Comando::Verifica, VERIFICA},
    {"ports", Comando::Porte, PORTE},
    {"report", Comando::Rapporto, RAPPORTO},
};

const Opzione *cerca(const QString &nome, bool corta)
{
    for (const Opzione &o : OPZIONI) {
        if (corta ? (o.corta != 0 && nome == QChar::fromLatin1(o.corta))
                  : nome == QLatin1String(o.nome))
            return &o;
    }
    return nullptr;
}

QString nomi_comandi(unsigned bit)
{
    QStringList nomi;
    for (const Comandi &c : COMANDI) {
        if (bit & c.bit)
            nomi << QLatin1String(c.nome);
    }
    return nomi.join(QStringLiteral(", "));
}

struct Data
{
    const Opzione *opzione;
    QString scritta; // as the user wrote it, for the messages
    QString valore;
};

// Splits the words into options with their values and positional words.
std::variant<QList<Data>, ErroreArgomenti>
separa(const QStringList &parole, QStringList &posizionali, bool &aiuto, bool &versione)
{
    QList<Data> date;
    for (qsizetype i = 1; i < parole.size(); ++i) {
        const QString &p = parole.at(i);
        if (p == QLatin1String("--")) {
            posizionali += parole.mid(i + 1);
            break;
        }
        if (!p.startsWith(QLatin1Char('-')) || p == QLatin1String("-")) {
            posizionali << p;
            continue;
        }
        if (p == QLatin1String("-h") || p == QLatin1String("--help")) {
            aiuto = true;
            continue;
        }
        if (p == QLatin1String("--version")) {
            versione = true;
            continue;
        }
        const bool lunga = p.startsWith(QLatin1String("--"));
        QString nome = lunga ? p.mid(2) : p.mid(1, 1);
        std::optional<QString> valore;
        if (lunga && nome.contains(QLatin1Char('='))) {
            valore = nome.section(QLatin1Char('='), 1);
            nome = nome.section(QLatin1Char('='), 0, 0);
        } else if (!lunga && p.size() > 2) {
            valore = p.mid(2);
        }
        const Opzione *o = cerca(nome, !lunga);
        const QString scritta = lunga ? QStringLiteral("--") + nome : QStringLiteral("-") + nome;
        if (!o)
            return ErroreArgomenti{USO, QStringLiteral("unknown option %1").arg(citazione(p))};
        if (o->con_valore && !valore) {
            if (i + 1 >= parole.size())
                return errore(USO, scritta, QStringLiteral("missing value"));
            valore = parole.at(++i);
        } else if (!o->con_valore && valore) {
            return errore(USO, scritta, QStringLiteral("takes no value"));
        }
        date.append({o, scritta, valore.value_or(QString())});
    }
    return date;
}

ErroreEventuale comando_e_banda(Argomenti &a, const QStringList &posizionali, unsigned &bit)
{
    const QString nome = posizionali.value(0);
    for (const Comandi &c : COMANDI) {
        if (nome == QLatin1String(c.nome)) {
            a.comando = c.comando;
            bit = c.bit;
        }
    }
    if (posizionali.isEmpty())
        return ErroreArgomenti{USO, QStringLiteral("no command given")};
    if (bit == 0)
        return ErroreArgomenti{USO, QStringLiteral("unknown command %1").arg(citazione(nome))};
    const bool con_argomento = a.comando == Comando::Inizializza || a.comando == Comando::Rapporto;
    const int attesi = con_argomento ? 2 : 1;
    // Without LOG: report --archivio URL, told apart once the options are read.
    if (a.comando == Comando::Rapporto && posizionali.size() >= 2) {
        if (posizionali.at(1).isEmpty())
            return ErroreArgomenti{USO, QStringLiteral("report takes one log: report LOG")};
        a.registro_letto = posizionali.at(1);
    }
    if (a.comando == Comando::Inizializza) {
        const auto banda = banda_da_nome(posizionali.value(1).toUpper().toStdString());
        if (posizionali.size() < 2 || !banda || posizionali.at(1) != posizionali.at(1).toLower())
            return ErroreArgomenti{USO, QStringLiteral("init takes one band: uhf or vhf")};
        a.banda = *banda;
    }
    if (posizionali.size() > attesi)
        return ErroreArgomenti{
            USO, QStringLiteral("unexpected argument %1").arg(citazione(posizionali.at(attesi)))};
    return std::nullopt;
}

ErroreEventuale coerenza(const Argomenti &a)
{
    if (a.comando == Comando::Programma && a.da_file.isEmpty() && a.modifiche.vuote() && !a.piano)
        return ErroreArgomenti{
            USO, QStringLiteral("program: nothing to program; give --from FILE or a value")};
    if (a.piano && a.modifiche.codice)
        return ErroreArgomenti{
            USO, QStringLiteral("%1 and --codice: give one; the plan gives each unit its code")
                     .arg(a.opzione_piano)};
    if (a.piano && !a.corsa())
        return ErroreArgomenti{
            USO, QStringLiteral("%1 gives each unit of a run its code: add --repeat N")
                     .arg(a.opzione_piano)};
    if (a.comando == Comando::Rapporto && a.registro_letto.isEmpty() == a.archivio.isEmpty())
        return ErroreArgomenti{
            USO, a.archivio.isEmpty()
                     ? QStringLiteral("report takes one log: report LOG, or report --archivio URL")
                     : QStringLiteral("report: a LOG or --archivio URL, not both")};
    if (!a.archivio.isEmpty() && !a.corsa() && a.comando != Comando::Rapporto)
        return ErroreArgomenti{
            USO, QStringLiteral("--archivio keeps the records of a run: add --repeat N")};
    if (!a.etichette.isEmpty() && !a.corsa())
        return ErroreArgomenti{
            USO, QStringLiteral("--etichette labels the units of a run: add --repeat N")};
    if (a.misura_data && a.etichette.isEmpty())
        return ErroreArgomenti{
            USO, QStringLiteral("--etichette-misura: no labels; add --etichette DEST")};
    if (a.comando == Comando::Verifica && a.da_file.isEmpty())
        return ErroreArgomenti{USO, QStringLiteral("verify needs --from FILE")};
    if (!a.traccia.isEmpty() && a.numero_porte() > 1)
        return ErroreArgomenti{USO, QStringLiteral("--trace: one port only")};
    if (!a.file_uscita.isEmpty() && a.numero_porte() > 1)
        return ErroreArgomenti{USO, QStringLiteral("--output: one port only")};
    for (qsizetype i = 0; i < a.porte.size(); ++i) {
        if (a.porte.indexOf(a.porte.at(i), i + 1) > 0)
            return ErroreArgomenti{
                USO, QStringLiteral("--port %1 given twice").arg(citazione(a.porte.at(i)))};
    }
    for (qsizetype i = 0; i < a.com.size(); ++i) {
        if (a.com.indexOf(a.com.at(i), i + 1) > 0)
            return ErroreArgomenti{USO, QStringLiteral("--com %1 given twice").arg(a.com.at(i))};
    }
    return std::nullopt;
}
} // namespace

QString nome_comando(Argomenti::Comando comando)
{
    for (const Comandi &c : COMANDI) {
        if (c.comando == comando)
            return QLatin1String(c.nome);
    }
    return QString();
}

std::variant<Argomenti, ErroreArgomenti> analizza_argomenti(const QStringList &parole)
{
    Argomenti a;
    QStringList posizionali;
    bool aiuto = false;
    bool versione = false;
    auto separate = separa(parole, posizionali, aiuto, versione);
    if (auto *e = std::get_if<ErroreArgomenti>(&separate))
        return *e;
    const QList<Data> date = std::get<QList<Data>>(separate);

    if (const ErroreEventuale e = controllo_valori::aiuto_da_solo(parole, aiuto, versione))
        return *e;
    if (aiuto || versione) {
        a.comando = aiuto ? Comando::Aiuto : Comando::Versione;
        return a;
    }

    unsigned bit = 0;
    if (const ErroreEventuale e = comando_e_banda(a, posizionali, bit))
        return *e;
    QList<const Opzione *> viste;
    for (const Data &d : date) {
        if (!(d.opzione->comandi & bit))
            return errore(USO, d.scritta,
                          QStringLiteral("not an option of %1; it goes with: %2")
                              .arg(posizionali.first(), nomi_comandi(d.opzione->comandi)));
        if (viste.contains(d.opzione) && !d.opzione->ripetibile)
            return errore(USO, d.scritta, QStringLiteral("given twice"));
        viste << d.opzione;
        if (const ErroreEventuale e = d.opzione->applica(a, d.scritta, d.valore))
            return *e;
    }
    if (const ErroreEventuale e = coerenza(a))
        return *e;
    return a;
}
