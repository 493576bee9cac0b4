// SPDX-License-Identifier: GPL-3.0-or-later
#include "argomenti.h"
#include "codici_corsa.h"
#include "comando_singolo.h"
#include "corsa.h"
#include "deposito_codici.h"
#include "esiti.h"
#include "etichettatrice.h"
#include "file_atomico.h"
#include "file_unita.h"
#include "lettura_registro.h"
#include "porte_sistema.h"
#include "prese.h"
#include "rapporto.h"
#include "rapporto_archivio.h"
#include "registro.h"
#include "resoconto.h"
#include "riga_json.h"
#include "statistiche.h"
#include "traccia.h"
#include "uscita_standard.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <variant>

namespace {
using Comando = Argomenti::Comando;

// The one line of a failure on stderr.
int errore(int esito, const QString &messaggio)
{
    std::fprintf(stderr, "m5ctl: %s\n", messaggio.toLocal8Bit().constData());
    std::fflush(stderr);
    return esito;
}

QString vid_pid(const PortaSistema &p)
{
    if (!p.usb())
        return QString();
    return QStringLiteral("%1:%2")
        .arg(*p.vid, 4, 16, QLatin1Char('0'))
        .arg(p.pid.value_or(0), 4, 16, QLatin1Char('0'));
}

// "Com N" is the N-th of these ports, as the window and --com count them.
int elenca_porte(bool json)
{
    if (!json && ::isatty(STDOUT_FILENO) == 1)
        uscita_standard::stampa("COM\tPATH\tDESCRIPTION\tMANUFACTURER\tVID:PID\tSERIAL\tSOCKET\n");
    int n = 0;
    for (const PortaSistema &p : porte_sistema()) {
        ++n;
        const bool com = n <= PortaSeriale::ULTIMA;
        if (json) {
            RigaJson r;
            r.aggiungi(QStringLiteral("com"), com ? QJsonValue(n) : QJsonValue(QJsonValue::Null))
                .aggiungi(QStringLiteral("percorso"), p.percorso)
                .aggiungi(QStringLiteral("descrizione"), p.descrizione)
                .aggiungi(QStringLiteral("produttore"), p.produttore)
                .aggiungi(QStringLiteral("vid_pid"), vid_pid(p))
                .aggiungi(QStringLiteral("seriale"), p.seriale)
                .aggiungi(QStringLiteral("presa"), prese::nome_presa(p.percorso));
            uscita_standard::stampa_riga(r.testo());
        } else {
            const QStringList colonne = {com ? QStringLiteral("Com %1").arg(n)
                                             : QStringLiteral("-"),
                                         p.percorso,
                                         p.descrizione,
                                         p.produttore,
                                         vid_pid(p),
                                         p.seriale,
                                         prese::nome_presa(p.percorso)};
            uscita_standard::stampa_riga(colonne.join(QLatin1Char('\t')).toLocal8Bit());
        }
    }
    return esiti::SUCCESSO;
}

std::optional<QList<Destinazione>> destinazioni(const Argomenti &a, QString &errore)
{
    QList<Destinazione> d;
    for (const QString &p : a.porte) {
        if (p != QLatin1String("auto")) {
            d.append({prese::percorso_presa(p), PortaSeriale::PRIMA});
            continue;
        }
        QString motivo;
        const auto usb = adattatore_usb(porte_sistema(), motivo);
        if (!usb) {
            errore =
                QStringLiteral("--port auto: %1; plug one in, or give --port PATH").arg(motivo);
            return std::nullopt;
        }
        d.append({usb->percorso, PortaSeriale::PRIMA});
    }
    for (const int n : a.com)
        d.append({QString(), n});
    if (d.isEmpty())
        d.append({QString(), PortaSeriale::PRIMA});
    return d;
}

// The unit file to -o FILE when the command succeeded, otherwise to stdout.
// The line of an output that could not be written; empty when all went well.
QString consegna(const Argomenti &a, const EsitoUnita &r)
{
    const QByteArray valori = file_unita::testo(r.celle_mostrate);
    if (a.uscita_su_file()) {
        QString motivo;
        if (r.esito == esiti::SUCCESSO && !file_unita::salva(a.file_uscita, valori, motivo))
            return QStringLiteral("-o %1: %2").arg(a.file_uscita, motivo);
    } else if (a.comando != Comando::Verifica && !valori.isEmpty()) {
        if (!uscita_standard::stampa_riga(valori))
            return QStringLiteral("stdout: %1; the unit file was not written whole")
                .arg(uscita_standard::motivo());
    }
    return QString();
}

Incarico incarico(const Argomenti &a, const std::optional<file_unita::Contenuto> &file)
{
    Incarico i;
    switch (a.comando) {
    case Comando::Programma:
        i.azione = Incarico::Azione::Programma;
        break;
    case Comando::Inizializza:
        i.azione = Incarico::Azione::Inizializza;
        break;
    case Comando::Verifica:
        i.azione = Incarico::Azione::Verifica;
        break;
    default:
        i.azione = Incarico::Azione::Leggi;
        break;
    }
    if (file) {
        i.richiesti = file->richiesti;
        i.banda_richiesti = file->banda;
    }
    i.richiesti.sovrapponi(a.modifiche);
    i.banda = a.banda;
    i.cambia_banda = a.cambia_banda;
    i.limite_annuncio_ms = a.attesa_ms;
    return i;
}

// The single command on one port, printed as m5ctl always has.
int comando_singolo(const Argomenti &a, const Destinazione &d, const Incarico &i,
                    Registro *registro, Traccia *traccia)
{
    const UnitaSingola u = esegui_unita_singola(d.percorso, d.com, i, traccia);
    EsitoUnita r = u.esito;
    if (registro) {
        Resoconto resoconto;
        resoconto.porta = u.porta;
        resoconto.comando = nome_comando(a.comando);
        resoconto.numero = 1;
        resoconto.esito = r;
        resoconto.ora = QDateTime::currentDateTimeUtc();
        QString motivo;
        if (!registro->registra(riga_registro(resoconto), motivo) && r.riuscita()) {
            r.esito = esiti::PORTA;
            r.messaggio = QStringLiteral("--log %1: %2").arg(a.registro, motivo);
        }
    }
    for (const QString &w : std::as_const(r.avvertimenti))
        errore(0, QStringLiteral("warning: ") + w);

    const QString persa = consegna(a, r);
    if (r.esito == esiti::DIVERSA) {
        for (const QString &riga : std::as_const(r.dettagli))
            errore(0, riga);
        return r.esito;
    }
    if (!r.riuscita())
        return errore(r.esito, r.messaggio);
    return persa.isEmpty() ? esiti::SUCCESSO : errore(esiti::PORTA, persa);
}

// A run, its labels' destination and its codes opened before any port.
int corsa(const Argomenti &a, const QList<Destinazione> &porte, const Incarico &compito,
          Registro *r, Traccia *t)
{
    std::optional<Etichettatrice> etichettatrice;
    if (!a.etichette.isEmpty()) {
        auto aperta = Etichettatrice::apri(a.etichette, a.misura_etichette);
        if (const auto *e = std::get_if<QString>(&aperta))
            return errore(esiti::USO, *e);
        etichettatrice = std::get<Etichettatrice>(std::move(aperta));
    }
    CodiciCorsa codici;
    if (a.piano || !a.archivio.isEmpty()) {
        if (const int e = codici.apri(a, static_cast<int>(porte.size())))
            return e;
    }
    Corsa corsa(a, porte, compito, r, t, codici.distributore(),
                etichettatrice ? &*etichettatrice : nullptr);
    const int esito = corsa.esegui();
    codici.chiudi();
    return esito;
}

int comando_su_unita(const Argomenti &a)
{
    if (a.uscita_su_file()) {
        if (const auto rifiuto =
                destinazione_rifiutata(QFile::encodeName(a.file_uscita).toStdString()))
            return errore(esiti::USO,
                          QStringLiteral("-o %1: %2; give the path of a file, or - for stdout")
                              .arg(a.file_uscita, QString::fromLocal8Bit(rifiuto->c_str())));
    }
    QString motivo;
    const auto porte = destinazioni(a, motivo);
    if (!porte)
        return errore(esiti::PORTA, motivo);

    std::optional<file_unita::Contenuto> file;
    if (!a.da_file.isEmpty()) {
        auto letto = file_unita::carica(a.da_file);
        if (const auto *e = std::get_if<ErroreValore>(&letto))
            return errore(e->esito, QStringLiteral("--from %1: %2").arg(a.da_file, e->messaggio));
        file = std::get<file_unita::Contenuto>(letto);
    }

    Registro registro;
    QString avviso;
    if (!a.registro.isEmpty() && !registro.apri(a.registro, motivo, avviso))
        return errore(esiti::PORTA, QStringLiteral("--log %1: %2").arg(a.registro, motivo));
    if (!avviso.isEmpty())
        errore(0, QStringLiteral("warning: --log %1: %2").arg(a.registro, avviso));
    // Before the port: a trace that cannot be written is no trace.
    Traccia traccia;
    if (!a.traccia.isEmpty() && !traccia.apri(a.traccia, motivo))
        return errore(esiti::PORTA, QStringLiteral("--trace %1: %2").arg(a.traccia, motivo));

    Registro *r = registro.aperto() ? &registro : nullptr;
    Traccia *t = traccia.aperta() ? &traccia : nullptr;
    int esito = esiti::SUCCESSO;
    const Incarico compito = incarico(a, file);
    if (!a.corsa()) {
        esito = comando_singolo(a, porte->first(), compito, r, t);
    } else {
        esito = corsa(a, *porte, compito, r, t);
    }
    if (t && !traccia.chiudi(motivo) && esito == esiti::SUCCESSO)
        return errore(
            esiti::PORTA,
            QStringLiteral("--trace %1: %2; the trace is incomplete").arg(a.traccia, motivo));
    return esito;
}

// The free codes of the plans of the log that this machine's store knows.
// A report never makes a store, and a store it cannot read costs it a
// warning, not the figures.
QHash<QString, int> liberi_nel_deposito(const Statistiche &figure)
{
    QHash<QString, int> liberi;
    const QString percorso = DepositoCodici::percorso_predefinito();
    if (figure.piani.isEmpty() || !QFileInfo(percorso).isFile())
        return liberi;
    auto aperto = DepositoCodici::apri(percorso, QString(), DepositoCodici::proprietario_per({}));
    if (const auto *e = std::get_if<QString>(&aperto)) {
        errore(0, QStringLiteral("warning: the store of codes %1: %2; no free codes shown")
                      .arg(percorso, *e));
        return liberi;
    }
    for (const CodiciPiano &p : figure.piani) {
        const DepositoCodici::Conti c = std::get<0>(aperto)->conti(p.piano);
        if (c.totale > 0)
            liberi.insert(p.piano, c.liberi);
    }
    return liberi;
}

// The factory's figures as the shared archive's server sums them up.
int rapporto_da_archivio(const Argomenti &a)
{
    const auto letto = rapporto_archivio::leggi(a.archivio);
    if (const auto *e = std::get_if<ErroreValore>(&letto))
        return errore(e->esito, e->messaggio);
    const auto &figure = std::get<rapporto_archivio::Figure>(letto);
    uscita_standard::stampa(a.csv ? rapporto_archivio::csv(figure)
                                  : rapporto_archivio::tabella(figure));
    return esiti::SUCCESSO;
}

// The log's figures, or its records as CSV, read as a stream: whatever the
// log's size, only the figures and a CSV block are held. Lines that are no
// record are skipped and told: under the table, or on stderr after the CSV.
int rapporto(const Argomenti &a)
{
    const bool da_stdin = a.registro_letto == QLatin1String("-");
    QFile file(da_stdin ? QString() : a.registro_letto);
    const bool aperto =
        da_stdin ? file.open(STDIN_FILENO, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!aperto)
        return errore(esiti::USO,
                      QStringLiteral("report %1: %2").arg(a.registro_letto, file.errorString()));
    Statistiche figure;
    // The heading waits for the first record: a file that is no log prints nothing.
    QByteArray csv;
    bool intestato = false;
    const RigheScartate scartate = scorri_registro(
        file,
        [&](const RecordRegistro &r, const QByteArray &riga) {
            conta_record(figure, r);
            if (!a.csv)
                return;
            if (!std::exchange(intestato, true))
                csv = rapporto::intestazione_csv();
            csv += riga;
            if (csv.size() >= 1 << 16) {
                uscita_standard::stampa(csv);
                csv.clear();
            }
        },
        a.csv, a.csv ? Testo(rapporto::riga_csv) : Testo());
    if (file.error() != QFileDevice::NoError)
        return errore(esiti::USO,
                      QStringLiteral("report %1: %2").arg(a.registro_letto, file.errorString()));
    if (figure.totale.unita == 0 && !scartate.isEmpty())
        return errore(esiti::USO, QStringLiteral("report %1: no m5ctl record in it, %2; give "
                                                 "the file of --log")
                                      .arg(a.registro_letto, rapporto::scartate(scartate)));
    if (!a.csv) {
        uscita_standard::stampa(rapporto::tabella(figure, scartate, liberi_nel_deposito(figure)));
        return esiti::SUCCESSO;
    }
    uscita_standard::stampa(intestato ? csv : rapporto::intestazione_csv());
    if (!scartate.isEmpty())
        errore(0, QStringLiteral("warning: report %1: %2")
                      .arg(a.registro_letto, rapporto::scartate(scartate)));
    return esiti::SUCCESSO;
}

int esegui(const Argomenti &a)
{
    switch (a.comando) {
    case Comando::Aiuto:
        uscita_standard::stampa(TESTO_AIUTO);
        return esiti::SUCCESSO;
    case Comando::Versione:
        uscita_standard::stampa_riga(QByteArrayLiteral("m5ctl " M5CTL_VERSIONE));
        return esiti::SUCCESSO;
    case Comando::Porte:
        return elenca_porte(a.json);
    case Comando::Rapporto:
        return a.archivio.isEmpty() ? rapporto(a) : rapporto_da_archivio(a);
    default:
        return comando_su_unita(a);
    }
}
} // namespace

