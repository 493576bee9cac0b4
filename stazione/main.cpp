// SPDX-License-Identifier: GPL-3.0-or-later
// m5stazione: a programming station of up to 16 ports, hands-free.
#include "avvio_banco.h"
#include "avvio_grafico.h"
#include "banco.h"
#include "etichettatrice.h"
#include "finestra_stazione.h"
#include "lingua.h"
#include "opzioni_stazione.h"
#include "segnali.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

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

// Nobody at the station reads a terminal: a refusal says what to do, in the
// window's language on screen and in English on stderr for scripts and logs.
struct Rifiuto
{
    int esito;
    QString testo;    // English, for stderr
    QString finestra; // the window's language; empty: stderr alone
};

void scrivi_errore(const QString &testo)
{
    std::fprintf(stderr, "m5stazione: %s\n", qPrintable(testo));
    std::fflush(stderr);
}

int rifiuta(const Rifiuto &r)
{
    scrivi_errore(r.testo);
    if (!r.finestra.isEmpty() && schermo_visibile())
        QMessageBox::critical(nullptr, QStringLiteral("m5stazione"), r.finestra);
    return r.esito;
}

Rifiuto file_profilo_rifiutato(const QString &file, const ErroreValore &e, bool chiesto)
{
    const QFileInfo info(file);
    QString danno;
    if (!info.exists())
        danno = QApplication::translate("main", "Il file dell'unità %1 non esiste.").arg(file);
    else if (!info.isReadable())
        danno = QApplication::translate(
                    "main", "Il file dell'unità %1 non si può leggere: mancano i permessi.")
                    .arg(file);
    else
        danno = QApplication::translate("main", "Il file dell'unità %1 non va bene: %2.")
                    .arg(file, e.messaggio);
    return {e.esito,
            QStringLiteral("%1%2: %3; read one from a good unit with m5ctl read -o FILE, or "
                           "give another")
                .arg(chiesto ? QString() : QStringLiteral("--from "), file, e.messaggio),
            danno + QLatin1Char('\n') +
                QApplication::translate(
                    "main", "Leggerne uno da un'unità buona con \"m5ctl read -o FILE\", oppure "
                            "sceglierne un altro, poi riavviare la stazione.")};
}

// The unit file of --from, or one asked for, and the plan of the options.
std::optional<Profilo> carica_profilo(const OpzioniStazione &o, QString &file, int &esito)
{
    const bool chiesto = file.isEmpty();
    if (chiesto)
        file = QFileDialog::getOpenFileName(nullptr,
                                            QApplication::translate("main", "Il file dell'unità"),
                                            QString(), QStringLiteral("*.json"));
    if (file.isEmpty()) {
        esito = rifiuta({esiti::USO,
                         QStringLiteral("no unit file chosen; give --from FILE (m5ctl read -o "
                                        "FILE makes one)"),
                         {}});
        return std::nullopt;
    }
    auto letto = file_unita::carica(file);
    if (auto *e = std::get_if<ErroreValore>(&letto)) {
        esito = rifiuta(file_profilo_rifiutato(file, *e, chiesto));
        return std::nullopt;
    }
    Profilo profilo;
    profilo.contenuto = std::get<file_unita::Contenuto>(letto);
    profilo.verifica = o.verifica;
    profilo.piano = o.piano;
    profilo.origine_piano = o.origine_piano;
    return profilo;
}

// Opened here, on the main thread, before anything starts: printers are
// looked up with the GUI's help. Each unit's label is then made on the
// core's thread.
std::optional<Rifiuto> apri_etichette(Banco &banco, const OpzioniStazione &o)
{
    if (o.etichette.isEmpty())
        return std::nullopt;
    auto aperta = Etichettatrice::apri(o.etichette, o.misura_etichette);
    if (const auto *e = std::get_if<QString>(&aperta))
        return Rifiuto{esiti::USO, *e,
                       QApplication::translate(
                           "main", "Le etichette non si possono stampare: %1\nIndicare un'altra "
                                   "stampante o cartella con --etichette, poi riavviare la "
                                   "stazione.")
                           .arg(*e)};
    banco.imposta_etichette([etichettatrice = std::get<Etichettatrice>(std::move(aperta))](
                                const Resoconto &r, const QString &piano, const QString &profilo,
                                const QString &stazione) {
        return etichettatrice.stampa(etichetta_di(r, piano, profilo, stazione));
    });
    return std::nullopt;
}

