// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One port of a run: one unit after the other, each taken away before the next.

#include "dialogo_unita.h"
#include "distributore.h"
#include "ricevitore.h"
#include "tempi.h"

#include <QElapsedTimer>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTimer>

#include <functional>
#include <memory>

class Posto : public QObject
{
    Q_OBJECT

public:
    enum class Stato {
        Fermo,
        AttesaUnita,  // waiting for a unit to announce itself
        Lavoro,       // a unit in its dialogue
        Rimozione,    // waiting for the unit to be taken away
        Mancante,     // the device is not there: waiting for it to come back
        AttesaCodici, // no code to give now: waiting for the archive's reserve
    };
    Q_ENUM(Stato)

    // Mancante: why the slot waits for a device that may be there.
    enum class Ostacolo {
        Nessuno,        // the device is not there
        Occupata,       // another program holds the port: occupante()
        Vietata,        // no permission to open it
        Inutilizzabile, // it cannot be opened for another reason
        Impedita,       // the impedimento gave a reason
    };
    Q_ENUM(Ostacolo)

    // percorso: the device; empty for "Com com" under its system name.
    Posto(const QString &percorso, int com, const Incarico &incarico, QObject *parent = nullptr);

    // "Com N", or the path given.
    QString nome() const { return m_nome; }
    // Points the port at the device, or at "Com com"; gives the port's name as above.
    static QString indirizza(PortaSeriale &porta, const QString &percorso, int com);
    Ricevitore &ricevitore() { return m_ricevitore; }
    Stato stato() const { return m_stato; }

    // Units on this port; 0: until stopped. A unit counts as taken away once
    // the line has been silent for silenzio_ms.
    void imposta_unita(int quante) { m_quante = quante; }
    void imposta_silenzio(int ms) { m_silenzio_ms = ms; }
    // A port whose device goes away waits for it to come back, and goes on
    // where it was, instead of ending the port's run; an open that fails
    // before any unit announced itself is no unit. dispositivo_cambiato()
    // wakes it; failing that it looks again once a second.
    void imposta_ripresa(bool si) { m_ripresa = si; }
    // With ripresa: asked before each unit; a reason not to take units from
    // the device now (another slot's name leads to it), empty when none. The
    // slot then waits as for a missing device, with that reason.
    void imposta_impedimento(std::function<QString()> impedimento)
    {
        m_impedimento = std::move(impedimento);
    }
    // program: each unit's code from a plan (DialogoUnita::imposta_fonte_codici).
    void imposta_fonte_codici(DialogoUnita::FonteCodici fonte)
    {
        m_dialogo.imposta_fonte_codici(std::move(fonte));
    }
    // Asked before each unit. Esauriti: the slot ends, and senza_codici()
    // tells why; Attesa: it waits, looking again once a second or at
    // controlla_codici().
    void imposta_codici_disponibili(std::function<Distributore::Disponibilita()> disponibili)
    {
        m_codici_disponibili = std::move(disponibili);
    }
    void controlla_codici();
    bool senza_codici() const { return m_senza_codici; }
    // The plan ran out while the slot waited for a unit: as ferma(), for that reason.
    void ferma_senza_codici()
    {
        m_senza_codici = true;
        ferma();
    }
    // The path of the device; empty for "Com N".
    QString percorso() const { return m_percorso; }
    // Fields that each of this port's records in the log adds.
    void imposta_campi_registro(const QList<QPair<QString, QJsonValue>> &campi)
    {
        m_campi_registro = campi;
    }
    const QList<QPair<QString, QJsonValue>> &campi_registro() const { return m_campi_registro; }

    void avvia();
    // Between units: stops now. A unit in its dialogue ends first, as it
    // would have ended.
    void ferma();
    // As ferma(), but a unit that ended, or ends, is first waited out of its
    // socket: started again, the slot would take it for a new unit.
    void sospendi();
    // A unit in its dialogue ends with "E" and counts as interrupted; a port
    // between units stops now.
    void interrompi();

    // The numero-th unit on this port, from 1.
    int numero() const { return m_numero; }

    // The device behind percorso() appeared or went.
    void dispositivo_cambiato(bool presente);
    // Mancante: why a device that is there could not be opened, in the
    // system's words, or the impedimento's reason; empty when it is not there.
    QString motivo_assenza() const { return m_motivo_assenza; }
    Ostacolo ostacolo() const { return m_ostacolo; }
    // Ostacolo::Occupata: who holds the port, "m5ctl (PID 1234)"; empty
    // when nobody can be named.
    QString occupante() const { return m_occupante; }
    // With an impedimento: looks again now when waiting for a unit, so that
    // a slot that shares its device with another stops waiting on it.
    void controlla_impedimento();

signals:
    void stato_cambiato(Posto::Stato stato);
    void unita_iniziata(int numero);
    void progresso(int numero, Ricevitore::Operazione operazione, int cella, int ultima);
    void unita_conclusa(int numero, const EsitoUnita &esito);
    // The line has not gone silent long after the unit ended: a new unit
    // was cabled too soon, or the old one is still there.
    void unita_da_togliere(int numero);
    // Between units the port went away: no more units on it.
    void porta_persa(const QString &descrizione);
    void finito();

private:
    void prossima_unita();
    void conclusa(const EsitoUnita &esito);
    void rimossa(const Ricevitore::Risultato &r);
    void cambia_stato(Stato stato);
    void finisci();
    // The port went away: wait for it, or end here.
    void persa(const QString &quando);
    void riprova();
    // After a failed open, or a line lost before a unit came.
    void nota_ostacolo();
    void togli_ostacolo();

    Ricevitore m_ricevitore;
    DialogoUnita m_dialogo;
    QString m_nome;
    QString m_percorso;
    bool m_ripresa = false;
    QString m_motivo_assenza;
    Ostacolo m_ostacolo = Ostacolo::Nessuno;
    QString m_occupante;
    std::function<QString()> m_impedimento;
    std::function<Distributore::Disponibilita()> m_codici_disponibili;
    bool m_senza_codici = false;
    QTimer m_riprova;
    QList<QPair<QString, QJsonValue>> m_campi_registro;
    int m_quante = 1;
    int m_silenzio_ms = tempi::SILENZIO_MS;
    int m_numero = 0;
    bool m_fermato = false;
    bool m_sospeso = false;
    bool m_controllo = false; // the wait for a unit was ended to look again
    Stato m_stato = Stato::Fermo;
    QTimer m_promemoria;
    QMetaObject::Connection m_ascolto_rimozione;
};
