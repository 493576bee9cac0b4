// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "elementi.h"

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// A front end for tests: it records everything the link does to it and can
// click in the middle of a wait, the way a user would, through actions that
// run in the first pass of the event loop in which their condition holds.
class ElementiProva : public Elementi
{
public:
    ElementiProva();

    QString stato() const override { return stato_attuale; }
    void imposta_stato(const QString &testo) override;
    QString testo(Campo campo) const override { return testi.value(campo); }
    void imposta_testo(Campo campo, const QString &testo) override;
    void seleziona(Opzione opzione) override;
    void imposta_banda(const QString &testo) override;
    void mostra_progresso(bool visibile) override;
    void massimo_progresso(int massimo) override;
    void valore_progresso(int valore) override;
    void abilita(Abilitabile elemento, bool abilitato) override;
    QString testo_porta() const override { return porta_scelta; }
    void avviso(const QString &messaggio) override;
    void beep() override;
    void termina() override;

    // Runs azione once, after the first turn in which condizione holds.
    void quando(std::function<bool()> condizione, std::function<void()> azione);
    int azioni_in_sospeso() const;

    // Forgets what was recorded so far; the current texts and states stay.
    void azzera_registri();

    static QString nome(Campo campo);
    static QString nome(Opzione opzione);
    static QString nome(Abilitabile elemento);

    // Current state of the controls.
    QString stato_attuale;
    QMap<Campo, QString> testi;
    QString banda;
    bool progresso_visibile = false;
    int progresso_massimo = 0;
    int progresso_valore = 0;
    QMap<Abilitabile, bool> abilitati;
    QString porta_scelta = QStringLiteral("Com 1");

    // What happened, in order.
    QStringList stati;
    QStringList opzioni; // nome(Opzione) of every selection
    QStringList bande;
    QStringList progresso; // "mostra", "nascondi", "massimo N", "valore N"
    QList<QPair<Abilitabile, bool>> abilitazioni;
    QStringList avvisi;
    QList<qint64> istanti_avvisi; // orologio.elapsed() at each warning
    int beep_suonati = 0;
    int terminazioni = 0;
    // Every recorded call above but abilita, one line each, in order.
    QStringList eventi;

    QElapsedTimer orologio; // started at construction

private:
    struct Azione
    {
        std::function<bool()> condizione;
        std::function<void()> azione;
        bool fatta = false;
    };

    void esegui_azioni();

    QList<Azione> m_azioni;
    QTimer m_sorveglianza;
};
