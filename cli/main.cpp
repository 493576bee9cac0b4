#include "m5ctl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSerialPortInfo>

#include <climits>
#include <cmath>
#include <cstdio>

using Opzione = Controlli::Opzione;

namespace {
const char *const DESCRIZIONE =
    "Reads, programs and initialises the M5 receiver over a serial line.\n"
    "\n"
    "Commands:\n"
    "  read                 connect and print the receiver's block as JSON\n"
    "  program [options]    connect, change the given values, write and read back\n"
    "  init uhf|vhf         write the factory block for the band and read back\n"
    "  ports                list the serial ports of the system\n"
    "\n"
    "Exit status: 0 done, 2 usage, 3 port, 4 time-out, 5 bad read, 6 frequency out\n"
    "of band, 7 value out of range, 8 read-back differs, 130 interrupted.";

int uso(const QString &messaggio)
{
    std::fprintf(stderr, "m5ctl: %s\nTry 'm5ctl --help'.\n", messaggio.toLocal8Bit().constData());
    return uscita::USO;
}

std::optional<Opzione> scelta(const QString &valore, const char *zero, Opzione opzione_zero,
                              const char *uno, Opzione opzione_uno)
{
    if (valore == QLatin1String(zero))
        return opzione_zero;
    if (valore == QLatin1String(uno))
        return opzione_uno;
    return std::nullopt;
}

int elenca_porte()
{
    for (const QSerialPortInfo &porta : QSerialPortInfo::availablePorts())
        std::printf("%s\t%s\n", porta.systemLocation().toLocal8Bit().constData(),
                    porta.description().toLocal8Bit().constData());
    return uscita::SUCCESSO;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("m5ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(M5CTL_VERSIONE));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(DESCRIZIONE));
    const QCommandLineOption aiuto = parser.addHelpOption();
    const QCommandLineOption versione = parser.addVersionOption();
    const QCommandLineOption porta(QStringLiteral("port"),
                                   QStringLiteral("Use this device as \"Com 1\"."),
                                   QStringLiteral("path"));
    const QCommandLineOption com(QStringLiteral("com"),
                                 QStringLiteral("Use \"Com n\" under its system name (1-8)."),
                                 QStringLiteral("n"));
    const QCommandLineOption attesa(
        QStringLiteral("wait"),
        QStringLiteral("Give up when the receiver is silent this long (default: never)."),
        QStringLiteral("seconds"));
    parser.addOptions({porta, com, attesa});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("read, program, init or ports."));

    const QCommandLineOption codice(QStringLiteral("codice"),
                                    QStringLiteral("program: receiver code (1-4096)."),
                                    QStringLiteral("n"));
    const QCommandLineOption frequenza(QStringLiteral("frequenza"),
                                       QStringLiteral("program: receive frequency."),
                                       QStringLiteral("MHz"));
    const QCommandLineOption rele(QStringLiteral("rele"),
                                  QStringLiteral("program: relay time (1-255)."),
                                  QStringLiteral("s"));
    const QCommandLineOption impulsi(QStringLiteral("impulsi"),
                                     QStringLiteral("program: pulse output time (1-255)."),
                                     QStringLiteral("s"));
    const QCommandLineOption toni(QStringLiteral("toni"), QStringLiteral("program: tones."),
                                  QStringLiteral("alti|bassi"));
    const QCommandLineOption uscite(QStringLiteral("uscite"),
                                    QStringLiteral("program: latched or pulsed outputs."),
                                    QStringLiteral("mem|imp"));
    const QCommandLineOption trasmettitori(QStringLiteral("trasmettitori"),
                                           QStringLiteral("program: mono/strip or bidirectional "
                                                          "transmitters."),
                                           QStringLiteral("strip|bidi"));

    // The options of "program" exist only after that command word.
    const QStringList argomenti = QCoreApplication::arguments();
    parser.parse(argomenti);
    const QString comando = parser.positionalArguments().value(0);
    if (comando == QLatin1String("program"))
        parser.addOptions({codice, frequenza, rele, impulsi, toni, uscite, trasmettitori});
    const bool analizzato = parser.parse(argomenti);
    const QStringList posizionali = parser.positionalArguments();
    if (parser.isSet(aiuto))
        parser.showHelp(0);
    if (parser.isSet(versione))
        parser.showVersion();
    if (!analizzato)
        return uso(parser.errorText());
    if (comando.isEmpty())
        return uso(QStringLiteral("no command given"));

    if (comando == QLatin1String("ports")) {
        if (posizionali.size() > 1)
            return uso(QStringLiteral("unexpected argument \"%1\"").arg(posizionali.at(1)));
        return elenca_porte();
    }

    M5ctl m5ctl;
    Collegamento &collegamento = m5ctl.collegamento();
    if (parser.isSet(porta) && parser.isSet(com))
        return uso(QStringLiteral("--port and --com exclude each other"));
    if (parser.isSet(porta)) {
        if (parser.value(porta).isEmpty())
            return uso(QStringLiteral("--port: empty path"));
        collegamento.porta().mappa(PortaSeriale::PRIMA, parser.value(porta));
    }
    if (parser.isSet(com)) {
        bool ok = false;
        const int numero = parser.value(com).toInt(&ok);
        if (!ok || numero < PortaSeriale::PRIMA || numero > PortaSeriale::ULTIMA)
            return uso(QStringLiteral("--com: expected 1 to 8, got \"%1\"").arg(parser.value(com)));
        collegamento.porta().imposta_numero(numero);
    }
    if (parser.isSet(attesa)) {
        bool ok = false;
        const double secondi = parser.value(attesa).toDouble(&ok);
        if (!ok || !std::isfinite(secondi) || secondi < 0 || secondi * 1000 > INT_MAX)
            return uso(
                QStringLiteral("--wait: expected seconds, got \"%1\"").arg(parser.value(attesa)));
        collegamento.imposta_limite_attesa(static_cast<int>(std::lround(secondi * 1000)));
    }

    if (comando == QLatin1String("read")) {
        if (posizionali.size() > 1)
            return uso(QStringLiteral("unexpected argument \"%1\"").arg(posizionali.at(1)));
        return m5ctl.leggi();
    }
    if (comando == QLatin1String("init")) {
        const QString banda = posizionali.value(1);
        if (posizionali.size() != 2 ||
            (banda != QLatin1String("uhf") && banda != QLatin1String("vhf")))
            return uso(QStringLiteral("init takes one band: uhf or vhf"));
        return m5ctl.inizializza(banda == QLatin1String("uhf") ? Banda::UHF : Banda::VHF);
    }
    if (comando == QLatin1String("program")) {
        if (posizionali.size() > 1)
            return uso(QStringLiteral("unexpected argument \"%1\"").arg(posizionali.at(1)));
        M5ctl::Modifiche modifiche;
        const std::pair<const QCommandLineOption &, std::optional<QString> &> testi[] = {
            {codice, modifiche.codice},
            {frequenza, modifiche.frequenza},
            {rele, modifiche.rele},
            {impulsi, modifiche.impulsi},
        };
        for (const auto &[opzione, valore] : testi) {
            if (parser.isSet(opzione))
                valore = parser.value(opzione);
        }
        struct Gruppo
        {
            const QCommandLineOption &opzione;
            std::optional<Opzione> &scelta;
            const char *zero;
            Opzione opzione_zero;
            const char *uno;
            Opzione opzione_uno;
        };
        const Gruppo gruppi[] = {
            {toni, modifiche.toni, "alti", Opzione::ToniAlti, "bassi", Opzione::ToniBassi},
            {uscite, modifiche.uscite, "mem", Opzione::Memo, "imp", Opzione::Imp},
            {trasmettitori, modifiche.trasmettitori, "strip", Opzione::Strip, "bidi",
             Opzione::Bidi},
        };
        for (const Gruppo &g : gruppi) {
            if (!parser.isSet(g.opzione))
                continue;
            g.scelta =
                scelta(parser.value(g.opzione), g.zero, g.opzione_zero, g.uno, g.opzione_uno);
            if (!g.scelta)
                return uso(QStringLiteral("--%1: expected %2 or %3, got \"%4\"")
                               .arg(g.opzione.names().constFirst(), QLatin1String(g.zero),
                                    QLatin1String(g.uno), parser.value(g.opzione)));
        }
        return m5ctl.programma(modifiche);
    }
    return uso(QStringLiteral("unknown command \"%1\"").arg(comando));
}
