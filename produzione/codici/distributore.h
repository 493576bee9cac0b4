// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A run's source of receiver codes: the next free code of its plan for each unit, and what became
// of it.

#include "deposito_codici.h"
#include "piano_codici.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class Distributore : public QObject
{
    Q_OBJECT

public:
    enum class Disponibilita {
        Pronti,   // a unit can have a code now
        Esauriti, // the plan has no code left for this process
        Attesa,   // none in the reserve now: the shared archive may give more,
                  // or other processes give back theirs
    };

    // Without a plan it only queues the records for an archive.
    Distributore(const std::optional<PianoCodici> &piano, std::unique_ptr<DepositoCodici> deposito,
                 QObject *parent = nullptr);
    ~Distributore() override;

    const std::optional<PianoCodici> &piano() const { return m_piano; }
    QString impronta() const { return m_impronta; }
    DepositoCodici &deposito() { return *m_deposito; }

    // Journaled as taken when it returns, before the unit's first write.
    std::optional<int> prendi(const QString &posto, QString &errore);
    // A unit's end, in one step: its code, if it had one, given when it
    // ended OK, spent when anything was written, otherwise back to the
    // plan; and its record riga queued for the archive, if any. False with
    // the reason: the code then stays taken, which counts as spent.
    bool chiudi(std::optional<int> codice, bool riuscita, bool scrittura_avviata, const QUuid &id,
                const QByteArray &riga, QString &errore);
    // What chiudi() makes of a code, as the record names it: "dato",
    // "speso" or "restituito".
    static QString saldo_previsto(bool riuscita, bool scrittura_avviata);

    // With a shared archive the codes come from this process's reserve,
    // which its corriere keeps supplied: sollecita tells it of each change.
    void imposta_condiviso(std::function<void()> sollecita);
    bool condiviso() const { return static_cast<bool>(m_sollecita); }
    // What the archive last said: whether it answers, and its free codes.
    void archivio_cambiato(bool connesso, const DepositoCodici::Conti &conti,
                           std::optional<int> liberi);

    Disponibilita disponibilita() const;
    // The plan's codes by state: the store's, or what the archive last said.
    DepositoCodici::Conti conti() const;
    // Codes that this process may still give.
    int rimasti() const;
    // 5 % of the plan, or fewer, when rimasti are left.
    bool pochi(int rimasti) const { return m_piano && rimasti * 20 <= m_piano->codici().size(); }

signals:
    void cambiati();

private:
    bool salda(std::optional<int> codice, bool riuscita, bool scrittura_avviata, const QUuid &id,
               const QByteArray &riga, QString &errore);
    // The shared archive's codes in this process's reserve, startable now.
    int riserva() const;

    const std::optional<PianoCodici> m_piano;
    const QString m_impronta;
    std::unique_ptr<DepositoCodici> m_deposito;
    std::function<void()> m_sollecita;
    bool m_connesso = false;
    std::optional<int> m_liberi_archivio;
    DepositoCodici::Conti m_conti_archivio;
};
