// SPDX-License-Identifier: GPL-3.0-or-later
#include "riga_comando.h"

#include "file_atomico.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int USO_ERRATO = 2;
constexpr long long UN_ORA_MS = 3'600'000;

[[noreturn]] void esci(const QString &messaggio)
{
    std::fprintf(stderr, "m5sim: %s\n", qPrintable(messaggio));
    std::fflush(stderr);
    std::exit(USO_ERRATO);
}

QCommandLineOption opzione(const char *nome, const char *descrizione, const char *valore = nullptr)
{
    if (!valore)
        return QCommandLineOption(QString::fromLatin1(nome), QString::fromLatin1(descrizione));
    return QCommandLineOption(QString::fromLatin1(nome), QString::fromLatin1(descrizione),
                              QString::fromLatin1(valore));
}

QList<QCommandLineOption> opzioni_linea()
{
    return {
        opzione("link", "Also make a symbolic link to the terminal.", "path"),
        opzione("block", "Initial cells: uhf (default), vhf or a file of 64 bytes.",
                "uhf|vhf|path"),
        opzione("eeprom", "Keep the cells in this file across runs (created if missing).", "path"),
        opzione("announce-ms", "Interval of the ready \"K\" (default 500).", "ms"),
        opzione("baud",
                "Pace every byte in and out at this rate, 10 bits a byte (default: no "
                "pacing).",
                "rate"),
        opzione("trace", "Print every byte on stderr: \"<s>.<us> in|out <hex>\"."),
        opzione("exit-with-stdin",
                "End, as on SIGTERM, when standard input reaches end of file, and (Linux) when "
                "the parent process dies (start it from a thread that lasts as long as the "
                "parent). Without it stdin is never looked at."),
        opzione("summary",
                "At exit (signal, hang-up or end of stdin) replace this file with one JSON "
                "object: \"celle\" (the 64 cells held, as numbers), \"scritture\" (\"W\" records "
                "received), \"dialoghi\" (\"U\" that began a dialogue), \"unita\" (units served, "
                "1 for the first) and \"guasti\" (the fault options in effect, by name, with "
                "\"seed\").",
                "path"),
    };
}

QList<QCommandLineOption> opzioni_guasti()
{
    return {
        opzione("silent", "Never send anything."),
        opzione("noise", "Send these characters before each ready \"K\" until the first \"U\".",
                "bytes"),
        opzione("no-ack-from", "No \"K\" for writes to this cell and above (still stored).",
                "cell"),
        opzione("bad-ack-at", "Answer \"X\" to the write of this cell (still stored).", "cell"),
        opzione("double-ack-at", "Answer \"KK\" to the write of this cell.", "cell"),
        opzione("corrupt-cell", "Reads of this cell return a wrong byte.", "cell"),
        opzione("hangup-after", "Drop the line after this many received bytes, then exit.",
                "bytes"),
        opzione("reply-delay-ms", "Wait this long before each answer.", "ms"),
        opzione("no-reply-at", "Never answer a read of this cell (writes are answered).", "cell"),
        opzione("lose-write-at",
                "Acknowledge writes of this cell with \"K\" but do not store them.", "cell"),
        opzione("flip-after-write",
                "Once this cell has been written (and stored), reads of it return the stored "
                "value XOR 0x5A.",
                "cell"),
        opzione("delay-at",
                "Delay the reply to a read or write of these cells (e.g. 5 or 3,9,15) by "
                "--delay-ms more; later replies wait behind it, bytes are still received.",
                "cells"),
        opzione("delay-ms", "How long --delay-at delays (required with it).", "ms"),
    };
}

QList<QCommandLineOption> opzioni_casuali()
{
    return {
        opzione("seed",
                "Seed of the random faults below, 0 to 2^64-1 (default 1): the same seed and the "
                "same bytes from the PC give the same bytes back.",
                "n"),
        opzione("garbage-reads", "Replace a read reply by one random byte with probability P.",
                "P"),
        opzione("extra-bytes",
                "With probability P, 1 to 3 random bytes follow a read reply or a write "
                "acknowledgement.",
                "P"),
        opzione("burst-after",
                "Once per dialogue, after its Nth received byte (the \"U\" being the first), "
                "send 1 to 8 random bytes unasked.",
                "N"),
    };
}

QList<QCommandLineOption> opzioni_produzione()
{
    return {
        opzione("swap-ms",
                "Production run: after each \"E\" the unit is taken away, with whatever it had "
                "yet to send; for this long nothing is sent and received bytes are ignored "
                "(still traced), then the next unit announces itself.",
                "ms"),
        opzione("next-block",
                "Cells of every unit after the first, each starting afresh (default: those of "
                "--block). With --eeprom the file holds the unit on the line: each new unit's "
                "cells replace it.",
                "uhf|vhf|path"),
    };
}
} // namespace

