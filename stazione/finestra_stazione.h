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
#include <QPointer>

#include <optional>

class QAction;
class QGridLayout;
class DialogoImpostazioni;

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
    // The archive the core was given, for the settings dialog.
    void imposta_archivio(const QString &indirizzo) { m_archivio = indirizzo; }
    static QLocale numeri();
    // The whole screen, with a window manager or without one (a kiosk
    // session), where maximizing alone does nothing.
    void mostra();

public slots:
    // "Esci": with units in their dialogue, asks whether to wait for them.
    // close() never asks: a signal to end must end.
    void esci();

signals:
    void chiusa();
    // To the core.
    void fine_chiesta();
    void fermata_chiesta();
    void cambio_chiesto(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void cambio_confermato(bool si);
    // Before cambio_confermato(true): the archive of the change.
    void archivio_chiesto(const QString &indirizzo);
    void esportazione_chiesta(const QString &destinazione);

protected:
    void closeEvent(QCloseEvent *evento) override;
    void resizeEvent(QResizeEvent *evento) override;

private:
    enum class Uscita { Nessuna, Attesa, Interruzione };

    void collega_banco(Banco &banco);
    void crea_menu();
    void configura(const Profilo &profilo, const QList<PostoConfigurato> &posti);
    void esito_posto(int indice, int numero, const EsitoUnita &esito);
    void mostra_totali(const TotaliBanco &t);
    QString testo_archivio(const TotaliBanco &t) const;
    void mostra_suoni();
    void apri_impostazioni();
    void chiedi_conferma(const QString &domanda);
    void avvisa(const QString &testo);
    void chiedi_esportazione();
    void chiedi_uscita();
    void attendi_e_esci();
    void interrompi_e_esci();
    void concluso();

    Banco &m_banco;
    Profilo m_profilo;
    QList<PostoConfigurato> m_posti;
    QString m_file_profilo;
    QString m_archivio;
    std::optional<QString> m_archivio_chiesto; // with the change asked, until it is answered
    Suoni m_suoni;
    QLabel m_profilo_testo;
    QLabel m_totali;
    QWidget *m_griglia_contenitore = nullptr;
    QGridLayout *m_griglia = nullptr;
    QList<RiquadroPosto *> m_riquadri;
    QAction *m_azione_suoni = nullptr;
    QPointer<DialogoImpostazioni> m_dialogo;
    QPointer<QWidget> m_domanda_uscita;
    bool m_in_corso = false;
    bool m_al_lavoro = false;
    Uscita m_uscita = Uscita::Nessuna;
};
