// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controlli.h"
#include "parametri.h"
#include "porta_seriale.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <optional>

// The dialogue with the receiver: connect, read, programming, factory
// initialisation, disconnect and exit, and the supervision that keeps the
// front end's buttons in step with the link. Every transaction runs to its
// end inside the call that starts it, giving the event loop a turn while it
// waits, so clicks and timers still run in the middle of it.
class Collegamento : public QObject
{
    Q_OBJECT

public:
    static const QString NON_CONNESSO;
    static const QString IN_ATTESA;
    static const QString CONNESSO;

    static const QString ERRORE_PORTA;
    static const QString ERRORE_TIME_OUT;
    static const QString ERRORE_LETTURA;
    static const QString FUORI_RANGE_RX;
    static const QString FUORI_BANDA;
    static const QString VALORE_FUORI_RANGE;

    static constexpr int TIME_OUT_ACK_MS = 4000;

    enum class Esito {
        Riuscito,
        PortaGuasta,        // connect failed or was ended by the port
        TimeOut,            // a write went unacknowledged, or a bounded wait ran out
        ChecksumErrato,     // the (closing) read failed its checksum
        LetturaAbbandonata, // the closing read lost the port
        FuoriBanda,
        ValoreFuoriRange,
        LetturaDaRifare,  // refused: the last read was not sound
        Occupato,         // refused: another transaction is waiting
        Interrotto,       // exit while waiting
        RiletturaDiversa, // every write acknowledged, but a cell reads back otherwise
    };
    Q_ENUM(Esito)

    // Which wait a time-out ended.
    enum class Attesa { Nessuna, Annuncio, Risposta, Conferma };

    explicit Collegamento(Controlli &controlli, QObject *parent = nullptr);
    ~Collegamento() override;

    PortaSeriale &porta() { return m_porta; }
    const PortaSeriale &porta() const { return m_porta; }
    Parametri &parametri() { return m_p; }
    const Parametri &parametri() const { return m_p; }

    // Starts Timer_stato (every 10 ms).
    void avvia_supervisione();

    // Bound the wait for the ready "K" and for each read reply; by default
    // they wait for as long as it takes. On expiry: "Errore TIME OUT   ".
    void imposta_limite_annuncio(std::optional<int> ms) { m_limite_annuncio = ms; }
    void imposta_limite_risposta(std::optional<int> ms) { m_limite_risposta = ms; }

    // Ends a waiting transaction at its next turn, with no further message.
    // May be called from any thread.
    void interrompi();
    bool interrotto() const { return m_interrotto; }
    bool in_transazione() const { return m_in_transazione; }
    bool ultima_lettura_valida() const { return !m_lettura_da_rifare; }

    // The bytes of the last read (cells 0-62 as received, fewer if it was
    // abandoned) and the cells the last writing transaction sent.
    const QByteArray &celle_lette() const { return m_celle_lette; }
    const QByteArray &celle_scritte() const { return m_celle_scritte; }
    // The cell of the last request, and the wait that the last time-out ended.
    int ultima_cella() const { return m_ultima_cella; }
    Attesa attesa_scaduta() const { return m_attesa_scaduta; }
    // After RiletturaDiversa: the first cell whose read-back differs.
    int cella_diversa() const { return m_cella_diversa; }
    // The last transaction began writing cells and did not have them all
    // acknowledged: the receiver holds part of the new block.
    bool scrittura_incompleta() const { return m_scrittura_incompleta; }

    void Cmb_com_Click();
    Esito Cmd_connetti_Click();
    Esito cmd_programma_Click();
    Esito Cmd_init_uhf_Click() { return inizializza(Banda::UHF); }
    Esito Cmd_init_vhf_Click() { return inizializza(Banda::VHF); }
    void Cmd_disconetti_Click();
    void Command4_Click();
    // The window closed by other means than "ESCI": no "E", port released.
    void chiusura_finestra();

    void opzione_cliccata(Controlli::Opzione opzione);

    void Timer_stato_Timer();
    void Timer1_Timer();

    // Reads cells 0-62 and fills the front end. Throws ErrorePorta when the
    // port closes under it.
    void leggi_parametri();

    // For a line of units one after the other: with the port open, drops
    // whatever arrives until the line has been silent for silenzio_ms, i.e.
    // the unit has been taken away. Riuscito, PortaGuasta or Interrotto.
    Esito attendi_rimozione(int silenzio_ms);

private:
    class Transazione;

    Esito inizializza(Banda banda);
    Esito scrivi_celle(const Blocco &celle, int ultima);
    Esito attendi_conferma_di(int indice, std::uint8_t valore);
    Esito lettura_di_verifica();
    Esito confronta_rilettura();
    void gestione_time_out();
    void chiudi_dialogo();
    void svuota_campi();
    void mostra_lettura();
    void scegli_opzione(const Variante &v, Controlli::Opzione zero, Controlli::Opzione uno);
    void scrivi_cella(int indice, std::uint8_t valore);
    void inizia_attesa(Attesa attesa, std::optional<int> limite);
    void turno_attesa();
    void abilita_riga(bool connetti, bool disconetti, bool programma, bool init);

    Controlli &c;
    PortaSeriale m_porta;
    Parametri m_p;
    QTimer Timer_stato;
    QTimer Timer1;
    QTimer m_sveglia;
    QTimer m_sveglia_scadenza;
    QDeadlineTimer m_scadenza;
    Attesa m_attesa = Attesa::Nessuna;
    Attesa m_attesa_scaduta = Attesa::Nessuna;
    std::optional<int> m_limite_annuncio;
    std::optional<int> m_limite_risposta;
    bool m_in_transazione = false;
    std::atomic<bool> m_interrotto{false};
    bool m_lettura_da_rifare = false;
    bool m_scrittura_incompleta = false;
    int m_ultima_cella = -1;
    int m_cella_diversa = -1;
    QByteArray m_celle_lette;
    QByteArray m_celle_scritte;
};