RigaComando::RigaComando()
{
    m_parser.setApplicationDescription(QStringLiteral(
        "Simulates the M5 receiver on a pseudo-terminal. Prints the path of the terminal to open "
        "as a serial port, then serves it until terminated."));
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOptions(opzioni_linea());
    m_parser.addOptions(opzioni_guasti());
    m_parser.addOptions(opzioni_casuali());
    m_parser.addOptions(opzioni_produzione());
}

OpzioniSimulatore RigaComando::leggi(const QStringList &argomenti)
{
    if (!m_parser.parse(argomenti))
        esci(m_parser.errorText());
    if (m_parser.isSet(QStringLiteral("help")))
        m_parser.showHelp(0);
    if (m_parser.isSet(QStringLiteral("version")))
        m_parser.showVersion();
    if (!m_parser.positionalArguments().isEmpty())
        esci(QStringLiteral("unexpected argument \"%1\"")
                 .arg(m_parser.positionalArguments().constFirst()));

    OpzioniSimulatore opzioni;
    interpreta_linea(opzioni);
    interpreta_guasti(opzioni);
    interpreta_guasti_casuali(opzioni);
    interpreta_produzione(opzioni);
    return opzioni;
}

void RigaComando::interpreta_linea(OpzioniSimulatore &opzioni)
{
    if (m_parser.isSet(QStringLiteral("block")))
        opzioni.blocco = blocco(QStringLiteral("block"));
    opzioni.eeprom = m_parser.value(QStringLiteral("eeprom")).toStdString();
    opzioni.collegamento = m_parser.value(QStringLiteral("link")).toStdString();
    if (m_parser.isSet(QStringLiteral("announce-ms")))
        opzioni.annuncio_ms = static_cast<int>(intero(QStringLiteral("announce-ms"), 1, UN_ORA_MS));
    if (m_parser.isSet(QStringLiteral("baud")))
        opzioni.baud = static_cast<int>(intero(QStringLiteral("baud"), 1, 10'000'000));
    opzioni.traccia = m_parser.isSet(QStringLiteral("trace"));
    opzioni.fine_con_stdin = m_parser.isSet(QStringLiteral("exit-with-stdin"));
    if (m_parser.isSet(QStringLiteral("summary")))
        m_riepilogo = cartella_scrivibile(QStringLiteral("summary"));
}

void RigaComando::interpreta_guasti(OpzioniSimulatore &opzioni)
{
    opzioni.silenzioso = m_parser.isSet(QStringLiteral("silent"));
    opzioni.rumore = m_parser.value(QStringLiteral("noise")).toStdString();
    GuastiRisposta &g = opzioni.guasti;
    g.senza_conferma_da = cella(QStringLiteral("no-ack-from"));
    g.conferma_errata = cella(QStringLiteral("bad-ack-at"));
    g.conferma_doppia = cella(QStringLiteral("double-ack-at"));
    g.cella_corrotta = cella(QStringLiteral("corrupt-cell"));
    g.senza_risposta = cella(QStringLiteral("no-reply-at"));
    g.scrittura_persa = cella(QStringLiteral("lose-write-at"));
    g.rilettura_diversa = cella(QStringLiteral("flip-after-write"));
    if (m_parser.isSet(QStringLiteral("hangup-after")))
        opzioni.riaggancio_dopo = intero(QStringLiteral("hangup-after"), 1, 1LL << 62);
    if (m_parser.isSet(QStringLiteral("reply-delay-ms")))
        opzioni.ritardo_risposta_ms =
            static_cast<int>(intero(QStringLiteral("reply-delay-ms"), 0, UN_ORA_MS));
    richiede(QStringLiteral("delay-at"), QStringLiteral("delay-ms"));
    richiede(QStringLiteral("delay-ms"), QStringLiteral("delay-at"));
    if (m_parser.isSet(QStringLiteral("delay-at"))) {
        opzioni.celle_ritardate = celle(QStringLiteral("delay-at"));
        opzioni.ritardo_celle_ms =
            static_cast<int>(intero(QStringLiteral("delay-ms"), 0, UN_ORA_MS));
    }
}