// A damaged station file was kept aside: the worker is told, the station goes on.
void avvisa_posti(const avvio_banco::Posti &posti, const QString &file, QWidget *finestra)
{
    QString testo;
    if (!posti.danno.isEmpty()) {
        scrivi_errore(QStringLiteral("warning: station file %1: %2; kept aside as %3; started "
                                     "with one slot per serial port present (%4)")
                          .arg(file, posti.danno, posti.messo_da_parte)
                          .arg(posti.elenco.size()));
        testo = QApplication::translate(
                    "main", "Il file della stazione era danneggiato (%1) ed è stato messo da parte "
                            "come %2.\nLa stazione parte con un posto per ogni porta seriale "
                            "presente: controllarli in Stazione → Impostazioni.")
                    .arg(posti.danno, posti.messo_da_parte);
    } else if (posti.elenco.isEmpty()) {
        scrivi_errore(QStringLiteral("warning: no slot: no serial port present and no station "
                                     "file; plug the adapters in, then give them slots in "
                                     "Stazione > Impostazioni"));
        testo = QApplication::translate(
            "main", "Nessuna porta seriale presente e nessun posto impostato: collegare gli "
                    "adattatori, poi assegnarli ai posti in Stazione → Impostazioni.");
    }
    if (testo.isEmpty() || !schermo_visibile())
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, finestra->windowTitle(), testo,
                                QMessageBox::Ok, finestra);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// The log opened once, before the core's thread starts; a warning goes to stderr.
std::optional<Rifiuto> apri_registro(Banco &banco, const QString &registro)
{
    QString motivo;
    QString avviso;
    if (!banco.apri_registro(registro, motivo, avviso))
        return Rifiuto{esiti::PORTA,
                       QStringLiteral("--log %1: %2; free the disk or mend the folder's "
                                      "permissions, or give another file with --log")
                           .arg(registro, motivo),
                       QApplication::translate(
                           "main", "Il registro %1 non si può aprire: %2.\nLiberare spazio sul "
                                   "disco o correggere i permessi della cartella, oppure indicare "
                                   "un altro file con --log, poi riavviare la stazione.")
                           .arg(registro, motivo)};
    if (!avviso.isEmpty())
        scrivi_errore(QStringLiteral("warning: --log %1: %2").arg(registro, avviso));
    return std::nullopt;
}

// The core set up before its thread starts: labels, log, profile, slots and archive.
std::optional<Rifiuto> prepara_banco(Banco &banco, const OpzioniStazione &o, const Profilo &profilo,
                                     const QList<PostoConfigurato> &posti, const QString &archivio)
{
    if (auto rifiuto = apri_etichette(banco, o))
        return rifiuto;
    if (auto rifiuto = apri_registro(
            banco, o.registro.isEmpty() ? avvio_banco::registro_predefinito() : o.registro))
        return rifiuto;
    banco.imposta(profilo, posti);
    banco.imposta_archivio(archivio);
    return std::nullopt;
}

int esegui(QApplication &app, OpzioniStazione o)
{
    int esito = 0;
    auto profilo = carica_profilo(o, o.da_file, esito);
    if (!profilo)
        return esito;
    const QString file_stazione = file_stazione::percorso_predefinito();
    const auto posti = avvio_banco::posti(o.posti, file_stazione);
    if (auto *e = std::get_if<ErroreValore>(&posti))
        return rifiuta({e->esito, e->messaggio,
                        QApplication::translate(
                            "main", "Il file della stazione %1 è danneggiato e non si può mettere "
                                    "da parte: %2.\nSpostarlo o correggerlo, poi riavviare la "
                                    "stazione.")
                            .arg(file_stazione, e->messaggio)});
    const auto &elenco = std::get<avvio_banco::Posti>(posti).elenco;
    // The command line's archive wins over the station file's.
    const QString archivio =
        o.archivio.isEmpty() ? std::get<avvio_banco::Posti>(posti).archivio : o.archivio;

    // The core and its ports on a thread of their own: a display that stalls,
    // a modal dialog or a slow file chooser costs the slots nothing.
    auto *banco = new Banco({QSysInfo::machineHostName(), avvio_banco::operatore(o.operatore)},
                            file_stazione);
    if (auto rifiuto = prepara_banco(*banco, o, *profilo, elenco, archivio)) {
        delete banco;
        return rifiuta(*rifiuto);
    }
    QThread filo;
    filo.setObjectName(QStringLiteral("banco"));
    banco->moveToThread(&filo);
    QObject::connect(&filo, &QThread::finished, banco, &QObject::deleteLater);
    filo.start();

    FinestraStazione finestra(*banco, *profilo, elenco, o.muto);
    finestra.imposta_file_profilo(o.da_file);
    finestra.imposta_archivio(archivio);
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
    avvisa_posti(std::get<avvio_banco::Posti>(posti), file_stazione, &finestra);
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
        return rifiuta({e->esito, e->messaggio + QStringLiteral(" (see m5stazione --help)"), {}});
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
    lingua::carica(*applicazione, QLocale());
    return esegui(*applicazione, o);
}
