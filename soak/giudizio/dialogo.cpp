// SPDX-License-Identifier: GPL-3.0-or-later
// One dialogue as a trace shows it: the PC's requests and what the receiver sent back.
#include "dialogo.h"

int Dialogo::scritture() const
{
    int n = 0;
    for (const Richiesta &r : richieste)
        n += r.tipo == 'W' ? 1 : 0;
    return n;
}

bool Dialogo::chiede(char tipo, int cella) const
{
    for (const Richiesta &r : richieste) {
        if (r.tipo == tipo && r.cella == cella)
            return true;
    }
    return false;
}

bool Dialogo::risposte_alterate() const
{
    QByteArray pulite;
    for (const Richiesta &r : richieste)
        pulite.append(r.tipo == 'R' ? static_cast<char>(r.vero) : lettera::PRONTO);
    return uscite != pulite;
}

bool Dialogo::scritture_interrotte() const
{
    return !richieste.empty() && richieste.back().tipo == 'W';
}

bool Dialogo::byte_in_piu() const
{
    for (const Richiesta &r : richieste) {
        if (r.risposta.size() > 1)
            return true;
    }
    return false;
}

std::optional<Blocco> Dialogo::prima_lettura() const
{
    if (uscite.size() < CELLE_LETTE)
        return std::nullopt;
    Blocco b{};
    for (int i = 0; i < CELLE_LETTE; ++i)
        b[i] = static_cast<std::uint8_t>(uscite.at(i));
    return b;
}