void RigaComando::interpreta_guasti_casuali(OpzioniSimulatore &opzioni)
{
    GuastiRisposta &g = opzioni.guasti;
    if (m_parser.isSet(QStringLiteral("seed")))
        g.seme = seme(QStringLiteral("seed"));
    g.letture_casuali = probabilita(QStringLiteral("garbage-reads"));
    g.byte_in_piu = probabilita(QStringLiteral("extra-bytes"));
    if (m_parser.isSet(QStringLiteral("burst-after")))
        g.raffica_dopo = intero(QStringLiteral("burst-after"), 1, 1LL << 62);
}

void RigaComando::interpreta_produzione(OpzioniSimulatore &opzioni)
{
    richiede(QStringLiteral("next-block"), QStringLiteral("swap-ms"));
    if (m_parser.isSet(QStringLiteral("swap-ms")))
        opzioni.cambio_ms = static_cast<int>(intero(QStringLiteral("swap-ms"), 0, UN_ORA_MS));
    if (m_parser.isSet(QStringLiteral("next-block")))
        opzioni.blocco_successivo = blocco(QStringLiteral("next-block"));
}

long long RigaComando::intero(const QString &nome, long long minimo, long long massimo) const
{
    const QString testo = m_parser.value(nome);
    bool ok = false;
    const long long valore = testo.toLongLong(&ok);
    if (!ok || valore < minimo || valore > massimo)
        esci(QStringLiteral("--%1: expected an integer from %2 to %3, got \"%4\"")
                 .arg(nome)
                 .arg(minimo)
                 .arg(massimo)
                 .arg(testo));
    return valore;
}

std::optional<int> RigaComando::cella(const QString &nome) const
{
    if (!m_parser.isSet(nome))
        return std::nullopt;
    return static_cast<int>(intero(nome, 0, NUM_CELLE - 1));
}

double RigaComando::probabilita(const QString &nome) const
{
    if (!m_parser.isSet(nome))
        return 0;
    const QString testo = m_parser.value(nome);
    bool ok = false;
    const double valore = testo.toDouble(&ok);
    // Written this way round so that NaN fails too.
    if (!ok || !(valore >= 0 && valore <= 1))
        esci(QStringLiteral("--%1: expected a probability from 0 to 1, got \"%2\"")
                 .arg(nome, testo));
    return valore;
}

std::uint64_t RigaComando::seme(const QString &nome) const
{
    const QString testo = m_parser.value(nome);
    bool ok = false;
    const qulonglong valore = testo.toULongLong(&ok);
    if (!ok)
        esci(QStringLiteral("--%1: expected an integer from 0 to 18446744073709551615, got \"%2\"")
                 .arg(nome, testo));
    return valore;
}

std::bitset<NUM_CELLE> RigaComando::celle(const QString &nome) const
{
    std::bitset<NUM_CELLE> insieme;
    const QString testo = m_parser.value(nome);
    for (const QString &parte : testo.split(QLatin1Char(','))) {
        bool ok = false;
        const int indice = parte.toInt(&ok);
        if (!ok || indice < 0 || indice >= NUM_CELLE)
            esci(QStringLiteral("--%1: expected cell indices from 0 to %2 separated by commas, "
                                "got \"%3\"")
                     .arg(nome)
                     .arg(NUM_CELLE - 1)
                     .arg(testo));
        insieme.set(static_cast<std::size_t>(indice));
    }
    return insieme;
}

Blocco RigaComando::blocco(const QString &nome) const
{
    const QString scelta = m_parser.value(nome);
    if (scelta == QLatin1String("uhf"))
        return blocco_fabbrica(Banda::UHF);
    if (scelta == QLatin1String("vhf"))
        return blocco_fabbrica(Banda::VHF);
    std::string errore;
    const auto letto = Memoria::carica(scelta.toStdString(), errore);
    if (!letto)
        esci(QStringLiteral("--%1: %2").arg(nome, QString::fromStdString(errore)));
    return *letto;
}

void RigaComando::richiede(const QString &nome, const QString &altro) const
{
    if (m_parser.isSet(nome) && !m_parser.isSet(altro))
        esci(QStringLiteral("--%1 needs --%2").arg(nome, altro));
}

// Checked now rather than found out at exit, after a whole run.
std::string RigaComando::cartella_scrivibile(const QString &nome) const
{
    const QString percorso = m_parser.value(nome);
    const QFileInfo cartella(QFileInfo(percorso).absolutePath());
    if (percorso.isEmpty() || !cartella.isDir() || !cartella.isWritable())
        esci(QStringLiteral("--%1: %2: no writable folder for it").arg(nome, percorso));
    const std::string file = QFile::encodeName(percorso).toStdString();
    if (const auto rifiuto = destinazione_rifiutata(file))
        esci(QStringLiteral("--%1: %2: %3").arg(nome, percorso, QString::fromStdString(*rifiuto)));
    return file;
}
