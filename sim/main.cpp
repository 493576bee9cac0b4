#include "memoria.h"
#include "simulatore.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int USO_ERRATO = 2;

[[noreturn]] void esci(int codice, const QString &messaggio)
{
    std::fprintf(stderr, "m5sim: %s\n", qPrintable(messaggio));
    std::fflush(stderr);
    std::exit(codice);
}

long long intero(const QCommandLineParser &parser, const QCommandLineOption &opzione,
                 long long minimo, long long massimo)
{
    const QString testo = parser.value(opzione);
    bool ok = false;
    const long long valore = testo.toLongLong(&ok);
    if (!ok || valore < minimo || valore > massimo)
        esci(USO_ERRATO, QStringLiteral("--%1: expected an integer from %2 to %3, got \"%4\"")
                             .arg(opzione.names().constFirst())
                             .arg(minimo)
                             .arg(massimo)
                             .arg(testo));
    return valore;
}

std::optional<int> cella(const QCommandLineParser &parser, const QCommandLineOption &opzione)
{
    if (!parser.isSet(opzione))
        return std::nullopt;
    return static_cast<int>(intero(parser, opzione, 0, NUM_CELLE - 1));
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("m5sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(M5SIM_VERSIONE));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulates the M5 receiver on a pseudo-terminal. Prints the path of the "
                       "terminal to open as a serial port, then serves it until terminated."));
    const QCommandLineOption aiuto = parser.addHelpOption();
    const QCommandLineOption versione = parser.addVersionOption();

    const QCommandLineOption collegamento(
        QStringLiteral("link"), QStringLiteral("Also make a symbolic link to the terminal."),
        QStringLiteral("path"));
    const QCommandLineOption blocco(
        QStringLiteral("block"),
        QStringLiteral("Initial cells: uhf (default), vhf or a file of 64 bytes."),
        QStringLiteral("uhf|vhf|path"));
    const QCommandLineOption eeprom(
        QStringLiteral("eeprom"),
        QStringLiteral("Keep the cells in this file across runs (created if missing)."),
        QStringLiteral("path"));
    const QCommandLineOption annuncio(QStringLiteral("announce-ms"),
                                      QStringLiteral("Interval of the ready \"K\" (default 500)."),
                                      QStringLiteral("ms"), QStringLiteral("500"));
    const QCommandLineOption silenzioso(QStringLiteral("silent"),
                                        QStringLiteral("Never send anything."));
    const QCommandLineOption rumore(
        QStringLiteral("noise"),
        QStringLiteral("Send these characters before each ready \"K\" until the first \"U\"."),
        QStringLiteral("bytes"));
    const QCommandLineOption senza_conferma(
        QStringLiteral("no-ack-from"),
        QStringLiteral("No \"K\" for writes to this cell and above (still stored)."),
        QStringLiteral("cell"));
    const QCommandLineOption conferma_errata(
        QStringLiteral("bad-ack-at"),
        QStringLiteral("Answer \"X\" to the write of this cell (still stored)."),
        QStringLiteral("cell"));
    const QCommandLineOption conferma_doppia(
        QStringLiteral("double-ack-at"), QStringLiteral("Answer \"KK\" to the write of this cell."),
        QStringLiteral("cell"));
    const QCommandLineOption corrotta(QStringLiteral("corrupt-cell"),
                                      QStringLiteral("Reads of this cell return a wrong byte."),
                                      QStringLiteral("cell"));
    const QCommandLineOption riaggancio(
        QStringLiteral("hangup-after"),
        QStringLiteral("Drop the line after this many received bytes, then exit."),
        QStringLiteral("bytes"));
    const QCommandLineOption ritardo(QStringLiteral("reply-delay-ms"),
                                     QStringLiteral("Wait this long before each answer."),
                                     QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption baud(
        QStringLiteral("baud"),
        QStringLiteral("Pace every byte in and out at this rate, 10 bits a byte (default: "
                       "no pacing)."),
        QStringLiteral("rate"));
    const QCommandLineOption traccia(
        QStringLiteral("trace"),
        QStringLiteral("Print every byte on stderr: \"<s>.<us> in|out <hex>\"."));
    parser.addOptions({collegamento, blocco, eeprom, annuncio, silenzioso, rumore, senza_conferma,
                       conferma_errata, conferma_doppia, corrotta, riaggancio, ritardo, baud,
                       traccia});

    if (!parser.parse(QCoreApplication::arguments()))
        esci(USO_ERRATO, parser.errorText());
    if (parser.isSet(aiuto))
        parser.showHelp(0);
    if (parser.isSet(versione))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        esci(USO_ERRATO, QStringLiteral("unexpected argument \"%1\"")
                             .arg(parser.positionalArguments().constFirst()));

    OpzioniSimulatore opzioni;
    if (parser.isSet(blocco)) {
        const QString scelta = parser.value(blocco);
        if (scelta == QLatin1String("uhf")) {
            opzioni.blocco = blocco_fabbrica(Banda::UHF);
        } else if (scelta == QLatin1String("vhf")) {
            opzioni.blocco = blocco_fabbrica(Banda::VHF);
        } else {
            std::string errore;
            const auto letto = Memoria::leggi_file(scelta.toStdString(), errore);
            if (!letto)
                esci(USO_ERRATO, QStringLiteral("--block: %1").arg(QString::fromStdString(errore)));
            opzioni.blocco = *letto;
        }
    }
    opzioni.eeprom = parser.value(eeprom).toStdString();
    opzioni.collegamento = parser.value(collegamento).toStdString();
    opzioni.annuncio_ms = static_cast<int>(intero(parser, annuncio, 1, 3'600'000));
    opzioni.silenzioso = parser.isSet(silenzioso);
    opzioni.rumore = parser.value(rumore).toStdString();
    opzioni.guasti.senza_conferma_da = cella(parser, senza_conferma);
    opzioni.guasti.conferma_errata = cella(parser, conferma_errata);
    opzioni.guasti.conferma_doppia = cella(parser, conferma_doppia);
    opzioni.guasti.cella_corrotta = cella(parser, corrotta);
    if (parser.isSet(riaggancio))
        opzioni.riaggancio_dopo = intero(parser, riaggancio, 1, 1LL << 62);
    opzioni.ritardo_risposta_ms = static_cast<int>(intero(parser, ritardo, 0, 3'600'000));
    if (parser.isSet(baud))
        opzioni.baud = static_cast<int>(intero(parser, baud, 1, 10'000'000));
    opzioni.traccia = parser.isSet(traccia);

    Simulatore simulatore(opzioni);
    std::string errore;
    if (!simulatore.carica_memoria(errore))
        esci(USO_ERRATO, QStringLiteral("--eeprom: %1").arg(QString::fromStdString(errore)));
    if (!simulatore.apri_linea(errore))
        esci(1, QString::fromStdString(errore));

    std::printf("%s\n", simulatore.percorso().c_str());
    std::fflush(stdout);
    return simulatore.esegui();
}
