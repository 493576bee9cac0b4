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
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
constexpr int COLONNE_MASSIME = 4;
// Apart, so that two tiles of one colour never read as one.
constexpr int DISTACCO_RIQUADRI = 8;

QFont carattere_barra(int pixel)
{
    QFont f;
    f.setPixelSize(pixel);
    f.setBold(true);
    return f;
}

// The profile's and the totals' type, with the window's height.
int pixel_barra(int altezza)
{
    return std::clamp(altezza / 36, 11, 24);
}

// What needs a look, on a ground of its own and marked, so that colour is
// not the only sign; unbroken, so that the mark and its words stay together.
QString avviso_html(const QString &testo)
{
    return QStringLiteral("<span style=\"background-color:%1; color:#000000\">&nbsp;!&nbsp;"
                          "%2&nbsp;</span>")
        .arg(RiquadroPosto::colore_avviso().name(),
             testo.toHtmlEscaped().replace(QLatin1Char(' '), QLatin1String("&nbsp;")));
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
    m_profilo_testo.setWordWrap(true);
    // Unwrapped, the figures' line (some 1300 px) would make the window wider than many screens.
    m_totali.setWordWrap(true);
    m_totali.setTextFormat(Qt::RichText);
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
    connect(&banco, &Banco::unita_in_dialogo, this, [this](bool si) { m_al_lavoro = si; });
    connect(&banco, &Banco::conferma_chiesta, this, &FinestraStazione::chiedi_conferma);
    connect(&banco, &Banco::avviso, this, &FinestraStazione::avvisa);
    connect(&banco, &Banco::esportato, this,
            [this](const QString &destinazione, const QString &errore) {
                if (!errore.isEmpty())
                    avvisa(tr("%1 non si può scrivere: %2").arg(destinazione, errore));
            });
    connect(&banco, &Banco::fermato, this, [this](const QString &messaggio) {
        auto *box = new QMessageBox(QMessageBox::Critical, windowTitle(),
                                    tr("La stazione si è fermata: il registro, i codici o "
                                       "l'archivio non si possono usare.\n%1")
                                        .arg(messaggio),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    connect(&banco, &Banco::concluso, this, &FinestraStazione::concluso);
    connect(this, &FinestraStazione::fine_chiesta, &banco, &Banco::interrompi);
    connect(this, &FinestraStazione::fermata_chiesta, &banco, &Banco::ferma);
    connect(this, &FinestraStazione::cambio_chiesto, &banco, &Banco::chiedi_cambio);
    connect(this, &FinestraStazione::cambio_confermato, &banco, &Banco::conferma_cambio);
    // Queued as the change is: the core has it before it saves the change.
    connect(this, &FinestraStazione::archivio_chiesto, &banco, &Banco::imposta_archivio);
    connect(this, &FinestraStazione::esportazione_chiesta, &banco, &Banco::esporta_csv);
}

void FinestraStazione::crea_menu()
{
    QMenu *menu = menuBar()->addMenu(tr("&Stazione"));
    // Never disabled: the core takes a change at any time, and holds new
    // units back until it applies.
    menu->addAction(tr("&Impostazioni..."), this, &FinestraStazione::apri_impostazioni)
        ->setObjectName(QStringLiteral("impostazioni"));
    menu->addAction(tr("&Esporta il registro in CSV..."), this,
                    &FinestraStazione::chiedi_esportazione);
    m_azione_suoni = menu->addAction(QString());
    m_azione_suoni->setObjectName(QStringLiteral("suoni"));
    m_azione_suoni->setCheckable(true);
    // triggered, not toggled: a device that goes must not mute the station for good.
    connect(m_azione_suoni, &QAction::triggered, this,
            [this](bool si) { m_suoni.imposta_muto(!si); });
    connect(&m_suoni, &Suoni::audio_cambiato, this, &FinestraStazione::mostra_suoni);
    mostra_suoni();
    menu->addSeparator();
    menu->addAction(tr("E&sci"), this, &FinestraStazione::esci)
        ->setObjectName(QStringLiteral("esci"));
}

void FinestraStazione::mostra_suoni()
{
    const bool audio = m_suoni.audio();
    m_azione_suoni->setEnabled(audio);
    m_azione_suoni->setChecked(audio && !m_suoni.muto());
    m_azione_suoni->setText(audio ? tr("S&uoni") : tr("S&uoni (nessun dispositivo audio)"));
}

// A new layout on each change: a grid keeps the rows it once had.
void FinestraStazione::configura(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    m_profilo = profilo;
    m_posti = posti;
    qDeleteAll(m_riquadri);
    m_riquadri.clear();
    delete m_griglia;
    m_griglia = new QGridLayout(m_griglia_contenitore);
    m_griglia->setSpacing(DISTACCO_RIQUADRI);
    m_griglia->setContentsMargins(0, 0, 0, 0);
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

void FinestraStazione::mostra()
{
    if (const QScreen *s = screen())
        setGeometry(s->availableGeometry());
    showMaximized();
}

void FinestraStazione::resizeEvent(QResizeEvent *evento)
{
    QMainWindow::resizeEvent(evento);
    const int px = pixel_barra(height());
    if (m_totali.font().pixelSize() == px)
        return;
    m_profilo_testo.setFont(carattere_barra(px));
    m_totali.setFont(carattere_barra(px));
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
    QStringList parti{
        tr("Unità %1 · OK %2 · Falliti %3 · Resa al primo passaggio %4 · %5 "
           "unità nell'ultima ora")
            .arg(t.unita)
            .arg(t.ok)
            .arg(t.fallite)
            .arg(t.resa ? QStringLiteral("%1 %").arg(numeri().toString(*t.resa * 100, 'f', 1))
                        : QStringLiteral("-"))
            .arg(t.ora)
            .toHtmlEscaped()};
    if (t.codici_rimasti) {
        const QString codici =
            tr("Codici rimasti: %1 di %2").arg(*t.codici_rimasti).arg(t.codici_piano);
        parti << (t.codici_pochi ? avviso_html(codici) : codici.toHtmlEscaped());
    }
    if (t.archivio) {
        const QString archivio = testo_archivio(t);
        parti << (t.archivio_connesso ? archivio.toHtmlEscaped() : avviso_html(archivio));
    }
    m_totali.setText(parti.join(QStringLiteral(" · ")));
}

QString FinestraStazione::testo_archivio(const TotaliBanco &t) const
{
    if (t.archivio_connesso)
        return tr("Archivio: connesso");
    if (!t.archivio_offline_da.isValid())
        return tr("Archivio: non in linea, %1 in attesa").arg(t.archivio_in_attesa);
    // The day too, once it is not today's.
    const QDateTime da = t.archivio_offline_da.toLocalTime();
    const QString quando = da.date() == QDate::currentDate()
                               ? da.toString(QStringLiteral("HH:mm"))
                               : numeri().toString(da.date(), QLocale::ShortFormat) +
                                     QLatin1Char(' ') + da.toString(QStringLiteral("HH:mm"));
    return tr("Archivio: non in linea dal %1, %2 in attesa").arg(quando).arg(t.archivio_in_attesa);
}

// Not modal to the application: the tiles go on being drawn, and what was
// typed stays until it is saved, whatever the slots do meanwhile.
void FinestraStazione::apri_impostazioni()
{
    if (m_dialogo) {
        m_dialogo->raise();
        m_dialogo->activateWindow();
        return;
    }
    auto *dialogo = new DialogoImpostazioni(m_posti, m_file_profilo, m_profilo.verifica,
                                            m_profilo.piano ? m_profilo.origine_piano : QString(),
                                            m_archivio, this);
    dialogo->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialogo, &DialogoImpostazioni::assegnazione_chiesta, &m_banco, &Banco::assegna);
    connect(dialogo, &DialogoImpostazioni::assegnazione_annullata, &m_banco,
            &Banco::annulla_assegnazione);
    connect(&m_banco, &Banco::presa_trovata, dialogo, &DialogoImpostazioni::presa_trovata);
    connect(&m_banco, &Banco::assegnazione_scaduta, dialogo,
            &DialogoImpostazioni::assegnazione_scaduta);
    connect(dialogo, &QDialog::accepted, this, [this, dialogo] {
        m_file_profilo = dialogo->file_profilo();
        m_archivio_chiesto = dialogo->archivio();
        emit cambio_chiesto(dialogo->profilo(), dialogo->posti());
    });
    m_dialogo = dialogo;
    dialogo->open();
}

void FinestraStazione::chiedi_conferma(const QString &domanda)
{
    QMessageBox conferma(QMessageBox::Question, windowTitle(), domanda, QMessageBox::NoButton,
                         this);
    QPushButton *si = conferma.addButton(tr("Sì, cambiare"), QMessageBox::YesRole);
    conferma.addButton(tr("No"), QMessageBox::NoRole);
    conferma.exec();
    const bool confermato = conferma.clickedButton() == si;
    const std::optional<QString> archivio = std::exchange(m_archivio_chiesto, std::nullopt);
    if (confermato && archivio) {
        m_archivio = *archivio;
        emit archivio_chiesto(*archivio);
    }
    emit cambio_confermato(confermato);
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

void FinestraStazione::esci()
{
    if (m_in_corso && m_al_lavoro && m_uscita == Uscita::Nessuna)
        chiedi_uscita();
    else
        close();
}

void FinestraStazione::chiedi_uscita()
{
    if (m_domanda_uscita) {
        m_domanda_uscita->raise();
        return;
    }
    const auto al_lavoro = std::count_if(m_riquadri.cbegin(), m_riquadri.cend(), [](auto *r) {
        return r->aspetto() == RiquadroPosto::Aspetto::Lavoro;
    });
    auto *domanda = new QMessageBox(QMessageBox::Question, windowTitle(),
                                    tr("%n unità in lavorazione. Uscire?", nullptr,
                                       static_cast<int>(std::max<qsizetype>(1, al_lavoro))),
                                    QMessageBox::NoButton, this);
    domanda->setObjectName(QStringLiteral("uscita"));
    domanda->setAttribute(Qt::WA_DeleteOnClose);
    connect(domanda->addButton(tr("Attendere la fine, poi uscire"), QMessageBox::AcceptRole),
            &QPushButton::clicked, this, &FinestraStazione::attendi_e_esci);
    connect(domanda->addButton(tr("Interrompere e uscire"), QMessageBox::DestructiveRole),
            &QPushButton::clicked, this, &FinestraStazione::interrompi_e_esci);
    domanda->setDefaultButton(domanda->addButton(tr("Annulla"), QMessageBox::RejectRole));
    m_domanda_uscita = domanda;
    domanda->open();
}

// No new unit; each in its dialogue ends as it would have, and is logged as such.
void FinestraStazione::attendi_e_esci()
{
    if (!m_in_corso) {
        emit chiusa();
        return;
    }
    m_uscita = Uscita::Attesa;
    emit fermata_chiesta();
}

// A slot between units stops at once; a unit in its dialogue ends with "E"
// and is logged as interrupted.
void FinestraStazione::interrompi_e_esci()
{
    if (!m_in_corso) {
        emit chiusa();
        return;
    }
    if (m_uscita == Uscita::Interruzione)
        return;
    m_uscita = Uscita::Interruzione;
    emit fine_chiesta();
}

void FinestraStazione::concluso()
{
    m_in_corso = false;
    if (m_uscita != Uscita::Nessuna)
        emit chiusa();
}

// The window goes when all have stopped. The window manager's close button
// asks as "Esci" does; close() from the program never asks.
void FinestraStazione::closeEvent(QCloseEvent *evento)
{
    if (!m_in_corso) {
        evento->accept();
        emit chiusa();
        return;
    }
    evento->ignore();
    if (evento->spontaneous() && m_al_lavoro && m_uscita == Uscita::Nessuna)
        chiedi_uscita();
    else
        interrompi_e_esci();
}
