// SPDX-License-Identifier: GPL-3.0-or-later
#include "distributore.h"

#include <QDateTime>

Distributore::Distributore(const std::optional<PianoCodici> &piano,
                           std::unique_ptr<DepositoCodici> deposito, QObject *parent)
    : QObject(parent), m_piano(piano), m_impronta(piano ? piano->impronta() : QString()),
      m_deposito(std::move(deposito))
{
}

Distributore::~Distributore() = default;

std::optional<int> Distributore::prendi(const QString &posto, QString &errore)
{
    const auto codice = m_deposito->prendi(
        m_impronta, posto, QDateTime::currentMSecsSinceEpoch() + DepositoCodici::MARGINE_MS,
        errore);
    if (codice) {
        emit cambiati();
        if (m_sollecita)
            m_sollecita();
    }
    return codice;
}

void Distributore::imposta_condiviso(std::function<void()> sollecita)
{
    m_sollecita = std::move(sollecita);
}

DepositoCodici::Conti Distributore::conti() const
{
    return m_sollecita ? m_conti_archivio : m_deposito->conti(m_impronta);
}

void Distributore::archivio_cambiato(bool connesso, const DepositoCodici::Conti &conti,
                                     std::optional<int> liberi)
{
    m_connesso = connesso;
    if (liberi)
        m_conti_archivio = conti;
    m_liberi_archivio = liberi;
    emit cambiati();
}

bool Distributore::chiudi(std::optional<int> codice, bool riuscita, bool scrittura_avviata,
                          const QUuid &id, const QByteArray &riga, QString &errore)
{
    const bool fatto = salda(codice, riuscita, scrittura_avviata, id, riga, errore);
    if (fatto && m_sollecita)
        m_sollecita();
    return fatto;
}

bool Distributore::salda(std::optional<int> codice, bool riuscita, bool scrittura_avviata,
                         const QUuid &id, const QByteArray &riga, QString &errore)
{
    if (!codice)
        return m_deposito->accoda(id, riga, errore);
    using Saldo = DepositoCodici::Saldo;
    const Saldo saldo = riuscita            ? Saldo::Dato
                        : scrittura_avviata ? Saldo::Speso
                                            : Saldo::Restituito;
    if (!m_deposito->salda(m_impronta, *codice, saldo, id, riga, errore))
        return false;
    emit cambiati();
    return true;
}

QString Distributore::saldo_previsto(bool riuscita, bool scrittura_avviata)
{
    if (riuscita)
        return QStringLiteral("dato");
    return scrittura_avviata ? QStringLiteral("speso") : QStringLiteral("restituito");
}

int Distributore::riserva() const
{
    return m_deposito->riserva(m_impronta,
                               QDateTime::currentMSecsSinceEpoch() + DepositoCodici::MARGINE_MS);
}

int Distributore::rimasti() const
{
    if (m_sollecita)
        return riserva() + m_liberi_archivio.value_or(0);
    const DepositoCodici::Conti c = conti();
    return c.liberi + c.riservati;
}

Distributore::Disponibilita Distributore::disponibilita() const
{
    if (!m_sollecita)
        return rimasti() > 0 ? Disponibilita::Pronti : Disponibilita::Esauriti;
    if (riserva() > 0)
        return Disponibilita::Pronti;
    // Codes in other processes' reserves, or in their units, may yet come back.
    const DepositoCodici::Conti &c = m_conti_archivio;
    const bool finito = m_liberi_archivio && c.liberi + c.riservati + c.avviati == 0;
    return m_connesso && finito ? Disponibilita::Esauriti : Disponibilita::Attesa;
}
