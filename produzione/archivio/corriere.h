// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The go-between of a process and the shared archive: reserves of codes in, settled codes and
// records out.

#include "connessione_pg.h"
#include "deposito_codici.h"
#include "piano_codici.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

// Lives on a thread of its own, so that neither the slots nor a window ever
// wait on the network: the core works from the local store, which this
// keeps supplied with a reserve of codes claimed from the archive, and
// empties of what the core settled and logged, in order, as soon as the
// archive answers. Offline, the core goes on from its reserve; what it did
// meanwhile is delivered when the archive is back.
class Corriere : public QObject
{
    Q_OBJECT

public:
    // A code claimed stays this process's until its lease ends; renewed
    // while the archive answers. Only then may the archive give it again,
    // after as long again: time for a process that started it offline to
    // say so.
    static constexpr int LEASE_S = 1800;
    static constexpr int RINNOVO_MS = 300000;
    // A reserve of this many codes a slot: about three minutes of units.
    static constexpr int RISERVA_PER_POSTO = 10;
    static constexpr int RICONNESSIONE_MS = 2000;
    static constexpr int LIMITE_MS = 5000;
    static constexpr int VERSIONE_SCHEMA = 1;

    struct Impostazioni
    {
        QString indirizzo;         // libpq's connection string; never shown as it is
        QString percorso_deposito; // the local store
        QString proprietario;      // DepositoCodici::proprietario_per()
        std::optional<PianoCodici> piano;
        int riserva = RISERVA_PER_POSTO;
    };

    // The key under which the local store journals this archive: host,
    // port, database and user, never a password.
    static QString chiave(const QString &indirizzo);

    explicit Corriere(const Impostazioni &impostazioni, QObject *parent = nullptr);
    ~Corriere() override;

    struct Stato
    {
        bool connesso = false;
        QDateTime offline_da; // UTC; invalid while connected, or before the first try
        int in_attesa = 0;    // records not yet delivered
        // The plan's codes free in the archive, not counting reserves; none
        // before the archive first said.
        std::optional<int> liberi;
        // The plan's codes in the archive, by state, as it last said.
        DepositoCodici::Conti conti;
    };

public slots:
    // On the corriere's own thread: opens its connection to the local
    // store, then to the archive.
    void avvia();
    // The core settled or logged something: deliver it soon.
    void sollecita();
    // Delivers what it can within the limit, gives back the reserve not
    // started, then fermato().
    void ferma();

signals:
    void stato_cambiato(const Corriere::Stato &stato);
    // The archive refused this process: its role, its database, its schema.
    // One line; nothing should start.
    void rifiutato(const QString &motivo);
    // New codes in the local reserve, or the archive's count changed.
    void riserva_cambiata();
    // Something that went wrong but did not stop the work: one line.
    void avviso(const QString &testo);
    void fermato();

private:
    void connessa();
    void persa(const QString &motivo);
    void prepara_schema();
    void crea_schema();
    void registra_piano();
    void giro();
    void invia_codici();
    void consegna_record();
    void rifornisci();
    void conta();
    void fine_giro();
    void rinnova();
    void restituisci_riserva();
    void fallito(const RisultatoPg &r);
    void annuncia();

    Impostazioni m_impostazioni;
    QString m_chiave;
    QString m_impronta;
    std::unique_ptr<DepositoCodici> m_deposito;
    ConnessionePg *m_pg = nullptr;
    QTimer *m_riconnessione = nullptr;
    QTimer *m_rinnovo = nullptr;
    QTimer *m_pausa = nullptr;
    Stato m_stato;
    bool m_pronto = false;    // schema and plan in place
    bool m_in_giro = false;   // a round of statements is on its way
    int m_lotti = 0;          // the round's statements so far
    bool m_rifornito = false; // the round claimed codes
    QElapsedTimer m_conto;    // since the plan was last counted
    bool m_ancora = false;    // sollecita() during a round: another round after it
    bool m_fermando = false;
    bool m_avviato = false;
};

Q_DECLARE_METATYPE(Corriere::Stato)
