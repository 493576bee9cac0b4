// SPDX-License-Identifier: GPL-3.0-or-later
#include "elementi_finestra.h"

#include "ui_principale.h"

#include <QApplication>
#include <QMessageBox>

ElementiFinestra::ElementiFinestra(Ui::Principale &ui, QWidget &finestra, const QString &titolo,
                                   std::function<void()> chiudi)
    : ui(ui), m_finestra(finestra), m_titolo(titolo), m_chiudi(std::move(chiudi))
{
}

QLineEdit *ElementiFinestra::campo(Campo c) const
{
    switch (c) {
    case Campo::Codice:
        return ui.txb_Codice_M5;
    case Campo::Frequenza:
        return ui.txb_FqRx;
    case Campo::TempoRele:
        return ui.txb_tmp_rele;
    case Campo::TempoImp:
        return ui.txb_Usc_imp;
    }
    return nullptr;
}

QRadioButton *ElementiFinestra::opzione(Opzione o) const
{
    switch (o) {
    case Opzione::ToniAlti:
        return ui.Opt_toni_alti;
    case Opzione::ToniBassi:
        return ui.Opt_toni_bassi;
    case Opzione::Memo:
        return ui.Opt_memo;
    case Opzione::Imp:
        return ui.Opt_imp;
    case Opzione::Strip:
        return ui.opt_strip;
    case Opzione::Bidi:
        return ui.Opt_bidi;
    }
    return nullptr;
}

QString ElementiFinestra::stato() const
{
    return ui.txb_stato_con->text();
}

void ElementiFinestra::imposta_stato(const QString &testo)
{
    ui.txb_stato_con->setText(testo);
}

QString ElementiFinestra::testo(Campo c) const
{
    return campo(c)->text();
}

void ElementiFinestra::imposta_testo(Campo c, const QString &testo)
{
    campo(c)->setText(testo);
}

void ElementiFinestra::seleziona(Opzione o)
{
    QRadioButton *b = opzione(o);
    const QSignalBlocker silenzio(b);
    b->setChecked(true);
}

void ElementiFinestra::imposta_banda(const QString &testo)
{
    ui.Text1->setText(testo);
}

void ElementiFinestra::mostra_progresso(bool visibile)
{
    ui.ProgressBar1->setVisible(visibile);
}

void ElementiFinestra::massimo_progresso(int massimo)
{
    ui.ProgressBar1->setMaximum(massimo);
}

void ElementiFinestra::valore_progresso(int valore)
{
    ui.ProgressBar1->setValue(valore);
}

void ElementiFinestra::abilita(Abilitabile elemento, bool abilitato)
{
    QWidget *w = nullptr;
    switch (elemento) {
    case Abilitabile::Connetti:
        w = ui.Cmd_connetti;
        break;
    case Abilitabile::PortaCom:
        w = ui.Cmb_com;
        break;
    case Abilitabile::Disconetti:
        w = ui.Cmd_disconetti;
        break;
    case Abilitabile::Programma:
        w = ui.cmd_programma;
        break;
    case Abilitabile::InitUhf:
        w = ui.Cmd_init_uhf;
        break;
    case Abilitabile::InitVhf:
        w = ui.Cmd_init_vhf;
        break;
    }
    if (w->isEnabled() != abilitato)
        w->setEnabled(abilitato);
}

QString ElementiFinestra::testo_porta() const
{
    return ui.Cmb_com->currentText();
}

void ElementiFinestra::avviso(const QString &messaggio)
{
    if (m_avviso) {
        m_avviso(messaggio);
        return;
    }
    QMessageBox box(QMessageBox::Warning, m_titolo, messaggio, QMessageBox::Ok, &m_finestra);
    box.exec();
}

void ElementiFinestra::beep()
{
    if (m_beep)
        m_beep();
    else
        QApplication::beep();
}

void ElementiFinestra::termina()
{
    m_chiudi();
}