int main(int argc, char *argv[])
{
    // Qt's own event dispatcher wakes sooner than GLib's for each byte of a
    // dialogue, and m5ctl has nothing that needs GLib's main loop.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // Labels are drawn with Qt's fonts, which want a GUI application; no
    // display is needed for them.
    bool etichette = false;
    for (int i = 1; i < argc; ++i)
        etichette = etichette || std::strncmp(argv[i], "--etichette", 11) == 0;
    if (etichette && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A GUI application's note on a missing XDG_RUNTIME_DIR is no line of m5ctl's.
    static QtMessageHandler di_qt = nullptr;
    if (etichette)
        di_qt = qInstallMessageHandler(
            [](QtMsgType tipo, const QMessageLogContext &contesto, const QString &testo) {
                if (testo.startsWith(QLatin1String("QStandardPaths:")))
                    return;
                if (di_qt)
                    di_qt(tipo, contesto, testo);
                else
                    std::fprintf(stderr, "%s\n", qPrintable(testo));
            });
    std::unique_ptr<QCoreApplication> applicazione(etichette ? new QGuiApplication(argc, argv)
                                                             : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("m5ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(M5CTL_VERSIONE));

    const auto analisi = analizza_argomenti(QCoreApplication::arguments());
    if (const auto *e = std::get_if<ErroreArgomenti>(&analisi))
        return errore(e->esito, e->esito == esiti::USO
                                    ? e->messaggio + QStringLiteral(" (see m5ctl --help)")
                                    : e->messaggio);
    const int esito = esegui(std::get<Argomenti>(analisi));
    // What was printed must have reached its file: a full disk is no success.
    if (!uscita_standard::chiudi() && esito == esiti::SUCCESSO)
        return errore(esiti::PORTA, QStringLiteral("stdout: %1").arg(uscita_standard::motivo()));
    return esito;
}
