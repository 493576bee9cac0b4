// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A programming station: slots bound to sockets, each on its own and hands-free, every unit logged.

#include "file_stazione.h"
#include "lettura_registro.h"
#include "profilo.h"
#include "registro.h"
#include "statistiche.h"
#include "linea.h"

#include <QJsonObject>
#include <QObject>

#include <memory>

class SorveglianzaDispositivi;

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

    struct Identita
    {
        QString stazione;  // the host name
        QString operatore; // who works it
    };

    explicit Banco(const Identita &identita, QObject *parent = nullptr);
    ~Banco() override;

    // The log is opened once; false with the reason.
    bool apri_registro(const QString &percorso, QString &errore, QString &avviso);
    // Before avvia(), or while no slot is working.
    void imposta(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    // The silence that tells a unit taken out, from the next avvia() on.
    void imposta_silenzio(int ms) { m_silenzio_ms = ms; }
    void avvia();
    // Units in their dialogue end with "E" and are logged as interrupted;
    // the rest stop now. concluso() follows.
    void termina();

    const Profilo &profilo() const { return m_profilo; }
    const QList<PostoConfigurato> &posti() const { return m_posti; }
    Posto *posto(int indice) const;
    // Any slot with a unit in its dialogue: the settings are locked.
    bool al_lavoro() const;
    bool in_corso() const { return m_linea != nullptr; }
    QString percorso_registro() const { return m_percorso_registro; }

    // The records of the last hour: a station left running for days keeps
    // its figures, not every record.
    const QList<RecordRegistro> &record() const { return m_record; }
    const Statistiche &figure() const { return m_figure; }
    // The record's "porta" of a slot, as the figures name it.
    QString porta(int indice) const;

    // A settings change, or anything else the log should hold beside the units.
    bool registra_evento(const QString &evento, const QJsonObject &dettagli, QString &errore);

signals:
    void stato_posto(int indice, Posto::Stato stato);
    void unita_iniziata(int indice, int numero);
    void progresso_posto(int indice, int cella, int ultima);
    void esito_posto(int indice, int numero, const EsitoUnita &esito);
    void da_togliere(int indice, int numero);
    void figure_cambiate();
    // The log could not be written: the station stopped.
    void fermato(const QString &messaggio);
    void concluso();

private:
    void collega(int indice, Posto *posto);
    void registrata(Posto *posto, const Resoconto &r);
    void conclusa();

    const Identita m_identita;
    Profilo m_profilo;
    QList<PostoConfigurato> m_posti;
    int m_silenzio_ms = SILENZIO_MS;
    std::unique_ptr<SorveglianzaDispositivi> m_sorveglianza;
    std::unique_ptr<Linea> m_linea;
    Registro m_registro;
    QString m_percorso_registro;
    QList<RecordRegistro> m_record;
    Statistiche m_figure;
};
