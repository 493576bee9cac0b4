// SPDX-License-Identifier: GPL-3.0-or-later
#include "codici_corsa.h"

#include "esiti.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {
// How long a run waits for a first word from the archive before it goes on
// from what the store of this machine holds.
constexpr int PRIMO_CONTATTO_MS = 10000;
// How long the end of a run waits to deliver what it did.
constexpr int CONSEGNA_FINALE_MS = 15000;

int errore(int esito, const QString &messaggio)
{
    std::fprintf(stderr, "m5ctl: %s\n", messaggio.toLocal8Bit().constData());
    std::fflush(stderr);
    return esito;
}
} // namespace

int CodiciCorsa::apri(const Argomenti &a, int porte)
{
    const QString nome = a.archivio.isEmpty() ? a.opzione_piano : QStringLiteral("--archivio");
    auto aperti = CodiciProcesso::apri(a.piano, a.archivio, a.registro, porte);
    if (const auto *e = std::get_if<QString>(&aperti))
        return errore(esiti::PORTA, QStringLiteral("%1: %2; mend it, or set XDG_DATA_HOME to "
                                                   "another folder")
                                        .arg(nome, *e));
    m_codici = std::move(std::get<CodiciProcesso>(aperti));
    if (const int n = m_codici.spesi_alla_ripresa)
        errore(0, QStringLiteral("warning: %1: %2 %3 taken by the run before this one on --log "
                                 "%4 and never settled: counted as spent")
                      .arg(nome)
                      .arg(n)
                      .arg(QLatin1String(n == 1 ? "code" : "codes"))
                      .arg(a.registro));
    if (!m_codici.archivio)
        return esiti::SUCCESSO;
    QObject::connect(m_codici.archivio.get(), &ArchivioCondiviso::avviso, m_codici.archivio.get(),
                     [](const QString &testo) { errore(0, QStringLiteral("warning: ") + testo); });
    return attendi_archivio(a);
}

int CodiciCorsa::attendi_archivio(const Argomenti &a)
{
    QEventLoop ciclo;
    QString rifiuto;
    QTimer limite;
    limite.setSingleShot(true);
    QObject::connect(&limite, &QTimer::timeout, &ciclo, &QEventLoop::quit);
    QObject::connect(m_codici.archivio.get(), &ArchivioCondiviso::rifiutato, &ciclo,
                     [&](const QString &motivo) {
                         rifiuto = motivo;
                         ciclo.quit();
                     });
    // Ready once it has said how many codes are free, or that it is away.
    QObject::connect(m_codici.archivio.get(), &ArchivioCondiviso::stato_cambiato, &ciclo,
                     [&](const Corriere::Stato &s) {
                         if ((s.connesso && (s.liberi || !a.piano)) || s.offline_da.isValid())
                             ciclo.quit();
                     });
    limite.start(PRIMO_CONTATTO_MS);
    m_codici.archivio->avvia();
    ciclo.exec();
    if (!rifiuto.isEmpty())
        return errore(esiti::ARCHIVIO,
                      QStringLiteral("--archivio: %1; nothing was started").arg(rifiuto));
    if (!m_codici.archivio->stato().connesso)
        errore(0, QStringLiteral("warning: --archivio: the archive %1 does not answer; working "
                                 "from this machine's reserve, records wait for it")
                      .arg(m_codici.archivio->chiave()));
    return esiti::SUCCESSO;
}

void CodiciCorsa::chiudi()
{
    if (!m_codici.archivio)
        return;
    QEventLoop ciclo;
    QTimer::singleShot(CONSEGNA_FINALE_MS, &ciclo, &QEventLoop::quit);
    QObject::connect(m_codici.archivio.get(), &ArchivioCondiviso::fermato, &ciclo,
                     &QEventLoop::quit);
    m_codici.archivio->ferma();
    ciclo.exec();
    if (const int n = m_codici.archivio->stato().in_attesa)
        errore(0, QStringLiteral("warning: --archivio: %1 %2 wait for the archive %3 in %4; the "
                                 "next run on this machine with this archive delivers them")
                      .arg(n)
                      .arg(QLatin1String(n == 1 ? "record" : "records"))
                      .arg(m_codici.archivio->chiave(), DepositoCodici::percorso_predefinito()));
}
