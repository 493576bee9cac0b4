// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's core: slots bound to sockets, each on its own and hands-free, every unit logged.

#include "codici_processo.h"
#include "file_stazione.h"
#include "lettura_registro.h"
#include "linea.h"
#include "profilo.h"
#include "quadro_posto.h"
#include "registro.h"
#include "statistiche.h"
#include "totali_banco.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <optional>

class SorveglianzaDispositivi;

// Every rule of the station, with Qt Core alone, so that it can run on a
// thread of its own: a front end draws what the signals tell and asks through
// the slots, and a display that stalls costs the slots nothing.
//
// Runs a profile on every slot until it is ended. A slot whose device is
// missing waits for it, told by udev and the file system; a unit counts
// only once it has announced itself. Each unit's record carries the
// station's fields, and the figures come from the records as a log reader
// would count them.
class Banco : public QObject
{
    Q_OBJECT

public:
    static constexpr int SILENZIO_MS = tempi::SILENZIO_MS;
    // How long assegna() waits for a port to be plugged in.
    static constexpr int ASSEGNAZIONE_MS = 60000;
    // How long the end waits to deliver what the station did to its archive.
    static constexpr int CONSEGNA_FINALE_MS = 10000;

    struct Identita
    {
        QString stazione;  // the host name
        QString operatore; // who works it
    };

    // percorso_stazione: the station file a settings change is saved to.
    Banco(const Identita &identita, const QString &percorso_stazione, QObject *parent = nullptr);
    ~Banco() override;

    // Before the thread starts. The log is opened once; false with the reason.
    bool apri_registro(const QString &percorso, QString &errore, QString &avviso);
    void imposta(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    // The silence that tells a unit taken out, from the next avvia() on.
    void imposta_silenzio(int ms) { m_silenzio_ms = ms; }
    // How long the next assegna() waits.
    void imposta_assegnazione(int ms) { m_assegnazione_ms = ms; }
    // Each unit that ends OK gets a label, on the core's thread, before its
    // record is written: the reason it could not, empty when it did.
    // A libpq connection string: plans and records in a shared PostgreSQL
    // archive, from the next avvia() on; empty: the store of this machine.
    void imposta_archivio(const QString &indirizzo) { m_indirizzo_archivio = indirizzo; }
    QString archivio() const { return m_indirizzo_archivio; }
    using Etichettatura = std::function<QString(const Resoconto &r, const QString &piano,
                                                const QString &profilo, const QString &stazione)>;
    void imposta_etichette(Etichettatura etichettatura) { m_etichette = std::move(etichettatura); }

    // Read on the core's own thread only.
    const Profilo &profilo() const { return m_profilo; }
    const QList<PostoConfigurato> &posti() const { return m_posti; }
    Posto *posto(int indice) const;
    bool in_corso() const { return m_linea != nullptr; }
    // Any slot with a unit in its dialogue.
    bool al_lavoro() const;
    // The records of the last hour: a station left running for days keeps
    // its figures, not every record.
    const QList<RecordRegistro> &record() const { return m_record; }
    const Statistiche &figure() const { return m_figure; }
    TotaliBanco totali() const;

public slots:
    void avvia();
    // Units in their dialogue end with "E" and are logged as interrupted;
    // the rest stop now. concluso() follows.
    void interrompi();
    // No new unit starts; each unit in its dialogue ends as it would have.
    // concluso() follows.
    void ferma();
    // A settings change, at any time: asked, confirmed, then saved to the
    // station file and logged. The station then pauses: no new unit starts,
    // each unit in its dialogue ends as it would have and is taken out; once
    // every slot has stopped the slots start again on the change.
    void chiedi_cambio(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void conferma_cambio(bool si);
    // The log as CSV; esportato() tells how it went.
    void esporta_csv(const QString &destinazione);
    // The next serial port plugged in, or pseudo-terminal made, goes to slot
    // numero (1-16): presa_trovata(), or assegnazione_scaduta() when none
    // comes in time.
    void assegna(int numero);
    void annulla_assegnazione();

signals:
    // The profile and slots the tiles are for: at the start and after a change.
    void configurato(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void quadro_cambiato(int indice, const QuadroPosto &quadro);
    void totali_cambiati(const TotaliBanco &totali);
    void esito_posto(int indice, int numero, const EsitoUnita &esito);
    // Whether any slot has a unit in its dialogue, which ending the station
    // would cut short.
    void unita_in_dialogo(bool si);
    void conferma_chiesta(const QString &domanda);
    // Something the worker should know: the change went on all the same.
    void avviso(const QString &testo);
    void esportato(const QString &destinazione, const QString &errore);
    void presa_trovata(int numero, const QString &presa);
    // No port came for slot numero in time: the search has stopped.
    void assegnazione_scaduta(int numero);
    // The log could not be written: the station stopped.
    void fermato(const QString &messaggio);
    void concluso();

private:
    void collega(int indice, Posto *posto);
    void stato_posto(int indice, Posto::Stato stato);
    // Mancante or Fermo: why, as the tile shows it.
    void assente(int indice, QuadroPosto &q) const;
    QString consiglio(int indice, const QuadroPosto &q) const;
    void registrata(Posto *posto, const Resoconto &r);
    // Tells each slot whose counts changed, and the slot cambiato in any case.
    void aggiorna_conti(int cambiato = -1);
    // Units age out of the hour as time goes: the figure is told when it changes.
    void aggiorna_ora();
    void scarta_record_vecchi();
    void conclusa();
    void cambia(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void riparti(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void cambia_quadro(int indice, const QuadroPosto &q);
    void controlla_lavoro();
    void trovata(const QString &percorso);
    void assegnazione_finita();
    bool registra_evento(const QString &evento, const QJsonObject &dettagli, QString &errore);
    // The profile's plan in the store of codes, kept while the plan stays
    // the same; false, the station stopped, when the store cannot be opened.
    bool prepara_codici();
    void concludi();
    void collega_linea();

    struct Cambio
    {
        Profilo profilo;
        QList<PostoConfigurato> posti;
    };

    const Identita m_identita;
    std::unique_ptr<Distributore> m_distributore;
    std::unique_ptr<ArchivioCondiviso> m_archivio;
    QString m_chiave_codici; // the plan and archive they are for
    Etichettatura m_etichette;
    QString m_indirizzo_archivio;
    bool m_fine = false; // ended: a line that runs out of codes ends the station too
    const QString m_percorso_stazione;
    Profilo m_profilo;
    QList<PostoConfigurato> m_posti;
    QList<QuadroPosto> m_quadri;
    // Each slot's last unit, until the next starts.
    QList<std::optional<EsitoUnita>> m_ultime;
    int m_silenzio_ms = SILENZIO_MS;
    SorveglianzaDispositivi *m_sorveglianza;
    std::unique_ptr<Linea> m_linea;
    Registro m_registro;
    QString m_percorso_registro;
    QList<RecordRegistro> m_record;
    Statistiche m_figure;
    QTimer *m_orologio_ora;
    int m_ora_detta = 0;
    std::optional<Cambio> m_cambio_chiesto;
    std::optional<Cambio> m_cambio_in_attesa; // applied once the slots have stopped
    bool m_al_lavoro = false;
    int m_assegnando = 0;
    int m_assegnazione_ms = ASSEGNAZIONE_MS;
    QTimer *m_scadenza_assegnazione;
};
