// SPDX-License-Identifier: GPL-3.0-or-later
#include "avvio_grafico.h"
#include "grafica.h"
#include "principale.h"
#include "processo_m5sim.h"
#include "segnali.h"
#include "titolo.h"
#include "traccia.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <memory>
#include <optional>

namespace {
constexpr int USO_ERRATO = 2;

struct Mappa
{
    int numero;
    QString percorso;
};

struct Opzioni
{
    QList<Mappa> mappe;
    bool demo = false;
    QString traccia;
};

const char *const DESCRIZIONE = "Configuratore per il ricevitore Quorvanta M5";

struct Parser
{
    QCommandLineParser p;
    QCommandLineOption com{QStringLiteral("com"),
                           QStringLiteral("Uses PATH as the device of \"Com N\" (e.g. "
                                          "1=/dev/ttyUSB0); PATH auto is the one USB serial "
                                          "adapter present. Repeatable."),
                           QStringLiteral("N=PATH")};
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Runs on a simulated receiver on \"Com 1\".")};
    QCommandLineOption traccia{QStringLiteral("trace"),
                               QStringLiteral("Writes every byte in and out of the port to FILE "
                                              "(\"-\": stderr), for support."),
                               QStringLiteral("FILE")};

    Parser()
    {
        p.setApplicationDescription(QString::fromLatin1(DESCRIZIONE));
        p.addHelpOption();
        p.addVersionOption();
        p.addOptions({com, demo, traccia});
    }
};

// "N=PATH", N being the number of "Com N".
bool leggi_mappa(const QString &testo, Mappa &m)
{
    const int uguale = testo.indexOf(QLatin1Char('='));
    if (uguale <= 0 || uguale == testo.size() - 1)
        return false;
    bool ok = false;
    m.numero = testo.left(uguale).toInt(&ok);
    m.percorso = testo.mid(uguale + 1);
    return ok && m.numero >= PortaSeriale::PRIMA && m.numero <= PortaSeriale::ULTIMA;
}

int errore(int esito, const QString &messaggio)
{
    std::fprintf(stderr, "m5config: %s\n", qPrintable(messaggio));
    return esito;
}

// --help and --version need no display: answered before the window system
// is touched, whatever else is on the line.
std::optional<int> solo_testo(int argc, char *argv[])
{
    bool richiesto = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        richiesto = richiesto || a == "-h" || a == "--help" || a == "--help-all" || a == "-v" ||
                    a == "--version";
    }
    if (!richiesto)
        return std::nullopt;
    QCoreApplication nucleo(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("m5config"));
    QCoreApplication::setApplicationVersion(QStringLiteral(M5_VERSIONE));
    Parser parser;
    parser.p.parse(QCoreApplication::arguments());
    if (parser.p.isSet(QStringLiteral("version")) && !parser.p.isSet(QStringLiteral("help"))) {
        std::printf("m5config %s\n", M5_VERSIONE);
        return 0;
    }
    std::fputs(qPrintable(parser.p.helpText()), stdout);
    return 0;
}

// "N=auto" needs the one USB serial adapter to be there now: said at once,
// rather than as a broken port at the first connect.
std::optional<QString> verifica_automatiche(const QList<Mappa> &mappe)
{
    for (const Mappa &m : mappe) {
        if (m.percorso != PortaSeriale::AUTOMATICA)
            continue;
        QString motivo;
        if (!adattatore_usb(porte_sistema(), motivo))
            return QStringLiteral("--com %1=auto: %2; plug one in, or give --com %1=PATH")
                .arg(m.numero)
                .arg(motivo);
    }
    return std::nullopt;
}

std::optional<Opzioni> interpreta_opzioni(const QApplication &app, int &esito)
{
    Parser parser;
    parser.p.process(app);
    Opzioni o;
    for (const QString &v : parser.p.values(parser.com)) {
        Mappa m;
        if (!leggi_mappa(v, m)) {
            esito = errore(USO_ERRATO,
                           QStringLiteral("--com expects N=PATH with N from 1 to 8: %1").arg(v));
            return std::nullopt;
        }
        o.mappe.append(m);
    }
    if (const auto e = verifica_automatiche(o.mappe)) {
        esito = errore(USO_ERRATO, *e);
        return std::nullopt;
    }
    o.demo = parser.p.isSet(parser.demo);
    o.traccia = parser.p.value(parser.traccia);
    return o;
}

