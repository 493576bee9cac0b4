// SPDX-License-Identifier: GPL-3.0-or-later
// The link's tests' fixture: the window's link handlers on "Com 1", wired to their own m5sim.
#pragma once

#include "cartella_prova.h"
#include "collegamento.h"
#include "elementi_prova.h"
#include "processo_simulatore.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QtTest>

using Campo = Elementi::Campo;
using Abilitabile = Elementi::Abilitabile;
using EsitoTransazione = Collegamento::EsitoTransazione;

// The clicks that start a transaction.
enum class Azione { Connetti, Programma, InitUhf, InitVhf };
Q_DECLARE_METATYPE(Azione)

constexpr int ATTESA_MS = 5000;
inline const Campo TUTTI_I_CAMPI[] = {Campo::Codice, Campo::Frequenza, Campo::TempoRele,
                                      Campo::TempoImp};

inline const QString ALTI = QStringLiteral("ToniAlti");
inline const QString BASSI = QStringLiteral("ToniBassi");
inline const QString MEMO = QStringLiteral("Memo");
inline const QString IMP = QStringLiteral("Imp");
inline const QString STRIP = QStringLiteral("Strip");
inline const QString BIDI = QStringLiteral("Bidi");
inline const QStringList VUOTI{QString(), QString(), QString(), QString()};

// A link on "Com 1" wired to its own simulator.
class ImpiantoCollegamento
{
public:
    explicit ImpiantoCollegamento(const QStringList &argomenti = {});

    bool ricevuti_almeno(qsizetype n) { return sim.ricevuti().size() >= n; }
    // Connects, and forgets what the connect did to the front end.
    void connetti();

    ProcessoSimulatore sim;
    ElementiProva c;
    Collegamento coll;
    QTimer guardia;
    bool avviato = false;
};

// The m5sim arguments of a unit holding these cells, in a file of the folder.
QStringList blocco_da(CartellaProva &cartella, const QByteArray &celle);

// The progress bar's calls for a transaction over cells 0 to massimo.
QStringList avanzamento(int massimo);
QStringList abilitazioni(const ElementiProva &c);
// Code, frequency, relay time, pulse time.
QStringList testi_campi(const QMap<Campo, QString> &testi);
// "Campo=testo" entries, typed into the fields without the link seeing it.
void digita_campi(ElementiProva &c, const QStringList &modifiche);
void clicca(Collegamento &coll, const QStringList &opzioni);
EsitoTransazione esegui(Collegamento &coll, Azione azione);

// What the simulator received, closed by an "E" sent after the link's last byte (on the link's
// own port while it is open), so that a byte sent out of turn cannot go unseen.
QByteArray filo_chiuso(ImpiantoCollegamento &b, qsizetype attesi);

// Runs a step that may fail the test, and stops the test there if it did.
#define PASSO(passo)                                                                               \
    do {                                                                                           \
        passo;                                                                                     \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)
