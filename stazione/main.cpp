// SPDX-License-Identifier: GPL-3.0-or-later
// m5stazione: a programming station of up to 16 ports, hands-free.
#include "avvio_banco.h"
#include "avvio_grafico.h"
#include "banco.h"
#include "finestra_stazione.h"
#include "opzioni_stazione.h"
#include "segnali.h"

#include <QApplication>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <optional>

namespace {
// The program is gone this long after it was told to end, whatever a port does.
constexpr int USCITA_MASSIMA_MS = 2500;

// Where nobody can see a message box, nobody can close it either: the
// program would wait for ever instead of ending with its status.
bool schermo_visibile()
{
    const QString p = QGuiApplication::platformName();
    return p != QLatin1String("offscreen") && p != QLatin1String("minimal");
}

int errore(int esito, const QString &messaggio, bool finestra)
{
    std::fprintf(stderr, "m5stazione: %s\n", qPrintable(messaggio));
    std::fflush(stderr);
    if (finestra && schermo_visibile())
        QMessageBox::critical(nullptr, QStringLiteral("m5stazione"), messaggio);
    return esito;
}

void carica_traduzione(QApplication &app)
{
    if (QLocale().language() != QLocale::English)
        return;
    auto *traduttore = new QTranslator(&app);
    if (traduttore->load(QStringLiteral(":/i18n/m5stazione_en.qm")))
        QApplication::installTranslator(traduttore);
}

// The unit file of --from, or one asked for.
std::optional<Profilo> carica_profilo(QString &file, bool verifica, int &esito)
{
    const bool chiesto = file.isEmpty();
    if (chiesto)
        file = QFileDialog::getOpenFileName(nullptr,
                                            QApplication::translate("main", "Il file dell'unità"),
                                            QString(), QStringLiteral("*.json"));
    if (file.isEmpty()) {
        esito = errore(esiti::USO,
                       QStringLiteral("no unit file chosen; give --from FILE (m5ctl read -o FILE "
                                      "makes one)"),
                       false);
        return std::nullopt;
    }
    auto letto = file_unita::carica(file);
    if (auto *e = std::get_if<ErroreValore>(&letto)) {
        esito =
            errore(e->esito,
                   QStringLiteral("%1%2: %3")
                       .arg(chiesto ? QString() : QStringLiteral("--from "), file, e->messaggio),
                   true);
        return std::nullopt;
    }
    return Profilo{std::get<file_unita::Contenuto>(letto), verifica};
}

int esegui(QApplication &app, OpzioniStazione o)
{
    int esito = 0;
    auto profilo = carica_profilo(o.da_file, o.verifica, esito);
    if (!profilo)
        return esito;
    const QString file_stazione = file_stazione::percorso_predefinito();
    const auto posti = avvio_banco::posti(o.posti, file_stazione);
    if (auto *e = std::get_if<ErroreValore>(&posti))
        return errore(e->esito, e->messaggio, true);
    const auto &elenco = std::get<QList<PostoConfigurato>>(posti);

    // The core and its ports on a thread of their own: a display that stalls,
    // a modal dialog or a slow file chooser costs the slots nothing.
    auto *banco = new Banco({QSysInfo::machineHostName(), avvio_banco::operatore(o.operatore)},
                            file_stazione);
    const QString registro =
        o.registro.isEmpty() ? avvio_banco::registro_predefinito() : o.registro;
    QString motivo;
    QString avviso;
    if (!banco->apri_registro(registro, motivo, avviso)) {
        delete banco;
        return errore(esiti::PORTA, QStringLiteral("--log %1: %2").arg(registro, motivo), true);
    }
    if (!avviso.isEmpty())
        errore(0, QStringLiteral("warning: --log %1: %2").arg(registro, avviso), false);
    banco->imposta(*profilo, elenco);
    QThread filo;
    filo.setObjectName(QStringLiteral("banco"));
    banco->moveToThread(&filo);
    QObject::connect(&filo, &QThread::finished, banco, &QObject::deleteLater);
    filo.start();

    FinestraStazione finestra(*banco, *profilo, elenco, o.muto);
    finestra.imposta_file_profilo(o.da_file);
    QObject::connect(&finestra, &FinestraStazione::chiusa, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    Segnali segnali;
    QTimer limite;
    limite.setSingleShot(true);
    QObject::connect(&limite, &QTimer::timeout, &app, &QCoreApplication::quit);
    QObject::connect(&segnali, &Segnali::interruzione, &finestra, [&finestra, &limite] {
        limite.start(USCITA_MASSIMA_MS);
        finestra.close();
    });
    finestra.mostra();
    QMetaObject::invokeMethod(banco, &Banco::avvia, Qt::QueuedConnection);
    const int fine = app.exec();
    filo.quit();
    filo.wait();
    return fine;
}
} // namespace

int main(int argc, char *argv[])
{
    QStringList argomenti;
    for (int i = 0; i < argc; ++i)
        argomenti << QString::fromLocal8Bit(argv[i]);
    // Answered before any display is touched.
    auto letto = interpreta_opzioni_stazione(argomenti);
    if (auto *e = std::get_if<ErroreValore>(&letto))
        return errore(e->esito, e->messaggio + QStringLiteral(" (see m5stazione --help)"), false);
    const OpzioniStazione o = std::get<OpzioniStazione>(letto);
    if (o.aiuto) {
        std::fputs(AIUTO_STAZIONE, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : esiti::PORTA;
    }
    if (o.versione) {
        std::printf("m5stazione %s\n", M5_VERSIONE);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : esiti::PORTA;
    }
    const auto applicazione = apri_applicazione("m5stazione", argc, argv);
    QApplication::setApplicationName(QStringLiteral("m5stazione"));
    QApplication::setApplicationVersion(QStringLiteral(M5_VERSIONE));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("m5stazione")));
    carica_traduzione(*applicazione);
    return esegui(*applicazione, o);
}
