#pragma once

#include "parametri.h"
#include "riga_traccia.h"

#include <QByteArray>
#include <QList>

#include <optional>
#include <vector>

// One request of the PC inside a dialogue, with what the receiver sent back
// before the PC's next byte.
struct Richiesta
{
    char tipo = 'R'; // 'R' or 'W'
    int cella = 0;
    int valore = -1; // W: the value sent
    int vero = -1;   // R: the cell as held then; W: the cell before the write
    QByteArray risposta;
};

// From a "U" to the "E" that ends it, or to the end of the trace.
struct Dialogo
{
    int unita = 0; // 0 for the first unit on the line
    Blocco prima{};
    Blocco dopo{};
    std::vector<Richiesta> richieste;
    // One letter per byte received from the "U" on: U, R r (index), W w (index)
    // v (value), E, ? (no command).
    QByteArray ruoli;
    // What the receiver sent after each of those bytes, before the next one.
    std::vector<QByteArray> dopo_byte;
    QByteArray uscite; // every byte sent from the "U" to the "E"
    bool chiuso = false;
    // Ended by the PC in the middle of its writes: no read-back followed them.
    bool scritture_interrotte() const;

    int scritture() const;
    bool chiede(char tipo, int cella) const;
    bool scritture_confermate() const;
    // The receiver sent other than one clean reply per request: the cell held
    // for each read, one "K" for each write.
    bool risposte_alterate() const;
    bool byte_in_piu() const;
    // The first 63 bytes sent after the "U": what the PC took for its first read.
    std::optional<Blocco> prima_lettura() const;
};

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
    enum class Stato { Annuncio, Comando, IndiceLettura, IndiceScrittura, ValoreScrittura };

    void uscita(std::uint8_t byte);
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
