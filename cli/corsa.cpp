// SPDX-License-Identifier: GPL-3.0-or-later
#include "corsa.h"

#include "postazione.h"
#include "registro.h"
#include "segnali.h"
#include "traccia.h"
#include "uscita_standard.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <cstdio>
#include <unistd.h>

namespace {
// After a unit, the line silent for no less than this: the worker is told to take it out.
constexpr int AVVISO_RIMOZIONE_MIN_MS = 5000;
} // namespace

struct Corsa::Porta
{
    Destinazione destinazione;
    QString nome;
    int unita = 0; // under m_mutex, as the two below
    int riuscite = 0;
    Postazione *postazione = nullptr; // under m_mutex: set while the thread runs it
    std::unique_ptr<QThread> filo;
};

Corsa::Corsa(const Argomenti &argomenti, const QList<Destinazione> &porte,
             const std::optional<file_unita::Contenuto> &file, Registro *registro, Traccia *traccia)
    : m_a(argomenti), m_file(file), m_registro(registro), m_traccia(traccia),
      m_terminale(::isatty(STDERR_FILENO) == 1)
{
    for (const Destinazione &d : porte) {
        auto p = std::make_shared<Porta>();
        p->destinazione = d;
        p->nome = d.percorso.isEmpty() ? QStringLiteral("Com %1").arg(d.com) : d.percorso;
        m_porte.append(p);
    }
}

Corsa::~Corsa() = default;

EsitoUnita Corsa::una_unita(Postazione &p, const Argomenti &a,
                            const std::optional<file_unita::Contenuto> &file)
{
    using Comando = Argomenti::Comando;
    Impostazioni valori;
    if (file)
        valori = file->impostazioni;
    valori.sovrapponi(a.modifiche);
    switch (a.comando) {
    case Comando::Leggi:
        return p.leggi();
    case Comando::Programma:
        return p.programma(valori, file ? std::optional<Banda>(file->banda) : std::nullopt);
    case Comando::Inizializza:
        return p.inizializza(a.banda, a.cambia_banda);
    case Comando::Verifica:
        return p.verifica(valori, file->banda);
    case Comando::Porte:
    case Comando::Rapporto:
    case Comando::Aiuto:
    case Comando::Versione:
        break;
    }
    return {};
}

int Corsa::esegui()
{
    Segnali segnali;
    QEventLoop ciclo;
    QObject::connect(&segnali, &Segnali::interruzione, &ciclo, [this] { interrompi_tutte(); });
    int in_corso = static_cast<int>(m_porte.size());
    for (const auto &p : std::as_const(m_porte)) {
        Porta *porta = p.get();
        p->filo.reset(QThread::create([this, porta] { lavora(*porta); }));
        QObject::connect(p->filo.get(), &QThread::finished, &ciclo, [&in_corso, &ciclo] {
            if (--in_corso == 0)
                ciclo.quit();
        });
        p->filo->start();
    }
    if (Segnali::ricevuto())
        interrompi_tutte();
    ciclo.exec();
    for (const auto &p : std::as_const(m_porte))
        p->filo->wait();

    const QMutexLocker blocco(&m_mutex);
    // --repeat 0 ends only with Ctrl-C: that is its normal end.
    if (m_interrotta && m_a.ripetizioni.value_or(1) != 0) {
        QString riga = QStringLiteral("m5ctl: interrupted; ") + conteggi();
        if (m_primo_fallimento != 0)
            riga += QStringLiteral("; the first failure: ") + m_primo;
        std::fprintf(stderr, "%s\n", qPrintable(riga));
        return uscita::INTERROTTO;
    }
    if (m_primo_fallimento != 0) {
        const QString porte = m_interrotta ? QStringLiteral(" (%1)").arg(conteggi()) : QString();
        if (m_fallite > 0)
            std::fprintf(stderr, "m5ctl: %d of %d units failed%s; the first: %s\n", m_fallite,
                         m_unita, qPrintable(porte), qPrintable(m_primo));
        else
            std::fprintf(stderr, "m5ctl: %d %s done, then %s\n", m_unita,
                         m_unita == 1 ? "unit" : "units", qPrintable(m_primo));
        return m_primo_fallimento;
    }
    return uscita::SUCCESSO;
}

// "Com 1: 3 units, 2 OK; Com 2: 0 units". With m_mutex held.
QString Corsa::conteggi() const
{
    QStringList porte;
    for (const auto &p : std::as_const(m_porte)) {
        QString testo = QStringLiteral("%1: %2 %3")
                            .arg(p->nome)
                            .arg(p->unita)
                            .arg(QLatin1String(p->unita == 1 ? "unit" : "units"));
        if (p->unita > 0)
            testo += QStringLiteral(", %1 OK").arg(p->riuscite);
        porte << testo;
    }
    return porte.join(QStringLiteral("; "));
}

