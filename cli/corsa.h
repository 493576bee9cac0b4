// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "argomenti.h"
#include "file_unita.h"
#include "resoconto.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class Postazione;
class Registro;
class Traccia;

// A port as the command line names it.
struct Destinazione
{
    QString percorso; // empty: "Com com" under its system name
    int com = PortaSeriale::PRIMA;
};

// Runs the command on each unit of each port: one thread with its own event
// loop per port, so that a wait on one never holds up another, and one unit
// after the other on each port, each recorded as it ends.
class Corsa
{
public:
    Corsa(const Argomenti &argomenti, const QList<Destinazione> &porte,
          const std::optional<file_unita::Contenuto> &file, Registro *registro, Traccia *traccia);
    ~Corsa();

    // Until every port has run its units, or Ctrl-C. The run's exit status.
    int esegui();

    // One unit of the command on a port; also the single command of m5ctl.
    static EsitoUnita una_unita(Postazione &p, const Argomenti &a,
                                const std::optional<file_unita::Contenuto> &file);

private:
    struct Porta;

    void lavora(Porta &porta);
    bool registra(Porta &porta, int numero, const EsitoUnita &esito);
    void non_tolta(const Porta &porta, int numero);
    QString conteggi() const;
    // The first failure makes the run's status. With m_mutex held.
    void fallimento(int codice, const QString &descrizione);
    // An output that cannot be written: status 3, and no more units. With m_mutex held.
    bool ferma(const QString &descrizione);
    void interrompi_tutte();
    void ferma_in_attesa();

    const Argomenti &m_a;
    const std::optional<file_unita::Contenuto> &m_file;
    Registro *m_registro;
    Traccia *m_traccia;
    QList<std::shared_ptr<Porta>> m_porte;
    QMutex m_mutex;
    int m_primo_fallimento = 0;
    QString m_primo;
    int m_unita = 0;
    int m_fallite = 0;
    bool m_interrotta = false;
    std::atomic<bool> m_fermata{false};
    const bool m_terminale;
};
