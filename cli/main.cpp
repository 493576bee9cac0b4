// SPDX-License-Identifier: GPL-3.0-or-later
#include "argomenti.h"
#include "corsa.h"
#include "file_unita.h"
#include "porte_sistema.h"
#include "postazione.h"
#include "registro.h"
#include "resoconto.h"
#include "riga_json.h"
#include "segnali.h"
#include "traccia.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>
#include <variant>

namespace {
using Comando = Argomenti::Comando;

// The one line of a failure on stderr.
int errore(int codice, const QString &messaggio)
{
    std::fprintf(stderr, "m5ctl: %s\n", messaggio.toLocal8Bit().constData());
    std::fflush(stderr);
    return codice;
}

void stampa(const QByteArray &riga)
{
    std::fwrite(riga.constData(), 1, static_cast<size_t>(riga.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
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
        std::printf("COM\tPATH\tDESCRIPTION\tMANUFACTURER\tVID:PID\tSERIAL\n");
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
                .aggiungi(QStringLiteral("seriale"), p.seriale);
            stampa(r.testo());
        } else {
            std::printf("%s\t%s\t%s\t%s\t%s\t%s\n",
                        qPrintable(com ? QStringLiteral("Com %1").arg(n) : QStringLiteral("-")),
                        qPrintable(p.percorso), qPrintable(p.descrizione), qPrintable(p.produttore),
                        qPrintable(vid_pid(p)), qPrintable(p.seriale));
        }
    }
    std::fflush(stdout);
    return uscita::SUCCESSO;
}

std::optional<QList<Destinazione>> destinazioni(const Argomenti &a, QString &errore)
{
    QList<Destinazione> d;
    for (const QString &p : a.porte) {
        if (p != QLatin1String("auto")) {
            d.append({p, PortaSeriale::PRIMA});
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

// The single command on one port, printed as m5ctl always has.
int comando_singolo(const Argomenti &a, const Destinazione &d,
                    const std::optional<file_unita::Contenuto> &file, Registro *registro,
                    Traccia *traccia)
{
    Postazione p(d.percorso, d.com, ::isatty(STDERR_FILENO) == 1);
    p.collegamento().imposta_limite_annuncio(a.attesa_ms);
    p.collegamento().porta().imposta_traccia(traccia);
    p.avvisa_attesa(::isatty(STDERR_FILENO) == 1);
    Segnali segnali;
    QObject::connect(&segnali, &Segnali::interruzione, &p.collegamento(),
                     &Collegamento::interrompi);
    if (Segnali::ricevuto())
        return uscita::INTERROTTO;

    EsitoUnita r = Corsa::una_unita(p, a, file);
    if (registro) {
        const Resoconto resoconto{p.nome(), nome_comando(a.comando), 1, r,
                                  QDateTime::currentDateTimeUtc()};
        QString motivo;
        if (!registro->scrivi(riga_registro(resoconto), motivo) && r.codice == uscita::SUCCESSO) {
            r.codice = uscita::PORTA;
            r.messaggio = QStringLiteral("--log %1: %2").arg(a.registro, motivo);
        }
    }
    for (const QString &w : std::as_const(r.avvertimenti))
        errore(0, QStringLiteral("warning: ") + w);

    if (!a.uscita.isEmpty() && r.codice == uscita::SUCCESSO) {
        QString motivo;
        if (!file_unita::salva(a.uscita, r.valori, motivo))
            return errore(uscita::PORTA, QStringLiteral("-o %1: %2").arg(a.uscita, motivo));
    } else if (a.uscita.isEmpty() && a.comando != Comando::Verifica && !r.valori.isEmpty()) {
        stampa(r.valori);
    }
    if (r.codice == uscita::DIVERSA) {
        for (const QString &riga : std::as_const(r.dettagli))
            errore(0, riga);
        return r.codice;
    }
    return r.codice == uscita::SUCCESSO ? r.codice : errore(r.codice, r.messaggio);
}

int comando_su_unita(const Argomenti &a)
{
    QString motivo;
    const auto porte = destinazioni(a, motivo);
    if (!porte)
        return errore(uscita::PORTA, motivo);

    std::optional<file_unita::Contenuto> file;
    if (!a.da_file.isEmpty()) {
        auto letto = file_unita::leggi_file(a.da_file);
        if (const auto *e = std::get_if<file_unita::Errore>(&letto))
            return errore(e->codice, QStringLiteral("--from %1: %2").arg(a.da_file, e->messaggio));
        file = std::get<file_unita::Contenuto>(letto);
    }

    Registro registro;
    if (!a.registro.isEmpty() && !registro.apri(a.registro, motivo))
        return errore(uscita::PORTA, QStringLiteral("--log %1: %2").arg(a.registro, motivo));
    // Before the port: a trace that cannot be written is no trace.
    Traccia traccia;
    if (!a.traccia.isEmpty() && !traccia.apri(a.traccia, motivo))
        return errore(uscita::PORTA, QStringLiteral("--trace %1: %2").arg(a.traccia, motivo));

    Registro *r = registro.aperto() ? &registro : nullptr;
    Traccia *t = traccia.aperta() ? &traccia : nullptr;
    if (!a.corsa())
        return comando_singolo(a, porte->first(), file, r, t);
    Corsa corsa(a, *porte, file, r, t);
    return corsa.esegui();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("m5ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(M5CTL_VERSIONE));

    const auto analisi = analizza_argomenti(QCoreApplication::arguments());
    if (const auto *e = std::get_if<ErroreArgomenti>(&analisi))
        return errore(e->codice, e->codice == uscita::USO
                                     ? e->messaggio + QStringLiteral(" (see m5ctl --help)")
                                     : e->messaggio);
    const Argomenti &a = std::get<Argomenti>(analisi);
    switch (a.comando) {
    case Comando::Aiuto:
        std::fputs(TESTO_AIUTO, stdout);
        return uscita::SUCCESSO;
    case Comando::Versione:
        std::printf("m5ctl %s\n", M5CTL_VERSIONE);
        return uscita::SUCCESSO;
    case Comando::Porte:
        return elenca_porte(a.json);
    default:
        return comando_su_unita(a);
    }
}
