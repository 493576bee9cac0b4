// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "collegamento.h"
#include "controllo_campo.h"
#include "elementi_finestra.h"

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
class Principale : public QWidget
{
    Q_OBJECT

public:
    using Campo = Elementi::Campo;
    using Opzione = Elementi::Opzione;
    static constexpr const auto &CAMPI = Elementi::CAMPI;

    static const QString TITOLO_APPLICAZIONE;
    static const QString CAPTION;

    explicit Principale(QWidget *parent = nullptr);
    ~Principale() override;

    Collegamento &collegamento() { return m_collegamento; }
    Ui::Principale &elementi() { return *ui; }

    // The elements the link's handlers touch.
    ElementiFinestra &elementi_collegamento() { return m_elementi; }
    // Replace the system beep and the warning box, e.g. to count or log them.
    void imposta_beep(std::function<void()> beep) { m_elementi.imposta_beep(std::move(beep)); }
    void imposta_avviso(std::function<void(const QString &)> avviso)
    {
        m_elementi.imposta_avviso(std::move(avviso));
    }

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
    QLineEdit *campo(Campo campo) const { return m_elementi.campo(campo); }
    QRadioButton *opzione(Opzione opzione) const { return m_elementi.opzione(opzione); }
    void collega_opzione(Opzione opzione);
    void prepara_suggerimenti();
    QString suggerimento_porta() const;

    std::unique_ptr<Ui::Principale> ui;
    ElementiFinestra m_elementi;
    Collegamento m_collegamento;
    QTimer Tmr_scritte;
    qint16 m_lunghezza_caption = 0;
    bool m_in_controllo = false;
    bool m_chiusura_da_esci = false;
    QHash<QObject *, QString> m_suggerimenti;
};
