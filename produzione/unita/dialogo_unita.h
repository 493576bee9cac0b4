// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One unit's dialogue: announcement, read, the command's writes and read-back, "E".

#include "esito_unita.h"
#include "incarico.h"
#include "programmazione.h"
#include "ricevitore.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

// Runs one unit through its command on a receiver engine, one step as the
// last one ends, and tells what became of it. The port is opened first and
// closed at the end, with "E" whenever it is still open then.
class DialogoUnita : public QObject
{
    Q_OBJECT

public:
    DialogoUnita(Ricevitore &ricevitore, const Incarico &incarico, QObject *parent = nullptr);

    // program: each unit's receiver code comes from a plan, taken once the
    // unit has announced itself and before anything is read. nullopt with
    // errore empty: the plan has no code left.
    using FonteCodici = std::function<std::optional<int>(QString &errore)>;
    void imposta_fonte_codici(FonteCodici fonte) { m_fonte_codici = std::move(fonte); }

    void avvia();
    // A unit in its dialogue ends with "E" and counts as interrupted; a wait
    // for a unit just ends.
    void interrompi();

    bool in_corso() const { return m_fase != Fase::Ferma; }

    // The window's port error, the device and the system's reason; quando
    // says when the line went away, empty when it never opened.
    static QString descrivi_porta(const PortaSeriale &porta, const QString &quando);
    // Between the unit's "K" and the end of its dialogue.
    bool in_dialogo() const { return in_corso() && m_esito.iniziata; }

signals:
    void iniziata();
    void progresso(Ricevitore::Operazione operazione, int cella, int ultima);
    void conclusa(const EsitoUnita &esito);

private:
    enum class Fase { Ferma, Annuncio, Lettura, Scrittura, Rilettura };

    void risultato(const Ricevitore::Risultato &r);
    void annunciata(const Ricevitore::Risultato &r);
    void letta(const Ricevitore::Risultato &r);
    void scritta(const Ricevitore::Risultato &r);
    void riletta(const Ricevitore::Risultato &r);
    void programma();
    bool prendi_codice();
    void inizializza();
    bool banda_altra();
    void verifica();
    void scrivi(const Blocco &celle, int ultima);
    void rifiuta(const Programmazione &p);
    void fallita(const Ricevitore::Risultato &r);
    void fine(int esito, const QString &messaggio);

    QString dispositivo() const;
    QString descrivi_porta(const QString &quando) const
    {
        return descrivi_porta(m_ricevitore.porta(), quando);
    }
    QString descrivi_time_out(const Ricevitore::Risultato &r) const;
    QString descrivi_checksum(const QByteArray &celle) const;
    QString descrivi_fuori_banda() const;
    QString descrivi_rilettura(const Ricevitore::Risultato &r) const;
    QString descrivi_interruzione(bool aperta) const;
    QString rifai() const;

    Ricevitore &m_ricevitore;
    const Incarico m_incarico;
    Fase m_fase = Fase::Ferma;
    EsitoUnita m_esito;
    bool m_interrotta = false;
    QElapsedTimer m_orologio;
    QMetaObject::Connection m_ascolto;
    FonteCodici m_fonte_codici;
};
