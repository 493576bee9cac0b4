// SPDX-License-Identifier: GPL-3.0-or-later
#include "finestra_stazione.h"

#include "dialogo_impostazioni.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

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

FinestraStazione::FinestraStazione(Banco &banco, const Profilo &profilo,
                                   const QList<PostoConfigurato> &posti, bool muto, QWidget *parent)
    : QMainWindow(parent), m_banco(banco), m_suoni(this)
{
    setWindowTitle(tr("Stazione di programmazione M5"));
    m_suoni.imposta_muto(muto);
    auto *centro = new QWidget(this);
    auto *colonna = new QVBoxLayout(centro);
    m_profilo_testo.setFont(carattere_barra());
    m_profilo_testo.setWordWrap(true);
    m_totali.setFont(carattere_barra());
    // Unwrapped, the figures' line (some 1300 px) would make the window wider than many screens.
    m_totali.setWordWrap(true);
    m_totali.setObjectName(QStringLiteral("totali"));
    m_griglia_contenitore = new QWidget(centro);
    colonna->addWidget(&m_profilo_testo);
    colonna->addWidget(m_griglia_contenitore, 1);
    colonna->addWidget(&m_totali);
    setCentralWidget(centro);
    crea_menu();
    configura(profilo, posti);
    mostra_totali({});
    collega_banco(banco);
}

// Across threads each of these is queued: the core goes on while the window draws.
void FinestraStazione::collega_banco(Banco &banco)
{
    connect(&banco, &Banco::configurato, this,
            [this](const Profilo &p, const QList<PostoConfigurato> &l) {
                m_in_corso = true;
                configura(p, l);
            });
    connect(&banco, &Banco::quadro_cambiato, this, [this](int i, const QuadroPosto &q) {
        if (auto *r = riquadro(i))
            r->imposta(q);
    });
    connect(&banco, &Banco::totali_cambiati, this, &FinestraStazione::mostra_totali);
    connect(&banco, &Banco::esito_posto, this, &FinestraStazione::esito_posto);
    connect(&banco, &Banco::bloccato, this, [this](bool si) { m_impostazioni->setEnabled(!si); });
    connect(&banco, &Banco::conferma_chiesta, this, &FinestraStazione::chiedi_conferma);
    connect(&banco, &Banco::cambio_rifiutato, this, &FinestraStazione::avvisa);
    connect(&banco, &Banco::avviso, this, &FinestraStazione::avvisa);
    connect(&banco, &Banco::esportato, this,
            [this](const QString &destinazione, const QString &errore) {
                if (!errore.isEmpty())
                    avvisa(tr("%1 non si può scrivere: %2").arg(destinazione, errore));
            });
    connect(&banco, &Banco::fermato, this, [this](const QString &messaggio) {
        auto *box = new QMessageBox(QMessageBox::Critical, windowTitle(),
                                    tr("La stazione si è fermata: il registro non si può "
                                       "scrivere.\n%1")
                                        .arg(messaggio),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    connect(&banco, &Banco::concluso, this, [this] {
        m_in_corso = false;
        if (m_chiusura)
            emit chiusa();
    });
    connect(this, &FinestraStazione::fine_chiesta, &banco, &Banco::interrompi);
    connect(this, &FinestraStazione::cambio_chiesto, &banco, &Banco::chiedi_cambio);
    connect(this, &FinestraStazione::cambio_confermato, &banco, &Banco::conferma_cambio);
    connect(this, &FinestraStazione::esportazione_chiesta, &banco, &Banco::esporta_csv);
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

void FinestraStazione::configura(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    m_profilo = profilo;
    m_posti = posti;
    qDeleteAll(m_riquadri);
    m_riquadri.clear();
    delete m_griglia;
    m_griglia = new QGridLayout(m_griglia_contenitore);
    m_griglia->setSpacing(8);
    const int n = static_cast<int>(posti.size());
    const int colonne =
        std::min(COLONNE_MASSIME, std::max(1, static_cast<int>(std::ceil(std::sqrt(double(n))))));
    for (int i = 0; i < n; ++i) {
        auto *r = new RiquadroPosto(posti.at(i).numero, posti.at(i).presa, m_griglia_contenitore);
        r->imposta_impronta(profilo.impronta());
        m_griglia->addWidget(r, i / colonne, i % colonne);
        m_riquadri.append(r);
    }
    const QString modo =
        profilo.verifica ? tr("Verifica: nulla viene scritto") : tr("Programmazione con rilettura");
    m_profilo_testo.setText(
        tr("Profilo %1 · %2\n%3")
            .arg(profilo.impronta(), modo, profilo.righe().join(QStringLiteral(" · "))));
}

void FinestraStazione::esito_posto(int, int, const EsitoUnita &esito)
{
    if (esito.riuscita())
        m_suoni.riuscito();
    else
        m_suoni.fallito();
}

// Numbers as the window's language writes them: "98,5" in Italian.
QLocale FinestraStazione::numeri()
{
    return QLocale(tr("it_IT", "the locale whose numbers the window shows"));
}

void FinestraStazione::mostra_totali(const TotaliBanco &t)
{
    m_totali.setText(
        tr("Unità %1 · OK %2 · Falliti %3 · Resa al primo passaggio %4 · %5 "
           "unità/ora nell'ultima ora")
            .arg(t.unita)
            .arg(t.ok)
            .arg(t.fallite)
            .arg(t.resa ? QStringLiteral("%1 %").arg(numeri().toString(*t.resa * 100, 'f', 1))
                        : QStringLiteral("-"))
            .arg(t.ora ? numeri().toString(*t.ora, 'f', 0) : QStringLiteral("-")));
}

void FinestraStazione::apri_impostazioni()
{
    DialogoImpostazioni dialogo(m_posti, m_file_profilo, m_profilo.verifica, this);
    connect(&dialogo, &DialogoImpostazioni::assegnazione_chiesta, &m_banco, &Banco::assegna);
    connect(&dialogo, &DialogoImpostazioni::assegnazione_annullata, &m_banco,
            &Banco::annulla_assegnazione);
    connect(&m_banco, &Banco::presa_trovata, &dialogo, &DialogoImpostazioni::presa_trovata);
    if (dialogo.exec() != QDialog::Accepted)
        return;
    m_file_profilo = dialogo.file_profilo();
    emit cambio_chiesto(dialogo.profilo(), dialogo.posti());
}

void FinestraStazione::chiedi_conferma(const QString &domanda)
{
    QMessageBox conferma(QMessageBox::Question, windowTitle(), domanda, QMessageBox::NoButton,
                         this);
    QPushButton *si = conferma.addButton(tr("Sì, cambiare"), QMessageBox::YesRole);
    conferma.addButton(tr("No"), QMessageBox::NoRole);
    conferma.exec();
    emit cambio_confermato(conferma.clickedButton() == si);
}

void FinestraStazione::avvisa(const QString &testo)
{
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), testo, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void FinestraStazione::chiedi_esportazione()
{
    const QString destinazione = QFileDialog::getSaveFileName(
        this, tr("Esporta il registro in CSV"), QStringLiteral("registro.csv"), tr("CSV (*.csv)"));
    if (!destinazione.isEmpty())
        emit esportazione_chiesta(destinazione);
}

// A slot between units stops at once; a unit in its dialogue ends with "E"
// and is logged as interrupted. The window goes when all have stopped.
void FinestraStazione::closeEvent(QCloseEvent *evento)
{
    if (!m_in_corso) {
        evento->accept();
        emit chiusa();
        return;
    }
    evento->ignore();
    if (m_chiusura)
        return;
    m_chiusura = true;
    emit fine_chiesta();
}
