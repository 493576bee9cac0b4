// SPDX-License-Identifier: GPL-3.0-or-later
// The window tests' fixture: the real window, shown, and what they read off it or do to it.
#pragma once

#include "finestra_prova.h"
#include "processo_simulatore.h"

#include <QString>
#include <QStringList>
#include <QWidget>

inline const QString CODICE_M5 =
    QStringLiteral(" Inserire il Codice dell'Quorvanta M5 (Renge 1 - 4096)  ");
inline const QString FREQ_RX = QStringLiteral(
    " Inserire la frequenza di Rx Vhf o Uhf secondo la Banda (es. 160.9125 - 440.9125)");

// The supervised controls enabled in each state of the link.
inline const QStringList RIGA_NON_CONNESSO = {QStringLiteral("Cmd_connetti"),
                                              QStringLiteral("Cmb_com")};
inline const QStringList RIGA_IN_ATTESA = {QStringLiteral("Cmd_disconetti")};
inline const QStringList RIGA_CONNESSO = {
    QStringLiteral("Cmd_disconetti"), QStringLiteral("cmd_programma"),
    QStringLiteral("Cmd_init_uhf"), QStringLiteral("Cmd_init_vhf")};
inline const QStringList RIGA_IN_PROGRAMMAZIONE = {QStringLiteral("Cmd_disconetti"),
                                                   QStringLiteral("Cmd_init_uhf"),
                                                   QStringLiteral("Cmd_init_vhf")};

struct ImpiantoFinestra : FinestraProva
{
    ImpiantoFinestra();

    QString stato();
    QStringList campi();
    // The supervised controls that are enabled, in a fixed order.
    QStringList abilitati();
    // Waits for the first supervision ticks, then "Connetti" on "Com 1";
    // returns after the whole connect and read.
    void connetti(ProcessoSimulatore &sim);
    // The pointer moves over the control, delivered to the window as the
    // platform would.
    void muovi_su(QWidget *controllo);
};

void clic(QWidget *w);
