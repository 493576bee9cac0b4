// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A run's source of receiver codes: the next free code of its plan for each unit, and what became
// of it.

#include "deposito_codici.h"
#include "piano_codici.h"

#include <QObject>

#include <memory>

class Distributore : public QObject
{
    Q_OBJECT

public:
    enum class Disponibilita {
        Pronti,   // a unit can have a code now
        Esauriti, // the plan has no code left for this process
    };

    Distributore(const PianoCodici &piano, std::unique_ptr<DepositoCodici> deposito,
                 QObject *parent = nullptr);
    ~Distributore() override;

    const PianoCodici &piano() const { return m_piano; }
    QString impronta() const { return m_impronta; }
    DepositoCodici &deposito() { return *m_deposito; }

    // Journaled as taken when it returns, before the unit's first write.
    std::optional<int> prendi(const QString &posto, QString &errore);
    // The code of a unit that ended: given when it ended OK, spent when
    // anything was written, otherwise back to the plan. Returns its state as
    // the record names it: "dato", "speso" or "restituito"; empty when the
    // store could not take it (the code then stays taken: spent).
    QString salda(int codice, bool riuscita, bool scrittura_avviata, const QUuid &id,
                  const QByteArray &riga, QString &errore);

    // What salda() will make of a code: "dato", "speso" or "restituito".
    static QString saldo_previsto(bool riuscita, bool scrittura_avviata);

    Disponibilita disponibilita() const;
    DepositoCodici::Conti conti() const { return m_deposito->conti(m_impronta); }
    // Codes that this process may still give.
    int rimasti() const;
    // 5 % of the plan, or fewer, left.
    bool pochi() const;

signals:
    void cambiati();

private:
    const PianoCodici m_piano;
    const QString m_impronta;
    std::unique_ptr<DepositoCodici> m_deposito;
};
