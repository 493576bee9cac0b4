// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's elements as the link's handlers touch them, over its form.

#include "elementi.h"

#include <QString>

#include <functional>

class QLineEdit;
class QRadioButton;
class QWidget;

namespace Ui {
class Principale;
}

// Knows the form, not the window's class: the handlers that call it and the
// window that owns them stay one above the other.
class ElementiFinestra : public Elementi
{
public:
    // titolo: the warning box's; chiudi: "ESCI" closing the window.
    ElementiFinestra(Ui::Principale &ui, QWidget &finestra, const QString &titolo,
                     std::function<void()> chiudi);

    QLineEdit *campo(Campo campo) const;
    QRadioButton *opzione(Opzione opzione) const;

    // Replace the system beep and the warning box, e.g. to count or log them.
    void imposta_beep(std::function<void()> beep) { m_beep = std::move(beep); }
    void imposta_avviso(std::function<void(const QString &)> avviso)
    {
        m_avviso = std::move(avviso);
    }

    QString stato() const override;
    void imposta_stato(const QString &testo) override;
    QString testo(Campo campo) const override;
    void imposta_testo(Campo campo, const QString &testo) override;
    void seleziona(Opzione opzione) override;
    void imposta_banda(const QString &testo) override;
    void mostra_progresso(bool visibile) override;
    void massimo_progresso(int massimo) override;
    void valore_progresso(int valore) override;
    void abilita(Abilitabile elemento, bool abilitato) override;
    QString testo_porta() const override;
    void avviso(const QString &messaggio) override;
    void beep() override;
    void termina() override;

private:
    Ui::Principale &ui;
    QWidget &m_finestra;
    const QString m_titolo;
    std::function<void()> m_chiudi;
    std::function<void()> m_beep;
    std::function<void(const QString &)> m_avviso;
};
