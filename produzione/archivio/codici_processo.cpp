// SPDX-License-Identifier: GPL-3.0-or-later
#include "codici_processo.h"

std::variant<CodiciProcesso, QString> CodiciProcesso::apri(const std::optional<PianoCodici> &piano,
                                                           const QString &archivio,
                                                           const QString &registro, int posti)
{
    const QString percorso = DepositoCodici::percorso_predefinito();
    const QString proprietario = DepositoCodici::proprietario_per(registro);
    auto aperto = DepositoCodici::apri(
        percorso, archivio.isEmpty() ? QString() : Corriere::chiave(archivio), proprietario);
    QString errore;
    if (const auto *e = std::get_if<QString>(&aperto))
        errore = *e;
    // With an archive the plan lives there; the store journals the reserve.
    else if (archivio.isEmpty() && piano && !std::get<0>(aperto)->registra(*piano, errore))
        std::get<0>(aperto).reset();
    if (!errore.isEmpty())
        return QStringLiteral("the store of codes %1: %2").arg(percorso, errore);
    CodiciProcesso c;
    c.spesi_alla_ripresa = std::get<0>(aperto)->spesi_alla_ripresa();
    c.distributore = std::make_unique<Distributore>(piano, std::move(std::get<0>(aperto)));
    if (!archivio.isEmpty()) {
        c.archivio = std::make_unique<ArchivioCondiviso>(Corriere::Impostazioni{
            archivio, percorso, proprietario, piano, posti * Corriere::RISERVA_PER_POSTO});
        c.archivio->collega(c.distributore.get());
    }
    return c;
}
