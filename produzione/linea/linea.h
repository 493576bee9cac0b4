// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A production line: many ports on one thread, one unit after the other on each, every unit logged.

#include "incarico.h"
#include "posto.h"
#include "resoconto.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class Distributore;
class Registro;
class Traccia;

// Each port waits by its own signals and timers, so a wait on one never holds
// up another and no port needs a thread. A unit that ends is counted and
// written to the log before anyone hears of it.
class Linea : public QObject
{
    Q_OBJECT

public:
    struct Conti
    {
        int unita = 0;
        int riuscite = 0;
    };

    explicit Linea(const Incarico &incarico, QObject *parent = nullptr);
    ~Linea() override;

    // percorso: the device; empty for "Com com" under its system name.
    Posto &aggiungi(const QString &percorso, int com);
    // Slots that wait for their devices when they go (Posto::imposta_ripresa)
    // also refuse units while another slot's name leads to the same device:
    // a link made later, or a terminal's number given again, would otherwise
    // let one slot take another's units unseen. Whichever slot finds it
    // first, the other looks again at once, rather than wait on it for a unit.
    void imposta_ripresa();
    const QList<Posto *> &posti() const { return m_posti; }
    // The other slot whose name leads to the device of posto's; none when none does.
    Posto *condiviso_con(const Posto *posto) const;

    // Units per port (0: until interrupted), and the silence that tells a unit gone.
    void imposta_unita(int quante);
    void imposta_silenzio(int ms);
    void imposta_traccia(Traccia *traccia);
    // nome: how a message names the log, such as "--log station.jsonl".
    void imposta_registro(Registro *registro, const QString &nome);

    // The store of codes, and with it, a plan: each unit its own code from
    // it, and the records queued for the archive. A slot takes no unit
    // once none is left: the run's status is then esiti::ESAURITI, unless
    // a failure came first.
    void imposta_distributore(Distributore *distributore);
    Distributore *distributore() const { return m_distributore; }
    // Each unit that ends OK gets a label before its record is written:
    // the function gives the reason it could not, empty when it did. The
    // record's "etichetta" says which; the unit's outcome stays its own.
    void imposta_etichette(std::function<QString(const Resoconto &)> etichetta)
    {
        m_etichette = std::move(etichetta);
    }
    // Some slot ended for want of a code.
    bool esaurita() const { return m_esaurita; }

    void avvia();
    // Ctrl-C: a unit in its dialogue ends with "E" and counts as interrupted,
    // a port between units stops now.
    void interrompi();
    // An output lost: no new unit starts; the run's status is esito, unless
    // a failure came first.
    void ferma(int esito, const QString &descrizione);

    bool interrotta() const { return m_interrotta; }
    bool finita() const { return m_in_corso == 0; }
    Conti conti() const { return m_conti; }
    Conti conti(const Posto *posto) const;
    int fallite() const { return m_fallite; }
    // The status and the line of the first failure; 0 when none.
    int primo_fallimento() const { return m_primo_esito; }
    QString primo() const { return m_primo; }

signals:
    // After the log has it.
    void unita_registrata(Posto *posto, const Resoconto &resoconto);
    void unita_da_togliere(Posto *posto, int numero);
    // ferma() was called: no new unit starts.
    void fermata(const QString &descrizione);
    void conclusa();

private:
    static QString dispositivo_condiviso(const Posto *posto, const Posto *altro);
    void conclusa_unita(Posto *posto, int numero, const EsitoUnita &esito);
    void fallimento(int esito, const QString &descrizione);
    void posto_finito(Posto *posto);
    void codici_cambiati();
    // The record's plan fields; its code settled and, with an archive, the
    // record queued for it.
    void archivia(Posto *posto, Resoconto &r);

    const Incarico m_incarico;
    QList<Posto *> m_posti;
    QHash<const Posto *, Conti> m_conti_posti;
    Registro *m_registro = nullptr;
    Distributore *m_distributore = nullptr;
    std::function<QString(const Resoconto &)> m_etichette;
    bool m_esaurita = false;
    QString m_nome_registro;
    Conti m_conti;
    int m_fallite = 0;
    int m_primo_esito = 0;
    QString m_primo;
    int m_in_corso = 0;
    bool m_interrotta = false;
    bool m_fermata = false;
};
