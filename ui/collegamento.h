// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's handlers of the link: connect, read, programming, factory
// initialisation, disconnect, exit, and the supervision of the buttons.

#include "elementi.h"
#include "parametri.h"
#include "ricevitore.h"

#include <QObject>
#include <QTimer>

#include <optional>

// Every transaction runs to its end inside the click that starts it: it hands
// each step to the receiver engine and waits for it in a local event loop, so
// clicks and timers still run in the middle of it, as the window has always
// allowed.
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

    enum class EsitoTransazione {
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
    Q_ENUM(EsitoTransazione)

    explicit Collegamento(Elementi &elementi, QObject *parent = nullptr);
    ~Collegamento() override;

    PortaSeriale &porta() { return m_ricevitore.porta(); }
    const PortaSeriale &porta() const { return m_ricevitore.porta(); }
    Parametri &parametri() { return m_p; }
    const Parametri &parametri() const { return m_p; }

    // Starts Timer_stato (every 10 ms).
    void avvia_supervisione();

    // Bound the wait for the ready "K" and for each read reply; by default
    // they wait for as long as it takes. On expiry: "Errore TIME OUT   ".
    void imposta_limite_annuncio(std::optional<int> ms);
    void imposta_limite_risposta(std::optional<int> ms);

    // Ends a waiting transaction at once, with no further message.
    void interrompi();
    bool in_transazione() const { return m_in_transazione; }
    bool ultima_lettura_valida() const { return !m_lettura_da_rifare; }

    // The bytes of the last read: cells 0-62 as received, fewer if it was
    // abandoned.
    const QByteArray &celle_lette() const { return m_celle_lette; }

    void Cmb_com_Click();
    EsitoTransazione Cmd_connetti_Click();
    EsitoTransazione cmd_programma_Click();
    EsitoTransazione Cmd_init_uhf_Click() { return inizializza(Banda::UHF); }
    EsitoTransazione Cmd_init_vhf_Click() { return inizializza(Banda::VHF); }
    void Cmd_disconetti_Click();
    void Command4_Click();
    // The window closed by other means than "ESCI": no "E", port released.
    void chiusura_finestra();

    void opzione_cliccata(Elementi::Opzione opzione);

    void Timer_stato_Timer();

    // Reads cells 0-62 and fills the front end.
    EsitoTransazione leggi_parametri();

private:
    class Transazione;

    Ricevitore::Risultato attendi(bool avviata);
    EsitoTransazione esito_attesa(const Ricevitore::Risultato &r);
    EsitoTransazione inizializza(Banda banda);
    EsitoTransazione scrivi_celle(const Blocco &celle, int ultima);
    EsitoTransazione lettura_di_verifica();
    EsitoTransazione confronta_rilettura() const;
    void gestione_time_out();
    void chiudi_dialogo();
    void svuota_campi();
    void conserva_lettura(const QByteArray &celle);
    void mostra_lettura();
    void scegli_opzione(const Variante &v, Elementi::Opzione zero, Elementi::Opzione uno);
    void abilita_riga(bool connetti, bool disconetti, bool programma, bool init);

    Elementi &c;
    Ricevitore m_ricevitore;
    Parametri m_p;
    QTimer Timer_stato;
    bool m_in_transazione = false;
    bool m_interrotto = false;
    bool m_lettura_da_rifare = false;
    QByteArray m_celle_lette;
    QByteArray m_celle_scritte;
};
