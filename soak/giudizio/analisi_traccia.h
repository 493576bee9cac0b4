// SPDX-License-Identifier: GPL-3.0-or-later
// A simulator's trace replayed: its units, their dialogues and the cells they left.
#pragma once

#include "dialogo.h"
#include "riga_traccia.h"

#include <QList>

#include <optional>
#include <vector>

// The receiver's side of a trace replayed: its units, their dialogues and cells.
class AnalisiTraccia
{
public:
    struct Opzioni
    {
        Blocco blocco{};
        Blocco successivo{};
        std::optional<int> cambio_ms;
        std::optional<int> scrittura_persa;
    };
    struct Ingresso
    {
        int dialogo; // -1 outside any
        char ruolo;  // as in Dialogo::ruoli; '-' while no unit is on the line, 'a' before a "U"
    };

    AnalisiTraccia(const QList<ByteTraccia> &traccia, const Opzioni &opzioni);

    const std::vector<Dialogo> &dialoghi() const { return m_dialoghi; }
    // Every byte received, in order.
    const std::vector<Ingresso> &ingressi() const { return m_ingressi; }
    // The units that came on the line, and the cells of the last one.
    int unita() const { return m_unita + 1; }
    const Blocco &celle() const { return m_celle; }
    // A unit was taken away and the trace ends before the next one came.
    bool in_cambio() const { return m_fine_cambio.has_value(); }
    long long scritture() const;

private:
    enum class Stato { Annuncio, Lettera, IndiceLettura, IndiceScrittura, ValoreScrittura };

    void uscente(std::uint8_t byte);
    void ingresso(const ByteTraccia &b);
    char interpreta(const ByteTraccia &b);
    void leggi(int cella);
    void scrivi(std::uint8_t valore);
    void chiudi(std::int64_t us);

    Opzioni m_opzioni;
    std::vector<Dialogo> m_dialoghi;
    std::vector<Ingresso> m_ingressi;
    Stato m_stato = Stato::Annuncio;
    Blocco m_celle{};
    int m_unita = 0;
    int m_cella_scritta = 0;
    int m_attiva = -1; // the request whose answer is under way
    bool m_aperto = false;
    std::optional<std::int64_t> m_fine_cambio;
};
