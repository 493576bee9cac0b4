// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The local store of code plans: which code went to which unit, shared by the processes of one
// machine.

#include "piano_codici.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <variant>

// An SQLite file that several processes open at once: every change is one
// transaction, committed to disk before the caller goes on, so a code taken
// for a unit is on record before the unit's first cell is written.
//
// Each code of a plan is, in turn:
//   libero     free: any process may take it
//   riservato  held by one process's reserve, claimed from a shared archive
//   avviato    taken for a unit that is being written
//   dato       its unit ended OK
//   speso      something was written to a unit that did not end OK, or the
//              process died with the unit half done: never given again
//
// With archivio empty the store holds whole plans and is itself the archive
// of this machine. Otherwise it journals this process's reserve of a shared
// archive, the changes still to send it, and the records still to deliver.
class DepositoCodici
{
public:
    // A code of a reserve is started only while its lease has this long
    // still to run: time for its unit, and to say so.
    static constexpr qint64 MARGINE_MS = 60000;

    enum class Saldo { Dato, Restituito, Speso };

    struct Conti
    {
        int totale = 0;
        int liberi = 0;
        int riservati = 0;
        int avviati = 0;
        int dati = 0;
        int spesi = 0;
    };

    // A code of a plan and its place in the plan's order.
    struct Voce
    {
        int posizione = 0;
        int codice = 0;
    };

    // proprietario: who takes codes (proprietario_per()).
    static std::variant<std::unique_ptr<DepositoCodici>, QString>
    apri(const QString &percorso, const QString &archivio, const QString &proprietario);
    ~DepositoCodici();
    DepositoCodici(const DepositoCodici &) = delete;
    DepositoCodici &operator=(const DepositoCodici &) = delete;

    // $XDG_DATA_HOME/m5config/codici.sqlite, for every program of the suite.
    static QString percorso_predefinito();
    // This machine, the log's absolute path and this process's PID: a
    // process started with the same log knows which of the others on it
    // are gone. Without a log, a new name each time.
    static QString proprietario_per(const QString &registro);

    QString percorso() const { return m_percorso; }
    QString proprietario() const { return m_proprietario; }
    // Codes that a run on the same log, no longer running, took for a unit
    // and never settled: counted as spent when the store was opened.
    int spesi_alla_ripresa() const { return m_spesi_alla_ripresa; }

    // The store itself: the plan's codes, free, unless it has them already.
    bool registra(const PianoCodici &piano, QString &errore);
    // The next code for a unit, in the plan's order: free ones, or with an
    // archive this process's reserve whose lease runs past adesso_ms. It is
    // avviato when this returns; nullopt with errore empty when there is none.
    std::optional<int> prendi(const QString &piano, const QString &posto, qint64 adesso_ms,
                              QString &errore);
    // A code taken ends: riga, when not empty, is the record to deliver to
    // the archive, queued in the same transaction.
    bool salda(const QString &piano, int codice, Saldo saldo, const QUuid &id,
               const QByteArray &riga, QString &errore);
    // With an archive: a record of a unit that had no code, queued for it.
    bool accoda(const QUuid &id, const QByteArray &riga, QString &errore);
    Conti conti(const QString &piano) const;
    // n codes in the state named stato, counted in c.
    static void aggiungi_conto(Conti &c, const QString &stato, int n);

    // For the archive's courier: codes claimed for this process's reserve,
    // held until scadenza_ms.
    bool aggiungi_riserva(const QString &piano, const QList<Voce> &voci, qint64 scadenza_ms,
                          QString &errore);
    // A code's state still to tell the archive.
    struct Cambio
    {
        QString piano;
        int posizione = 0;
        QString stato;
        QString record; // null: none
        QString proprietario;
        qint64 cambiato = 0;
    };
    QList<Cambio> cambi_da_inviare(int quanti, QString &errore) const;
    // The archive has them: unless they changed again meanwhile.
    bool inviati(const QList<Cambio> &cambi, QString &errore);
    // Records queued for the archive, in the order they were made.
    struct Uscita
    {
        qint64 numero = 0;
        QByteArray riga;
    };
    QList<Uscita> da_consegnare(int quanti, QString &errore) const;
    bool consegnati(qint64 fino_a, QString &errore);
    int in_attesa() const;
    // This process's reserve whose lease runs past adesso_ms.
    int riserva(const QString &piano, qint64 adesso_ms) const;
    bool rinnova_riserva(const QString &piano, qint64 scadenza_ms, QString &errore);
    // The archive took the reserve back.
    bool togli_riserva(const QString &piano, QString &errore);

private:
    DepositoCodici() = default;
    bool prepara(QString &errore);
    bool riprendi(QString &errore);
    bool esegui(const QString &sql, QString &errore);

    QSqlDatabase m_db;
    QString m_nome_connessione;
    QString m_percorso;
    QString m_archivio; // "locale" for the store itself
    bool m_locale = true;
    QString m_proprietario;
    int m_spesi_alla_ripresa = 0;
};
