// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "collegamento.h"
#include "console.h"
#include "valori_unita.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace uscita {
constexpr int SUCCESSO = 0;
constexpr int INTERNO = 1;
constexpr int USO = 2;
constexpr int PORTA = 3; // also a log, trace or output file that cannot be written
constexpr int TIME_OUT = 4;
constexpr int LETTURA = 5;
constexpr int FUORI_BANDA = 6;
constexpr int FUORI_RANGE = 7;
constexpr int RILETTURA = 8;
constexpr int DIVERSA = 9;
constexpr int INTERROTTO = 130;
} // namespace uscita

// What became of one unit.
struct EsitoUnita
{
    int codice = uscita::SUCCESSO;
    QString messaggio;        // one line naming what went wrong; "OK" when done
    QStringList dettagli;     // verify: one line per differing value
    QStringList avvertimenti; // the unit went on all the same
    QByteArray celle_prima;   // the first read, as received
    QByteArray celle_dopo;    // the read-back after writing
    QByteArray valori;        // the unit file of the read to show; empty for none
    bool iniziata = false;    // the unit announced itself and the dialogue began
    qint64 durata_ms = 0;     // the dialogue: from the unit's "K" to the "E"
    qint64 attesa_ms = 0;     // before it: the wait for the unit
};

// One port and the unit on it: the window's clicks for each m5ctl command,
// each ending the dialogue with "E" whenever the port is open.
class Postazione
{
public:
    // percorso: the device; empty for "Com com" under its system name.
    Postazione(const QString &percorso, int com, bool interattiva);

    Collegamento &collegamento() { return m_collegamento; }
    // "Com N", or the path given.
    QString nome() const { return m_nome; }
    QString dispositivo() const { return m_collegamento.porta().dispositivo(); }

    // On an interactive terminal, say once when no receiver has announced
    // itself after a second.
    void avvisa_attesa(bool si) { m_avvisa_attesa = si; }

    // Between the unit's "K" and the end of its dialogue; from any thread.
    bool in_unita() const { return m_console.connessa(); }

    EsitoUnita leggi();
    EsitoUnita programma(const Impostazioni &valori, std::optional<Banda> banda_file);
    EsitoUnita inizializza(Banda banda, bool cambia_banda);
    EsitoUnita verifica(const Impostazioni &valori, Banda banda_file);

    static int codice_uscita(Collegamento::Esito esito);
    // The window's port error, the device and the system's reason; quando
    // says when the line went away, empty when it never opened.
    QString descrivi_porta(const QString &quando) const;

private:
    EsitoUnita inizia();
    Collegamento::Esito connetti(EsitoUnita &r);
    bool interrotto() const;
    void applica(const Impostazioni &valori);
    void segna_rilettura(EsitoUnita &r, Collegamento::Esito esito);
    EsitoUnita &concludi(EsitoUnita &r, Collegamento::Esito esito);
    EsitoUnita &concludi(EsitoUnita &r, int codice, const QString &messaggio);
    QString descrivi(Collegamento::Esito esito) const;
    QString descrivi_fuori_banda() const;
    QString descrivi_time_out() const;
    QString descrivi_checksum() const;
    QString descrivi_interruzione(const EsitoUnita &r, bool aperta) const;
    void attesa_lunga();

    Console m_console;
    Collegamento m_collegamento;
    QString m_nome;
    QTimer m_avviso_attesa;
    bool m_avvisa_attesa = false;
    // What a unit left partly written needs: "program it again", for init the command.
    QString m_rifai;
    QElapsedTimer m_orologio;
};
