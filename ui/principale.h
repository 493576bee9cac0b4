// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "collegamento.h"
#include "controllo_campo.h"
#include "elementi.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QLineEdit;
class QRadioButton;

namespace Ui {
class Principale;
}

// The configurator's main window. The handlers keep the names of the
// receiver tool's controls; every exchange with the receiver is left to
// Collegamento.
class Principale : public QWidget, public Elementi
{
    Q_OBJECT

public:
    static const QString TITOLO_APPLICAZIONE;
    static const QString CAPTION;

    explicit Principale(QWidget *parent = nullptr);
    ~Principale() override;

    Collegamento &collegamento() { return m_collegamento; }
    Ui::Principale &elementi() { return *ui; }

    // Replace the system beep and the warning box, e.g. to count or log them.
    void imposta_beep(std::function<void()> beep) { m_beep = std::move(beep); }
    void imposta_avviso(std::function<void(const QString &)> avviso)
    {
        m_avviso = std::move(avviso);
    }

    // Elementi
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

signals:
    void chiusa();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *oggetto, QEvent *evento) override;

private:
    void Form_Load();
    void Form_MouseMove();
    void Tmr_scritte_Timer();

    void txb_Codice_M5_Change() { controlla(Campo::Codice); }
    void txb_FqRx_Change() { controlla(Campo::Frequenza); }
    void txb_tmp_rele_Change() { controlla(Campo::TempoRele); }
    void txb_Usc_imp_Change() { controlla(Campo::TempoImp); }
    void campo_LostFocus(Campo campo);

    void controlla(Campo campo);
    QLineEdit *campo(Campo campo) const;
    QRadioButton *opzione(Opzione opzione) const;
    void collega_opzione(Opzione opzione);
    void prepara_suggerimenti();
    QString suggerimento_porta() const;

    std::unique_ptr<Ui::Principale> ui;
    Collegamento m_collegamento;
    QTimer Tmr_scritte;
    qint16 m_lunghezza_caption = 0;
    bool m_in_controllo = false;
    bool m_chiusura_da_esci = false;
    QHash<QObject *, QString> m_suggerimenti;
    std::function<void()> m_beep;
    std::function<void(const QString &)> m_avviso;
};
