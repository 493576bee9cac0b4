// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoria.h"
#include "protocollo.h"

#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <sys/types.h>

struct OpzioniSimulatore
{
    Blocco blocco = blocco_fabbrica(Banda::UHF);
    std::string eeprom;       // empty: the cells live only as long as the process
    std::string collegamento; // symlink to the slave, empty for none
    int annuncio_ms = 500;
    bool silenzioso = false;
    std::string rumore; // sent before each "K" until the first "U"
    GuastiRisposta guasti;
    std::optional<long long> riaggancio_dopo; // received bytes before the cable is pulled
    int ritardo_risposta_ms = 0;
    std::bitset<NUM_CELLE> celle_ritardate; // their replies wait ritardo_celle_ms more
    int ritardo_celle_ms = 0;
    int baud = 0; // 0: no line timing at all
    bool traccia = false;
    // After each "E" the unit is taken away for this long, and the next one
    // comes with blocco_successivo (blocco when unset).
    std::optional<int> cambio_ms;
    std::optional<Blocco> blocco_successivo;
    bool fine_con_stdin = false; // end when stdin ends, and when genitore dies
    pid_t genitore = 0;
};

struct Conteggi
{
    long long scritture = 0; // "W" records, whatever their cell
    long long dialoghi = 0;  // "U" that opened a dialogue
    long long unita = 1;     // units that came on the line
};

// The receiver on the master side of a pseudo-terminal; the PC opens the
// slave as if it were a serial port.
class Simulatore
{
public:
    explicit Simulatore(const OpzioniSimulatore &opzioni);
    ~Simulatore();
    Simulatore(const Simulatore &) = delete;
    Simulatore &operator=(const Simulatore &) = delete;

    bool carica_memoria(std::string &errore);
    bool apri_linea(std::string &errore);
    bool crea_collegamento(std::string &errore);
    void togli_collegamento();
    const std::string &percorso() const { return m_percorso; }
    const OpzioniSimulatore &opzioni() const { return m_opzioni; }
    const Memoria &memoria() const { return m_memoria; }
    const Conteggi &conteggi() const { return m_conteggi; }
    // errno of the first trace line that could not be written on stderr; 0 for none.
    int errore_traccia() const { return m_errore_traccia; }

    // Serves the line until SIGTERM/SIGINT/SIGHUP, until the cable is pulled,
    // with fine_con_stdin until stdin ends, or until a trace line cannot be
    // written; gives the exit code.
    int esegui();

private:
    struct ByteInLinea
    {
        std::uint8_t byte;
        std::int64_t dovuto_us; // when read from the PC in, earliest departure out
    };

    struct Risposta
    {
        std::string byte;
        std::int64_t ritardo_us; // after the arrival of the byte answered
    };

    std::int64_t adesso() const;
    bool resta_col_genitore() const;
    bool servi_linea(std::int64_t ora);
    std::optional<int> attendi(bool uscita_bloccata);
    void leggi_linea(std::int64_t ora);
    std::int64_t arrivo_prossimo() const;
    std::int64_t fine_prossima_uscita() const;
    void elabora_arrivati(std::int64_t ora);
    Risposta rispondi(std::uint8_t byte, std::int64_t arrivo, std::int64_t ora);
    void porta_via_unita(std::int64_t arrivo);
    void arriva_unita();
    bool annuncio_previsto() const;
    void annuncia(std::int64_t ora);
    void accoda(const std::string &byte, std::int64_t dovuto);
    bool scrivi_dovuti(std::int64_t ora);
    std::int64_t prossima_scadenza(bool uscita_bloccata) const;
    void riaggancia(std::int64_t ora);
    void traccia(bool entrata, std::uint8_t byte, std::int64_t ora);
    void chiudi_linea();

    OpzioniSimulatore m_opzioni;
    Memoria m_memoria;
    Protocollo m_protocollo;
    std::int64_t m_inizio_us;
    std::int64_t m_durata_byte_us;

    int m_master = -1;
    int m_slave = -1;
    std::string m_percorso;
    bool m_collegamento_creato = false;

    std::deque<ByteInLinea> m_entrata;
    std::deque<ByteInLinea> m_uscita;
    std::optional<std::int64_t> m_ultimo_arrivo;
    std::optional<std::int64_t> m_ultima_uscita;
    bool m_uscita_tracciata = false; // the front of m_uscita is already on stderr
    long long m_ricevuti = 0;
    bool m_dialogo_avvenuto = false;
    bool m_solo_annunci = true; // nothing but announcements since the last one
    std::int64_t m_prossimo_annuncio = 0;
    std::optional<std::int64_t> m_fine_cambio; // no unit on the line until then
    Conteggi m_conteggi;
    std::optional<std::int64_t> m_uscita_processo; // set once the line is gone
    int m_errore_traccia = 0;                      // errno of the trace line that failed
};
