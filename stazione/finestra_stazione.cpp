// SPDX-License-Identifier: GPL-3.0-or-later
#include "finestra_stazione.h"

#include "dialogo_impostazioni.h"
#include "file_unita.h"
#include "messaggi.h"
#include "rapporto.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QJsonArray>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

using Aspetto = RiquadroPosto::Aspetto;

namespace {
constexpr int COLONNE_MASSIME = 4;

QFont carattere_barra()
{
    QFont f;
    f.setPixelSize(24);
    f.setBold(true);
    return f;
}
} // namespace

FinestraStazione::FinestraStazione(Banco &banco, const QString &percorso_stazione, bool muto,
                                   QWidget *parent)
    : QMainWindow(parent), m_banco(banco), m_percorso_stazione(percorso_stazione), m_suoni(this)
{
    setWindowTitle(tr("Stazione di programmazione M5"));
    m_suoni.imposta_muto(muto);
    auto *centro = new QWidget(this);
    auto *colonna = new QVBoxLayout(centro);
    m_profilo.setFont(carattere_barra());
    m_profilo.setWordWrap(true);
    m_totali.setFont(carattere_barra());
    // Unwrapped, the figures' line (some 1300 px) would make the window wider than many screens.
    m_totali.setWordWrap(true);
    m_totali.setObjectName(QStringLiteral("totali"));
    m_griglia_contenitore = new QWidget(centro);
    colonna->addWidget(&m_profilo);
    colonna->addWidget(m_griglia_contenitore, 1);
    colonna->addWidget(&m_totali);
    setCentralWidget(centro);
    crea_menu();
    crea_riquadri();

    connect(&m_banco, &Banco::stato_posto, this, &FinestraStazione::stato_posto);
    connect(&m_banco, &Banco::progresso_posto, this, [this](int i, int cella, int ultima) {
        if (auto *r = riquadro(i))
            r->imposta_progresso(cella, ultima);
    });
    connect(&m_banco, &Banco::esito_posto, this, &FinestraStazione::esito_posto);
    connect(&m_banco, &Banco::da_togliere, this, [this](int i, int) {
        if (auto *r = riquadro(i))
            r->imposta_aspetto(Aspetto::DaTogliere);
    });
    connect(&m_banco, &Banco::figure_cambiate, this, &FinestraStazione::aggiorna_figure);
    connect(&m_banco, &Banco::fermato, this, [this](const QString &messaggio) {
        auto *box = new QMessageBox(QMessageBox::Critical, windowTitle(),
                                    tr("La stazione si è fermata: il registro non si può "
                                       "scrivere.\n%1")
                                        .arg(messaggio),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    connect(&m_banco, &Banco::concluso, this, [this] {
        if (m_chiusura)
            emit chiusa();
    });
    mostra_profilo();
    aggiorna_figure();
}

void FinestraStazione::crea_menu()
{
    QMenu *menu = menuBar()->addMenu(tr("&Stazione"));
    m_impostazioni =
        menu->addAction(tr("&Impostazioni..."), this, &FinestraStazione::apri_impostazioni);
    menu->addAction(tr("&Esporta il registro in CSV..."), this,
                    &FinestraStazione::chiedi_esportazione);
    QAction *suoni = menu->addAction(tr("S&uoni"));
    suoni->setCheckable(true);
    suoni->setChecked(!m_suoni.muto());
    connect(suoni, &QAction::toggled, this, [this](bool si) { m_suoni.imposta_muto(!si); });
    menu->addSeparator();
    menu->addAction(tr("E&sci"), this, &QWidget::close);
}

void FinestraStazione::crea_riquadri()
{
    qDeleteAll(m_riquadri);
    m_riquadri.clear();
    delete m_griglia;
    m_griglia = new QGridLayout(m_griglia_contenitore);
    m_griglia->setSpacing(8);
    const int n = static_cast<int>(m_banco.posti().size());
    const int colonne =
        std::min(COLONNE_MASSIME, std::max(1, static_cast<int>(std::ceil(std::sqrt(double(n))))));
    for (int i = 0; i < n; ++i) {
        const PostoConfigurato &c = m_banco.posti().at(i);
        auto *r = new RiquadroPosto(c.numero, c.presa, m_griglia_contenitore);
        r->imposta_impronta(m_banco.profilo().impronta());
        m_griglia->addWidget(r, i / colonne, i % colonne);
        m_riquadri.append(r);
    }
    m_ultimo_riuscito = QList<bool>(n, false);
}

void FinestraStazione::mostra_profilo()
{
    const Profilo &p = m_banco.profilo();
    const QString modo =
        p.verifica ? tr("Verifica: nulla viene scritto") : tr("Programmazione con rilettura");
    m_profilo.setText(
        tr("Profilo %1 · %2\n%3").arg(p.impronta(), modo, p.righe().join(QStringLiteral(" · "))));
}

void FinestraStazione::stato_posto(int indice, Posto::Stato stato)
{
    RiquadroPosto *r = riquadro(indice);
    if (!r)
        return;
    switch (stato) {
    case Posto::Stato::Mancante:
    case Posto::Stato::Fermo:
        r->imposta_aspetto(Aspetto::Mancante);
        // An adapter that is there but cannot be used is no adapter to plug in.
        if (const Posto *p = m_banco.posto(indice); p && !p->motivo_assenza().isEmpty())
            r->imposta_motivo(QString::fromLatin1(messaggio::ERRORE_PORTA).trimmed(),
                              {p->motivo_assenza()});
        break;
    case Posto::Stato::AttesaUnita:
        r->imposta_aspetto(Aspetto::Attesa);
        break;
    case Posto::Stato::Lavoro:
        r->imposta_aspetto(Aspetto::Lavoro);
        break;
    case Posto::Stato::Rimozione:
        // OK or FAIL stays up until the unit is taken out.
        break;
    }
    m_impostazioni->setEnabled(!m_banco.al_lavoro());
}

void FinestraStazione::esito_posto(int indice, int, const EsitoUnita &esito)
{
    RiquadroPosto *r = riquadro(indice);
    if (!r)
        return;
    if (esito.riuscita()) {
        r->imposta_aspetto(Aspetto::Riuscito);
        m_suoni.riuscito();
    } else {
        r->imposta_aspetto(Aspetto::Fallito);
        r->imposta_motivo(motivo(esito), dettagli(esito));
        m_suoni.fallito();
    }
    m_impostazioni->setEnabled(!m_banco.al_lavoro());
}

// Numbers as the window's language writes them: "98,5" in Italian.
QLocale FinestraStazione::numeri()
{
    return QLocale(tr("it_IT", "the locale whose numbers the window shows"));
}

QString FinestraStazione::motivo(const EsitoUnita &e)
{
    QString testo;
    switch (e.codice) {
    case codice_uscita::PORTA:
        testo = QString::fromLatin1(messaggio::ERRORE_PORTA);
        break;
    case codice_uscita::TIME_OUT:
        testo = QString::fromLatin1(messaggio::ERRORE_TIME_OUT);
        break;
    case codice_uscita::LETTURA:
        testo = QString::fromLatin1(messaggio::ERRORE_LETTURA);
        break;
    case codice_uscita::FUORI_BANDA:
        testo = QString::fromLatin1(messaggio::FUORI_BANDA);
        break;
    case codice_uscita::FUORI_RANGE:
        testo = QString::fromLatin1(messaggio::VALORE_FUORI_RANGE);
        break;
    case codice_uscita::RILETTURA:
        testo = tr("La rilettura differisce da quanto scritto");
        break;
    case codice_uscita::DIVERSA:
        testo = tr("Valori diversi dal profilo");
        break;
    case codice_uscita::INTERROTTO:
        testo = tr("Interrotto");
        break;
    default:
        testo = tr("Errore %1").arg(e.codice);
        break;
    }
    if (e.scritta_in_parte)
        testo += tr(" · unità programmata in parte: riprogrammarla");
    return testo.trimmed();
}

QStringList FinestraStazione::dettagli(const EsitoUnita &e)
{
    QStringList righe;
    for (const Differenza &d : e.differenze)
        righe << tr("%1: atteso %2, trovato %3")
                     .arg(QString::fromStdString(d.campo), QString::fromStdString(d.attesa),
                          QString::fromStdString(d.trovata));
    if (righe.isEmpty() && e.codice == codice_uscita::RILETTURA)
        righe << e.messaggio;
    return righe;
}

void FinestraStazione::aggiorna_figure()
{
    const Statistiche s = m_banco.figure();
    const QStringList sospette = porte_sospette(s);
    for (int i = 0; i < m_riquadri.size(); ++i) {
        const QString porta = m_banco.porta(i);
        StatistichePorta p;
        for (const StatistichePorta &q : s.porte) {
            if (q.porta == porta)
                p = q;
        }
        m_riquadri[i]->imposta_conti(p.unita, p.ok, p.fallite);
        m_riquadri[i]->imposta_segnalato(sospette.contains(porta));
    }
    const auto resa = s.totale.resa();
    const auto ora = unita_ultima_ora(m_banco.record(), QDateTime::currentDateTimeUtc());
    m_totali.setText(
        tr("Unità %1 · OK %2 · Falliti %3 · Resa al primo passaggio %4 · %5 "
           "unità/ora nell'ultima ora")
            .arg(s.totale.unita)
            .arg(s.totale.ok)
            .arg(s.totale.fallite)
            .arg(resa ? QStringLiteral("%1 %").arg(numeri().toString(*resa * 100, 'f', 1))
                      : QStringLiteral("-"))
            .arg(ora ? numeri().toString(*ora, 'f', 0) : QStringLiteral("-")));
}

void FinestraStazione::apri_impostazioni()
{
    if (m_banco.al_lavoro())
        return;
    DialogoImpostazioni dialogo(m_banco.posti(), m_file_profilo, m_banco.profilo().verifica, this);
    if (dialogo.exec() != QDialog::Accepted)
        return;
    if (m_banco.al_lavoro()) {
        QMessageBox::warning(this, windowTitle(),
                             tr("Un posto è al lavoro: le impostazioni non sono cambiate. "
                                "Riprovare quando nessun posto lavora."));
        return;
    }
    QMessageBox conferma(QMessageBox::Question, windowTitle(),
                         tr("Cambiare profilo e posti della stazione? Il cambio resta nel "
                            "registro."),
                         QMessageBox::NoButton, this);
    QPushButton *si = conferma.addButton(tr("Sì, cambiare"), QMessageBox::YesRole);
    conferma.addButton(tr("No"), QMessageBox::NoRole);
    conferma.exec();
    if (conferma.clickedButton() != si)
        return;
    m_file_profilo = dialogo.file_profilo();
    cambia(dialogo.profilo(), dialogo.posti());
}

void FinestraStazione::cambia(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    QString errore;
    QString da_parte;
    if (!file_stazione::salva(m_percorso_stazione, posti, errore, da_parte))
        QMessageBox::warning(this, windowTitle(),
                             tr("Il file della stazione %1 non si può scrivere: %2")
                                 .arg(m_percorso_stazione, errore));
    QJsonArray elenco;
    for (const PostoConfigurato &p : posti)
        elenco.append(
            QJsonObject{{QStringLiteral("posto"), p.numero}, {QStringLiteral("presa"), p.presa}});
    if (!m_banco.registra_evento(
            QStringLiteral("impostazioni"),
            {{QStringLiteral("profilo"), profilo.impronta()}, {QStringLiteral("posti"), elenco}},
            errore))
        QMessageBox::warning(this, windowTitle(),
                             tr("Il registro non si può scrivere: %1").arg(errore));
    auto riparti = [this, profilo, posti] {
        m_banco.imposta(profilo, posti);
        crea_riquadri();
        mostra_profilo();
        aggiorna_figure();
        m_banco.avvia();
    };
    if (!m_banco.in_corso()) {
        riparti();
        return;
    }
    auto *attesa = new QObject(this);
    connect(&m_banco, &Banco::concluso, attesa, [attesa, riparti] {
        attesa->deleteLater();
        riparti();
    });
    m_banco.termina();
}

void FinestraStazione::chiedi_esportazione()
{
    const QString destinazione = QFileDialog::getSaveFileName(
        this, tr("Esporta il registro in CSV"), QStringLiteral("registro.csv"), tr("CSV (*.csv)"));
    if (destinazione.isEmpty())
        return;
    QString errore;
    if (!esporta_csv(destinazione, errore))
        QMessageBox::warning(this, windowTitle(),
                             tr("%1 non si può scrivere: %2").arg(destinazione, errore));
}

bool FinestraStazione::esporta_csv(const QString &destinazione, QString &errore) const
{
    QFile registro(m_banco.percorso_registro());
    if (!registro.open(QIODevice::ReadOnly)) {
        errore = registro.errorString();
        return false;
    }
    const LetturaRegistro letto = leggi_registro(registro);
    QByteArray csv = rapporto::intestazione_csv();
    for (const RecordRegistro &r : letto.record)
        csv += rapporto::riga_csv(r);
    return file_unita::salva(destinazione, csv, errore);
}

// A slot between units stops at once; a unit in its dialogue ends with "E"
// and is logged as interrupted. The window goes when all have stopped.
void FinestraStazione::closeEvent(QCloseEvent *evento)
{
    if (!m_banco.in_corso()) {
        evento->accept();
        emit chiusa();
        return;
    }
    evento->ignore();
    if (m_chiusura)
        return;
    m_chiusura = true;
    m_banco.termina();
}
