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

class FinestraStazione : public QMainWindow
{
    Q_OBJECT

public:
    // percorso_stazione: the station file the settings are saved to.
    FinestraStazione(Banco &banco, const QString &percorso_stazione, bool muto,
                     QWidget *parent = nullptr);

    RiquadroPosto *riquadro(int indice) const { return m_riquadri.value(indice); }
    Suoni &suoni() { return m_suoni; }
    // The unit file the profile came from, for the settings dialog.
    void imposta_file_profilo(const QString &percorso) { m_file_profilo = percorso; }
    // The Italian words for what became of a unit, and each value that differs.
    static QString motivo(const EsitoUnita &esito);
    static QStringList dettagli(const EsitoUnita &esito);
    static QLocale numeri();
    // Writes the log as CSV; false with the reason.
    bool esporta_csv(const QString &destinazione, QString &errore) const;

signals:
    void chiusa();

protected:
    void closeEvent(QCloseEvent *evento) override;

private:
    void crea_menu();
    void crea_riquadri();
    void mostra_profilo();
    void stato_posto(int indice, Posto::Stato stato);
    void esito_posto(int indice, int numero, const EsitoUnita &esito);
    void aggiorna_figure();
    void apri_impostazioni();
    void chiedi_esportazione();
    void cambia(const Profilo &profilo, const QList<PostoConfigurato> &posti);

    Banco &m_banco;
    const QString m_percorso_stazione;
    QString m_file_profilo;
    Suoni m_suoni;
    QLabel m_profilo;
    QLabel m_totali;
    QWidget *m_griglia_contenitore = nullptr;
    QGridLayout *m_griglia = nullptr;
    QList<RiquadroPosto *> m_riquadri;
    QList<bool> m_ultimo_riuscito;
    QAction *m_impostazioni = nullptr;
    bool m_chiusura = false;
};
