#include "grafica.h"
#include "principale.h"
#include "titolo.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

namespace {
struct Mappa
{
    int numero;
    QString percorso;
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

// The simulated receiver of --demo, paced like a real 2400 baud line. Its
// cells survive between runs; it goes with us even if we are killed.
std::unique_ptr<QProcess> avvia_simulatore(QString &percorso)
{
    auto sim = std::make_unique<QProcess>();
    const QString stato = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(stato);
    sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim->start(QCoreApplication::applicationDirPath() + QStringLiteral("/m5sim"),
               {QStringLiteral("--baud"), QStringLiteral("2400"), QStringLiteral("--eeprom"),
                stato + QStringLiteral("/m5sim.eeprom"), QStringLiteral("--exit-with-stdin")});
    if (!sim->waitForStarted(5000))
        return nullptr;
    while (!sim->canReadLine()) {
        if (!sim->waitForReadyRead(5000))
            return nullptr;
    }
    percorso = QString::fromLocal8Bit(sim->readLine()).trimmed();
    return sim;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configuratore per il ricevitore Quorvanta M5"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption com(QStringLiteral("com"),
                                 QStringLiteral("Uses PATH as the device of \"Com N\" "
                                                "(e.g. 1=/dev/ttyUSB0). Repeatable."),
                                 QStringLiteral("N=PATH"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Runs on a simulated receiver on \"Com 1\"."));
    parser.addOption(com);
    parser.addOption(demo);
    parser.process(app);

    QList<Mappa> mappe;
    for (const QString &v : parser.values(com)) {
        Mappa m;
        if (!leggi_mappa(v, m)) {
            std::fprintf(stderr, "m5config: --com expects N=PATH with N from 1 to 8: %s\n",
                         qPrintable(v));
            return 2;
        }
        mappe.append(m);
    }

    std::unique_ptr<QProcess> simulatore;
    if (parser.isSet(demo)) {
        QString percorso;
        simulatore = avvia_simulatore(percorso);
        if (!simulatore) {
            std::fprintf(stderr, "m5config: the simulated receiver did not start\n");
            return 1;
        }
        mappe.append({1, percorso});
    }

    std::unique_ptr<Principale> principale;
    Titolo titolo;
    QObject::connect(&titolo, &Titolo::abbandonata, &app, &QCoreApplication::quit);
    QObject::connect(&titolo, &Titolo::continua, &app, [&] {
        if (principale)
            return;
        principale = std::make_unique<Principale>();
        for (const Mappa &m : std::as_const(mappe))
            principale->collegamento().porta().mappa(m.numero, m.percorso);
        QObject::connect(principale.get(), &Principale::chiusa, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        principale->show();
    });
    titolo.show();

    const int esito = app.exec();
    if (simulatore) {
        simulatore->terminate();
        if (!simulatore->waitForFinished(2000))
            simulatore->kill();
    }
    return esito;
}
