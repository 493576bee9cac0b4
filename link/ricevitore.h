// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The dialogue with the receiver on one serial port, as event-driven operations.

#include "blocco.h"
#include "porta_seriale.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// One receiver on one port. Each operation is a state machine driven by the
// port's data and by precise timers on this object's thread: it starts at the
// call, returns at once, and ends with concluso(). Nothing here waits in a
// loop, so any number of ports share one thread. One operation at a time.
// The cells of a read as a block: those not read are zero.
Blocco blocco_letto(const QByteArray &celle);

class Ricevitore : public QObject
{
    Q_OBJECT

public:
    enum class Operazione {
        Nessuna,
        Annuncio,  // waiting for the ready "K", then "U"
        Lettura,   // "R" and the index for each cell, one byte back each
        Scrittura, // "W", index, value for each cell, a lone "K" back each
        Rimozione, // waiting for a silent line: the unit was taken away
    };
    Q_ENUM(Operazione)

    enum class EsitoOperazione {
        Riuscito,
        PortaChiusa,      // closed under the wait, or the line went away
        TimeOut,          // a bounded wait ran out
        Interrotto,       // interrompi()
        RiletturaDiversa, // every cell acknowledged, but one reads back otherwise
    };
    Q_ENUM(EsitoOperazione)

    struct Risultato
    {
        Operazione operazione = Operazione::Nessuna;
        EsitoOperazione esito = EsitoOperazione::Riuscito;
        // Lettura: the cells received, in order; fewer when it ended early.
        QByteArray celle_lette;
        // Scrittura: the values of the cells whose record went out, in order;
        // the last one may be unacknowledged.
        QByteArray celle_scritte;
        int cella = -1;         // the cell of the last request
        int cella_diversa = -1; // RiletturaDiversa: the first cell that differs
        // PortaChiusa: why, as the system says; empty when closed on purpose.
        QString motivo;

        bool riuscito() const { return esito == EsitoOperazione::Riuscito; }
    };

    explicit Ricevitore(QObject *parent = nullptr);
    ~Ricevitore() override;

    PortaSeriale &porta() { return m_porta; }
    const PortaSeriale &porta() const { return m_porta; }

    // Opens the port if it is not open; whatever the line held before is
    // discarded. False with porta().motivo().
    bool apri();
    // No "E": the receiver is not told. A running operation ends PortaChiusa.
    void chiudi();
    bool aperta() const { return m_porta.aperta(); }

    // Bounds on the announcement and on each read reply; none by default.
    void imposta_limite_annuncio(std::optional<int> ms) { m_limite_annuncio = ms; }
    void imposta_limite_risposta(std::optional<int> ms) { m_limite_risposta = ms; }

    // Each operation returns false, and starts nothing, while another one
    // runs or the port is closed. Otherwise concluso() follows, at the
    // earliest from inside the call when the first request cannot go out.

    // Drops every byte but "K", then answers "U".
    bool attendi_annuncio();
    // Cells 0-62.
    bool leggi();
    // Cells 0 to ultima, each acknowledged by a lone "K" in time (tempi.h).
    // The bytes the line already holds are not flushed: they are the reply.
    bool scrivi(const Blocco &celle, int ultima);
    // leggi(), then each cell of the last scrivi() against what reads back.
    bool rileggi();
    // Drops every byte until the line has been silent for silenzio_ms.
    bool attendi_rimozione(int silenzio_ms);

    // "E", when the port is open. False when the write failed.
    bool termina_dialogo();
    // Ends the running operation with Interrotto; the port stays as it is.
    void interrompi();

    bool occupato() const { return m_operazione != Operazione::Nessuna; }
    Operazione operazione() const { return m_operazione; }

signals:
    // The "K" came and the "U" went out: the unit's dialogue began.
    void annunciato();
    // The request of cella, 0 to ultima, is about to go out.
    void progresso(Ricevitore::Operazione operazione, int cella, int ultima);
    void concluso(const Ricevitore::Risultato &risultato);

private:
    bool inizia(Operazione operazione);
    bool avvia_lettura(bool rilettura);
    void elabora();
    bool passo(std::uint8_t byte);
    bool passo_annuncio(std::uint8_t byte);
    bool passo_lettura(std::uint8_t byte);
    bool passo_scrittura(std::uint8_t byte);
    void chiedi_cella();
    void scrivi_cella();
    void arma(std::optional<int> ms);
    void scadenza();
    void porta_caduta();
    void concludi(EsitoOperazione esito, const QString &motivo = QString());
    void concludi_guasta();

    PortaSeriale m_porta;
    QTimer m_sveglia;
    QDeadlineTimer m_scadenza{QDeadlineTimer::Forever};
    std::optional<int> m_limite_annuncio;
    std::optional<int> m_limite_risposta;
    int m_silenzio_ms = 0;

    Operazione m_operazione = Operazione::Nessuna;
    Risultato m_risultato;
    Blocco m_celle{};
    int m_ultima = 0;
    int m_cella = 0;
    // Counts the requests, so that a time-out knows its own one.
    quint64 m_richiesta = 0;
    bool m_rilettura = false;
    QByteArray m_risposta;
    QByteArray m_ultime_scritte;
};
