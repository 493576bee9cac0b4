// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the link's handlers touch of the main window. The names follow the
// window's controls.
class Elementi
{
public:
    enum class Campo { Codice, Frequenza, TempoRele, TempoImp };
    enum class Opzione { ToniAlti, ToniBassi, Memo, Imp, Strip, Bidi };
    // The controls that the supervision enables and disables.
    enum class Abilitabile { Connetti, PortaCom, Disconetti, Programma, InitUhf, InitVhf };

    // The four entry fields, in the order the receiver tool empties them.
    static constexpr Campo CAMPI[] = {Campo::Codice, Campo::Frequenza, Campo::TempoRele,
                                      Campo::TempoImp};

    virtual ~Elementi() = default;

    // txb_stato_con
    virtual QString stato() const = 0;
    virtual void imposta_stato(const QString &testo) = 0;

    // txb_Codice_M5, txb_FqRx, txb_tmp_rele, txb_Usc_imp. Setting a text runs
    // the field's own checks, as typing would.
    virtual QString testo(Campo campo) const = 0;
    virtual void imposta_testo(Campo campo, const QString &testo) = 0;

    // Shows the option button as selected. The link has already stored its
    // value, as the button's click handling would.
    virtual void seleziona(Opzione opzione) = 0;

    // Text1
    virtual void imposta_banda(const QString &testo) = 0;

    // ProgressBar1
    virtual void mostra_progresso(bool visibile) = 0;
    virtual void massimo_progresso(int massimo) = 0;
    virtual void valore_progresso(int valore) = 0;

    virtual void abilita(Abilitabile elemento, bool abilitato) = 0;

    // Text of Cmb_com, for the port choice.
    virtual QString testo_porta() const = 0;

    // Modal warning box with the application title and one OK button.
    virtual void avviso(const QString &messaggio) = 0;
    virtual void beep() = 0;

    // Close the main window and end the program.
    virtual void termina() = 0;
};