void Corsa::lavora(Porta &porta)
{
    Postazione p(porta.destinazione.percorso, porta.destinazione.com, false);
    p.collegamento().imposta_limite_annuncio(m_a.attesa_ms);
    p.collegamento().porta().imposta_traccia(m_traccia);
    {
        const QMutexLocker blocco(&m_mutex);
        porta.postazione = &p;
        if (m_interrotta || m_fermata)
            p.collegamento().interrompi();
    }
    const int quante = m_a.ripetizioni.value_or(1);
    for (int n = 1; quante == 0 || n <= quante; ++n) {
        if (m_fermata || p.collegamento().interrotto())
            break;
        const EsitoUnita esito = una_unita(p, m_a, m_file);
        // Stopped while waiting for a unit: there was no unit.
        if (!esito.iniziata && esito.codice == uscita::INTERROTTO)
            break;
        if (!registra(porta, n, esito) || (quante != 0 && n == quante))
            break;
        QTimer avviso;
        avviso.setSingleShot(true);
        QObject::connect(&avviso, &QTimer::timeout, [this, &porta, n] { non_tolta(porta, n); });
        if (m_terminale)
            avviso.start(std::max(3 * m_a.silenzio_ms, AVVISO_RIMOZIONE_MIN_MS));
        const Collegamento::Esito via = p.collegamento().attendi_rimozione(m_a.silenzio_ms);
        avviso.stop();
        if (via == Collegamento::Esito::PortaGuasta) {
            const QMutexLocker blocco(&m_mutex);
            fallimento(uscita::PORTA, p.descrivi_porta(QStringLiteral("between units")) +
                                          QStringLiteral("; no more units on it"));
            break;
        }
        if (via != Collegamento::Esito::Riuscito)
            break;
    }
    // Between units there is no dialogue to end: just let the port go.
    p.collegamento().porta().chiudi();
    const QMutexLocker blocco(&m_mutex);
    porta.postazione = nullptr;
}

bool Corsa::registra(Porta &porta, int numero, const EsitoUnita &esito)
{
    const Resoconto r{porta.nome, nome_comando(m_a.comando), numero, esito,
                      QDateTime::currentDateTimeUtc()};

    const QMutexLocker blocco(&m_mutex);
    const bool stampata = uscita_standard::scrivi_riga(riga_unita(r));
    if (m_terminale)
        std::fprintf(stderr, "%s\n", qPrintable(riga_umana(r)));
    ++m_unita;
    ++porta.unita;
    if (esito.codice == uscita::SUCCESSO)
        ++porta.riuscite;
    if (esito.codice != uscita::SUCCESSO) {
        ++m_fallite;
        fallimento(
            esito.codice,
            QStringLiteral("%1 unit %2: %3").arg(porta.nome).arg(numero).arg(esito.messaggio));
    }

    QString errore;
    if (m_registro && !m_registro->scrivi(riga_registro(r), errore))
        return ferma(QStringLiteral("--log %1: cannot write the record of %2 unit %3: %4; the "
                                    "run stopped")
                         .arg(m_a.registro, porta.nome)
                         .arg(numero)
                         .arg(errore));
    if (!stampata)
        return ferma(QStringLiteral("stdout: cannot write the line of %1 unit %2: %3; the run "
                                    "stopped")
                         .arg(porta.nome)
                         .arg(numero)
                         .arg(uscita_standard::motivo()));
    if (m_traccia && !m_traccia->errore().isEmpty())
        return ferma(QStringLiteral("--trace %1: %2; the trace is incomplete and the run stopped")
                         .arg(m_a.traccia, m_traccia->errore()));
    std::fflush(stderr);
    return true;
}

// An output lost stops the run: the units in progress end, no new one starts.
bool Corsa::ferma(const QString &descrizione)
{
    fallimento(uscita::PORTA, descrizione);
    m_fermata = true;
    ferma_in_attesa();
    return false;
}

// A unit swapped in less than the silence is never seen to go, and the next one
// never programmed: the worker has to hear of it.
void Corsa::non_tolta(const Porta &porta, int numero)
{
    const QMutexLocker blocco(&m_mutex);
    std::fprintf(stderr,
                 "m5ctl: %s: the line has not gone silent since unit %d ended: take the unit "
                 "out, leave the port empty for %s s, then plug in the next one\n",
                 qPrintable(porta.nome), numero,
                 qPrintable(QString::number(m_a.silenzio_ms / 1000.0)));
    std::fflush(stderr);
}

void Corsa::fallimento(int codice, const QString &descrizione)
{
    if (m_primo_fallimento != 0)
        return;
    m_primo_fallimento = codice;
    m_primo = descrizione;
}

void Corsa::interrompi_tutte()
{
    const QMutexLocker blocco(&m_mutex);
    m_interrotta = true;
    for (const auto &p : std::as_const(m_porte)) {
        if (p->postazione)
            p->postazione->collegamento().interrompi();
    }
}

// The ports that are between units stop now; a unit in progress ends first.
void Corsa::ferma_in_attesa()
{
    for (const auto &p : std::as_const(m_porte)) {
        if (p->postazione && !p->postazione->in_unita())
            p->postazione->collegamento().interrompi();
    }
}
