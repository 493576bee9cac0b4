// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the cycles on the jobs: each cycle's folder, simulators, m5ctl, judge and report.
#include "soak.h"

#include "segnali.h"
#include "simulatore_soak.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int AVANZAMENTO = 1000;

QString per_shell(const QString &parola)
{
    static const QString sicuri = QStringLiteral("-_./=,:+@%");
    bool semplice = !parola.isEmpty();
    for (const QChar c : parola)
        semplice = semplice && (c.isLetterOrNumber() || sicuri.contains(c));
    if (semplice)
        return parola;
    QString q = parola;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString riga_comando(const QString &programma, const QStringList &argomenti)
{
    QStringList parole{per_shell(programma)};
    for (const QString &a : argomenti)
        parole << per_shell(a);
    return parole.join(QLatin1Char(' '));
}

QString nuova_cartella()
{
    QByteArray modello = QFile::encodeName(QDir::tempPath() + QStringLiteral("/m5soak-XXXXXX"));
    return ::mkdtemp(modello.data()) ? QFile::decodeName(modello) : QString();
}

bool scrivi(const QString &percorso, const QByteArray &dati)
{
    QFile f(percorso);
    return f.open(QIODevice::WriteOnly) && f.write(dati) == dati.size();
}

QByteArray leggi(const QString &percorso)
{
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int apri_scrittura(const QString &percorso)
{
    return ::open(QFile::encodeName(percorso).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                  0644);
}
} // namespace

Soak::Soak(const OpzioniSoak &opzioni) : m_o(opzioni), m_bilancio(opzioni.giudica_cpu) {}

int Soak::esegui()
{
    QElapsedTimer orologio;
    orologio.start();
    if (m_o.solo_ciclo > 0) {
        ciclo(m_o.solo_ciclo);
    } else {
        std::vector<std::thread> lavori;
        for (int i = 0; i < m_o.lavori; ++i)
            lavori.emplace_back([this] { lavora(); });
        for (std::thread &t : lavori)
            t.join();
    }
    m_bilancio.stampa(stdout, orologio.elapsed() / 1000.0, m_o.lavori, m_o.seme);
    return m_bilancio.violazioni() == 0 ? 0 : 1;
}

void Soak::lavora()
{
    for (int k = m_prossimo++; k <= m_o.cicli && !Segnali::ricevuto(); k = m_prossimo++) {
        ciclo(k);
        if (k % AVANZAMENTO == 0)
            std::fprintf(stderr, "m5soak: at cycle %d of %d, %d violations so far\n", k, m_o.cicli,
                         m_bilancio.violazioni());
    }
}

EsitoCtl Soak::esegui_ctl(const PianoCiclo &p, const QString &cartella,
                          const QStringList &argomenti)
{
    EsitoCtl ctl;
    const QString file_uscita_standard = cartella + QStringLiteral("/m5ctl.out");
    const QString errori = cartella + QStringLiteral("/m5ctl.err");
    const int fd_uscita_standard = apri_scrittura(file_uscita_standard);
    const int fd_errori = apri_scrittura(errori);
    Processo processo;
    ctl.avviato =
        fd_uscita_standard >= 0 && fd_errori >= 0 &&
        processo.avvia(m_o.m5ctl, argomenti, {Processo::NULLO, fd_uscita_standard, fd_errori});
    ::close(fd_uscita_standard);
    ::close(fd_errori);
    if (ctl.avviato && !processo.attendi(p.limite_ms)) {
        ctl.oltre_limite = true;
        processo.segnala(SIGKILL);
        processo.attendi(-1);
    }
    ctl.fine = processo.fine();
    ctl.uscita_standard = leggi(file_uscita_standard);
    ctl.errori = leggi(errori);
    return ctl;
}

void Soak::ciclo(int k)
{
    QElapsedTimer orologio;
    orologio.start();
    const QString cartella = nuova_cartella();
    const PianoCiclo p = Piano::estrai(m_o.seme, k, cartella);
    for (const auto &[nome, dati] : p.file)
        scrivi(cartella + QLatin1Char('/') + nome, dati);

    std::vector<std::unique_ptr<SimulatoreSoak>> simulatori;
    std::vector<EsitoPorta> porte(p.porte.size());
    QStringList argomenti;
    bool avviati = true;
    for (std::size_t i = 0; i < p.porte.size(); ++i) {
        simulatori.push_back(std::make_unique<SimulatoreSoak>(
            m_o.m5sim, cartella, static_cast<int>(i) + 1, p.porte[i].argomenti));
        porte[i].piano = &p.porte[i];
        porte[i].collegamento = simulatori[i]->collegamento();
        avviati = simulatori[i]->avvia(porte[i].errore_avvio) && avviati;
        argomenti << QStringLiteral("--port") << porte[i].collegamento;
    }
    argomenti += p.argomenti;
    const EsitoCtl ctl = avviati ? esegui_ctl(p, cartella, argomenti) : EsitoCtl{};
    for (std::size_t i = 0; i < p.porte.size(); ++i) {
        porte[i].fermato = simulatori[i]->ferma();
        porte[i].fine = simulatori[i]->fine();
        porte[i].traccia = simulatori[i]->traccia();
        porte[i].riepilogo = simulatori[i]->riepilogo();
    }
    const Giudice giudice(p, porte, ctl);
    const int esito = ctl.fine.finito && ctl.fine.segnale == 0 ? ctl.fine.esito : -1;
    m_bilancio.registra(p, esito, ctl.fine.secondi, ctl.fine.cpu_secondi,
                        orologio.elapsed() / 1000.0, giudice.violazioni());
    riporta(p, cartella, simulatori, argomenti, ctl, giudice.violazioni());
    if (giudice.violazioni().empty() && !m_o.conserva)
        QDir(cartella).removeRecursively();
}

void Soak::riporta(const PianoCiclo &p, const QString &cartella,
                   const std::vector<std::unique_ptr<SimulatoreSoak>> &simulatori,
                   const QStringList &argomenti_ctl, const EsitoCtl &ctl,
                   const std::vector<Violazione> &violazioni)
{
    if (violazioni.empty() && !m_o.dettagli)
        return;
    const QMutexLocker serratura(&m_stampa);
    const QString testa =
        QStringLiteral("cycle %1 [%2, %3]")
            .arg(p.ciclo)
            .arg(QLatin1String(p.tipo().nome), QLatin1String(Piano::nome_forma(p.forma)));
    if (violazioni.empty()) {
        std::printf("%s: exit %d in %.3f s, CPU %.3f s\n", qPrintable(testa), ctl.fine.esito,
                    ctl.fine.secondi, ctl.fine.cpu_secondi);
        std::fflush(stdout);
        return;
    }
    for (const Violazione &v : violazioni)
        std::printf("VIOLATION %s %s: %s\n", qPrintable(testa), qPrintable(v.tipo),
                    qPrintable(v.testo));
    std::printf("  replay: %s\n",
                qPrintable(riga_comando(m_o.se_stesso,
                                        {QStringLiteral("--seed"), QString::number(m_o.seme),
                                         QStringLiteral("--cycle"), QString::number(p.ciclo)})));
    for (const auto &s : simulatori)
        std::printf("  m5sim: %s &\n", qPrintable(riga_comando(m_o.m5sim, s->argomenti())));
    std::printf("  m5ctl: %s  (exit %d, %.3f s; files kept in %s)\n",
                qPrintable(riga_comando(m_o.m5ctl, argomenti_ctl)), ctl.fine.esito,
                ctl.fine.secondi, qPrintable(cartella));
    std::fflush(stdout);
}
