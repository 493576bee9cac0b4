// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's own texts for what went wrong, blanks included; the other
// front ends quote them.
namespace messaggio {
constexpr const char *ERRORE_PORTA = "Errore!!  Porta Seriale Guasta o Mancante ";
constexpr const char *ERRORE_TIME_OUT = "Errore TIME OUT   ";
constexpr const char *ERRORE_LETTURA = "Errore di Lettura nei Parametri, Riprovare ";
constexpr const char *FUORI_RANGE_RX = "Frequenza RX fuori range!";
constexpr const char *FUORI_BANDA = "Frequenza Fuori Banda !";
constexpr const char *VALORE_FUORI_RANGE = "Valore fuori range!";
} // namespace messaggio
