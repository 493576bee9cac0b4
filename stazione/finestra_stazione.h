// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's one window: the profile, a tile per slot, and the station's figures.

#include "banco.h"
#include "riquadro_posto.h"
#include "suoni.h"

#include <QLabel>
#include <QList>
#include <QLocale>
#include <QMainWindow>

class QAction;
class QGridLayout;

// Draws what the station's core tells and forwards the worker's clicks to
// it, through queued signals when the core has a thread of its own: the
// window never reads the core's state, and the core never waits on it.
class FinestraStazione : public QMainWindow
{
    Q_OBJECT

public:
    // profilo, posti: those the core was set up with, until it says otherwise.
    FinestraStazione(Banco &banco, const Profilo &profilo, const QList<PostoConfigurato> &posti,
                     bool muto, QWidget *parent = nullptr);

    RiquadroPosto *riquadro(int indice) const { return m_riquadri.value(indice); }
    Suoni &suoni() { return m_suoni; }
    // The unit file the profile came from, for the settings dialog.
    void imposta_file_profilo(const QString &percorso) { m_file_profilo = percorso; }
    static QLocale numeri();

signals:
    void chiusa();
    // To the core.
    void fine_chiesta();
    void cambio_chiesto(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void cambio_confermato(bool si);
    void esportazione_chiesta(const QString &destinazione);

protected:
    void closeEvent(QCloseEvent *evento) override;

private:
    void collega_banco(Banco &banco);
    void crea_menu();
    void configura(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void esito_posto(int indice, int numero, const EsitoUnita &esito);
    void mostra_totali(const TotaliBanco &t);
    void apri_impostazioni();
    void chiedi_conferma(const QString &domanda);
    void avvisa(const QString &testo);
    void chiedi_esportazione();

    Banco &m_banco;
    Profilo m_profilo;
    QList<PostoConfigurato> m_posti;
    QString m_file_profilo;
    Suoni m_suoni;
    QLabel m_profilo_testo;
    QLabel m_totali;
    QWidget *m_griglia_contenitore = nullptr;
    QGridLayout *m_griglia = nullptr;
    QList<RiquadroPosto *> m_riquadri;
    QAction *m_impostazioni = nullptr;
    bool m_in_corso = false;
    bool m_chiusura = false;
};
