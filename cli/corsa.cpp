// SPDX-License-Identifier: GPL-3.0-or-later
#include "corsa.h"

#include "distributore.h"
#include "etichettatrice.h"
#include "file_unita.h"

#include "segnali.h"
#include "traccia.h"
#include "uscita_standard.h"

#include <QEventLoop>
#include <QSysInfo>

#include <cstdio>
#include <unistd.h>

Corsa::Corsa(const Argomenti &argomenti, const QList<Destinazione> &porte, const Incarico &incarico,
             Registro *registro, Traccia *traccia, Distributore *distributore,
             const Etichettatrice *etichettatrice)
    : m_a(argomenti), m_traccia(traccia), m_linea(incarico),
      m_terminale(::isatty(STDERR_FILENO) == 1)
{
    for (const Destinazione &d : porte)
        m_linea.aggiungi(d.percorso, d.com);
    m_linea.imposta_unita(m_a.ripetizioni.value_or(1));
    m_linea.imposta_silenzio(m_a.silenzio_ms);
    m_linea.imposta_traccia(traccia);
    m_linea.imposta_registro(registro, QStringLiteral("--log ") + m_a.registro);
    if (distributore)
        m_linea.imposta_distributore(distributore);
    if (etichettatrice) {
        const QString piano = distributore ? distributore->impronta() : QString();
        const QString profilo = file_unita::impronta(incarico.richiesti, incarico.banda_richiesti);
        m_linea.imposta_etichette([etichettatrice, piano, profilo](const Resoconto &r) {
            return etichettatrice->stampa(
                etichetta_di(r, piano, profilo, QSysInfo::machineHostName()));
        });
    }
}

int Corsa::esegui()
{
    Segnali segnali;
    QEventLoop ciclo;
    QObject::connect(&segnali, &Segnali::interruzione, &m_linea, &Linea::interrompi);
    QObject::connect(&m_linea, &Linea::unita_registrata, &m_linea,
                     [this](Posto *, const Resoconto &r) { registrata(r); });
    if (m_terminale)
        QObject::connect(&m_linea, &Linea::unita_da_togliere, &m_linea,
                         [this](Posto *posto, int numero) { non_tolta(posto, numero); });
    QObject::connect(&m_linea, &Linea::conclusa, &ciclo, &QEventLoop::quit, Qt::QueuedConnection);
    if (Segnali::ricevuto())
        m_linea.interrompi();
    m_linea.avvia();
    ciclo.exec();
    return riepilogo();
}

int Corsa::riepilogo() const
{
    const int primo = m_linea.primo_fallimento();
    const int unita = m_linea.conti().unita;
    // --repeat 0 ends only with Ctrl-C: that is its normal end.
    if (m_linea.interrotta() && m_a.ripetizioni.value_or(1) != 0) {
        QString riga = QStringLiteral("m5ctl: interrupted; ") + conteggi();
        if (primo != 0)
            riga += QStringLiteral("; the first failure: ") + m_linea.primo();
        std::fprintf(stderr, "%s\n", qPrintable(riga));
        return esiti::INTERROTTO;
    }
    // The plan ran out: whatever else went wrong, a new plan is what the
    // line needs first.
    if (m_linea.esaurita()) {
        std::fprintf(stderr, "m5ctl: %s\n", qPrintable(esaurimento()));
        return esiti::ESAURITI;
    }
    if (primo == 0)
        return esiti::SUCCESSO;
    const QString porte =
        m_linea.interrotta() ? QStringLiteral(" (%1)").arg(conteggi()) : QString();
    if (m_linea.fallite() > 0)
        std::fprintf(stderr, "m5ctl: %d of %d units failed%s; the first: %s\n", m_linea.fallite(),
                     unita, qPrintable(porte), qPrintable(m_linea.primo()));
    else
        std::fprintf(stderr, "m5ctl: %d %s done, then %s\n", unita, unita == 1 ? "unit" : "units",
                     qPrintable(m_linea.primo()));
    return primo;
}

// What the plan came to, and what to do.
QString Corsa::esaurimento() const
{
    const Distributore *d = m_linea.distributore();
    const DepositoCodici::Conti c = d->conti();
    QString riga = QStringLiteral("%1 %2: no code left (\"CODICI ESAURITI\") after %3 of this "
                                  "run's units, %4 OK; the plan has %5 given, %6 spent")
                       .arg(m_a.opzione_piano, d->impronta())
                       .arg(m_linea.conti().unita)
                       .arg(m_linea.conti().riuscite)
                       .arg(c.dati)
                       .arg(c.spesi + c.avviati);
    if (m_linea.primo_fallimento() != esiti::ESAURITI)
        riga += QStringLiteral("; the first failure: ") + m_linea.primo();
    return riga + QStringLiteral("; give a new plan with --codici or --codici-da");
}

// "Com 1: 3 units, 2 OK; Com 2: 0 units".
QString Corsa::conteggi() const
{
    QStringList porte;
    for (const Posto *p : m_linea.posti()) {
        const Linea::Conti c = m_linea.conti(p);
        QString testo = QStringLiteral("%1: %2 %3")
                            .arg(p->nome())
                            .arg(c.unita)
                            .arg(QLatin1String(c.unita == 1 ? "unit" : "units"));
        if (c.unita > 0)
            testo += QStringLiteral(", %1 OK").arg(c.riuscite);
        porte << testo;
    }
    return porte.join(QStringLiteral("; "));
}

// The log has the unit already: now stdout, and the terminal. An output lost
// stops the run: the units in progress end, no new one starts.
void Corsa::registrata(const Resoconto &r)
{
    const bool stampata = uscita_standard::stampa_riga(riga_unita(r));
    if (m_terminale)
        std::fprintf(stderr, "%s\n", qPrintable(riga_umana(r)));
    std::fflush(stderr);
    if (!stampata)
        m_linea.ferma(esiti::PORTA,
                      QStringLiteral("stdout: cannot write the line of %1 unit %2: %3; the run "
                                     "stopped")
                          .arg(r.porta)
                          .arg(r.numero)
                          .arg(uscita_standard::motivo()));
    else if (m_traccia && !m_traccia->errore().isEmpty())
        m_linea.ferma(esiti::PORTA,
                      QStringLiteral("--trace %1: %2; the trace is incomplete and the run stopped")
                          .arg(m_a.traccia, m_traccia->errore()));
}

// A unit swapped in less than the silence is never seen to go, and the next one
// never programmed: the worker has to hear of it.
void Corsa::non_tolta(const Posto *posto, int numero) const
{
    std::fprintf(stderr,
                 "m5ctl: %s: the line has not gone silent since unit %d ended: take the unit "
                 "out, leave the port empty for %s s, then plug in the next one\n",
                 qPrintable(posto->nome()), numero,
                 qPrintable(QString::number(m_a.silenzio_ms / 1000.0)));
    std::fflush(stderr);
}