// The simulated receiver of --demo, paced like a real 2400 baud line. Its
// cells survive between runs; it ends with this program, however it ends.
std::unique_ptr<ProcessoM5sim> avvia_simulatore(QString &percorso)
{
    const QString stato = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(stato);
    auto sim = std::make_unique<ProcessoM5sim>(
        QCoreApplication::applicationDirPath() + QStringLiteral("/m5sim"),
        QStringList{QStringLiteral("--baud"), QStringLiteral("2400"), QStringLiteral("--eeprom"),
                    stato + QStringLiteral("/m5sim.eeprom"), QStringLiteral("--exit-with-stdin")},
        ProcessoM5sim::Opzioni{ProcessoM5sim::Errori::Ereditati, QString(), true, 2000});
    QString errore;
    if (!sim->avvia(errore))
        return nullptr;
    percorso = sim->percorso();
    return sim;
}

void prepara_applicazione()
{
    // The classic style draws a frame's caption in its border, as the forms
    // were laid out for; -style still chooses another.
    if (!QCoreApplication::arguments().contains(QStringLiteral("-style")) &&
        qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        QApplication::setStyle(QStringLiteral("Windows"));
    QApplication::setApplicationName(QStringLiteral("m5config"));
    QApplication::setApplicationVersion(QStringLiteral(M5_VERSIONE));
    QApplication::setWindowIcon(icona_applicazione());
    // The program ends with the main window, not when the title form closes.
    QApplication::setQuitOnLastWindowClosed(false);
    installa_sostituti_caratteri();
}

// The main window of "Continua", on the ports and trace asked for; the
// program ends with it.
std::unique_ptr<Principale> crea_principale(const Opzioni &opzioni, Traccia &traccia)
{
    auto principale = std::make_unique<Principale>();
    for (const Mappa &m : opzioni.mappe)
        principale->collegamento().porta().mappa(m.numero, m.percorso);
    if (traccia.aperta())
        principale->collegamento().porta().imposta_traccia(&traccia);
    QObject::connect(principale.get(), &Principale::chiusa, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    return principale;
}
} // namespace

int main(int argc, char *argv[])
{
    if (const auto esito = solo_testo(argc, argv))
        return *esito;
    const auto applicazione = apri_applicazione("m5config", argc, argv);
    QApplication &app = *applicazione;
    prepara_applicazione();
    int esito = 0;
    auto opzioni = interpreta_opzioni(app, esito);
    if (!opzioni)
        return esito;

    // Before the port: a trace that cannot be written is no trace.
    Traccia traccia;
    QString motivo;
    if (!opzioni->traccia.isEmpty() && !traccia.apri(opzioni->traccia, motivo))
        return errore(USO_ERRATO, QStringLiteral("--trace %1: %2").arg(opzioni->traccia, motivo));

    // A signal ends the program as closing the window does: nothing is sent
    // to the receiver, and the port is released. Caught from before the
    // simulator starts, so that it is always stopped.
    std::unique_ptr<Principale> principale;
    Segnali segnali;
    QObject::connect(&segnali, &Segnali::interruzione, &app, [&principale] {
        if (principale)
            principale->close();
        QCoreApplication::quit();
    });

    std::unique_ptr<ProcessoM5sim> simulatore;
    if (opzioni->demo) {
        QString percorso;
        simulatore = avvia_simulatore(percorso);
        if (!simulatore)
            return errore(1, QStringLiteral("the simulated receiver did not start"));
        opzioni->mappe.append({1, percorso});
    }

    Titolo titolo;
    QObject::connect(&titolo, &Titolo::abbandonata, &app, &QCoreApplication::quit);
    QObject::connect(&titolo, &Titolo::continua, &app, [&] {
        if (principale)
            return;
        principale = crea_principale(*opzioni, traccia);
        principale->show();
    });
    titolo.show();

    const int fine = app.exec();
    if (simulatore)
        simulatore->ferma();
    return fine;
}
