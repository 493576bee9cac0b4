// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogo_impostazioni.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// A socket's name as udev makes it, behind a hub: the field shows it whole.
const QString PRESA_LUNGA =
    QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4.2:1.0-port0");
} // namespace

DialogoImpostazioni::DialogoImpostazioni(const QList<PostoConfigurato> &posti,
                                         const QString &file_profilo, bool verifica,
                                         const QString &piano, const QString &archivio,
                                         QWidget *parent)
    : QDialog(parent), m_file_profilo(file_profilo), m_archivio(archivio)
{
    setWindowTitle(tr("Impostazioni della stazione"));
    auto *colonna = new QVBoxLayout(this);
    auto *profilo = new QHBoxLayout;
    m_nome_profilo = new QLabel(file_profilo, this);
    auto *scegli = new QPushButton(tr("Scegli il file dell'unità..."), this);
    connect(scegli, &QPushButton::clicked, this, &DialogoImpostazioni::scegli_profilo);
    profilo->addWidget(new QLabel(tr("Profilo:"), this));
    profilo->addWidget(m_nome_profilo, 1);
    profilo->addWidget(scegli);
    colonna->addLayout(profilo);
    m_verifica = new QCheckBox(tr("Solo verifica: nulla viene scritto"), this);
    m_verifica->setChecked(verifica);
    colonna->addWidget(m_verifica);
    colonna->addLayout(crea_produzione(piano, archivio));

    // Sixteen rows do not fit a small screen: they scroll.
    QWidget *righe = crea_righe(posti);
    auto *scorrimento = new QScrollArea(this);
    scorrimento->setWidget(righe);
    scorrimento->setWidgetResizable(true);
    colonna->addWidget(scorrimento, 1);
    m_stato = new QLabel(this);
    m_stato->setObjectName(QStringLiteral("stato"));
    m_stato->setWordWrap(true);
    colonna->addWidget(m_stato);
    auto *bottoni = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    // Qt's own words would be English in an Italian window.
    bottoni->button(QDialogButtonBox::Save)->setText(tr("Salva"));
    bottoni->button(QDialogButtonBox::Cancel)->setText(tr("Annulla"));
    connect(bottoni, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(bottoni, &QDialogButtonBox::rejected, this, &QDialog::reject);
    colonna->addWidget(bottoni);
    dimensiona(righe, scorrimento);
}

QLayout *DialogoImpostazioni::crea_produzione(const QString &piano, const QString &archivio)
{
    auto *griglia = new QGridLayout;
    m_piano = new QLineEdit(piano, this);
    m_piano->setObjectName(QStringLiteral("piano"));
    m_piano->setPlaceholderText(tr("nessuno: il codice del profilo; oppure 1-500, o un file"));
    auto *scegli = new QPushButton(tr("File..."), this);
    connect(scegli, &QPushButton::clicked, this, &DialogoImpostazioni::scegli_piano);
    griglia->addWidget(new QLabel(tr("Piano dei codici:"), this), 0, 0);
    griglia->addWidget(m_piano, 0, 1);
    griglia->addWidget(scegli, 0, 2);
    m_indirizzo = new QLineEdit(archivio, this);
    m_indirizzo->setObjectName(QStringLiteral("archivio"));
    m_indirizzo->setPlaceholderText(
        tr("nessuno; oppure host=... dbname=..., la password in ~/.pgpass"));
    griglia->addWidget(new QLabel(tr("Archivio:"), this), 1, 0);
    griglia->addWidget(m_indirizzo, 1, 1, 1, 2);
    return griglia;
}

QWidget *DialogoImpostazioni::crea_righe(const QList<PostoConfigurato> &posti)
{
    auto *righe = new QWidget;
    auto *griglia = new QGridLayout(righe);
    for (int n = 1; n <= file_stazione::POSTI_MASSIMI; ++n) {
        auto *presa = new QLineEdit(this);
        presa->setObjectName(QStringLiteral("presa_%1").arg(n));
        presa->setPlaceholderText(tr("non usato"));
        const QFontMetrics fm(presa->font());
        presa->setMinimumWidth(fm.horizontalAdvance(PRESA_LUNGA) + 2 * fm.averageCharWidth());
        for (const PostoConfigurato &p : posti) {
            if (p.numero == n)
                presa->setText(p.presa);
        }
        auto *assegna = new QPushButton(tr("Assegna"), this);
        assegna->setObjectName(QStringLiteral("assegna_%1").arg(n));
        connect(assegna, &QPushButton::clicked, this, [this, n] {
            if (m_assegnando == n)
                annulla_assegnazione();
            else
                this->assegna(n);
        });
        griglia->addWidget(new QLabel(tr("Posto %1").arg(n), this), n - 1, 0);
        griglia->addWidget(presa, n - 1, 1);
        griglia->addWidget(assegna, n - 1, 2);
        m_prese.append(presa);
        m_assegna.append(assegna);
    }
    return righe;
}

// As wide as the rows and as tall as all of them, within the screen: the
// rest scrolls.
void DialogoImpostazioni::dimensiona(QWidget *righe, QScrollArea *scorrimento)
{
    const QSize voluta = righe->sizeHint();
    const int bordi = 2 * scorrimento->frameWidth();
    const QRect schermo = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    scorrimento->setMinimumWidth(
        std::min(voluta.width() + scorrimento->verticalScrollBar()->sizeHint().width() + bordi,
                 schermo.width() * 9 / 10));
    const QSize dialogo = sizeHint();
    const int alta = dialogo.height() - scorrimento->sizeHint().height() + voluta.height() + bordi;
    resize(dialogo.width(), std::min(alta, schermo.height() * 9 / 10));
}

// A search left going would give the next adapter plugged in to nobody.
DialogoImpostazioni::~DialogoImpostazioni()
{
    if (m_assegnando != 0)
        emit assegnazione_annullata();
}

QList<PostoConfigurato> DialogoImpostazioni::posti() const
{
    QList<PostoConfigurato> posti;
    for (int i = 0; i < m_prese.size(); ++i) {
        const QString presa = m_prese.at(i)->text().trimmed();
        if (!presa.isEmpty())
            posti.append({i + 1, presa});
    }
    return posti;
}

void DialogoImpostazioni::scegli_profilo()
{
    const QString scelto = QFileDialog::getOpenFileName(
        this, tr("Il file dell'unità"), m_file_profilo, tr("File dell'unità (*.json)"));
    if (scelto.isEmpty())
        return;
    m_file_profilo = scelto;
    m_nome_profilo->setText(scelto);
}

void DialogoImpostazioni::scegli_piano()
{
    const QString scelto =
        QFileDialog::getOpenFileName(this, tr("Il file dei codici"), m_piano->text(),
                                     tr("File dei codici (*.txt);;Tutti i file (*)"));
    if (!scelto.isEmpty())
        m_piano->setText(scelto);
}

// Parsed only: nothing here waits on the network.
bool DialogoImpostazioni::leggi_produzione()
{
    const QString piano = m_piano->text().trimmed();
    m_profilo.piano.reset();
    m_profilo.origine_piano.clear();
    if (!piano.isEmpty()) {
        if (m_verifica->isChecked()) {
            m_stato->setText(tr("Un piano dà i codici da programmare: non con la sola verifica"));
            return false;
        }
        // "A-B" is a range; anything else names a file.
        static const QRegularExpression intervallo(QStringLiteral("^[0-9]+\\s*-"));
        const bool da_a = intervallo.match(piano).hasMatch();
        const QString origine = da_a ? QString(piano).remove(QLatin1Char(' ')) : piano;
        auto letto = da_a ? PianoCodici::da_intervallo(origine, tr("Piano dei codici"))
                          : PianoCodici::carica(piano);
        if (const auto *e = std::get_if<ErroreValore>(&letto)) {
            m_stato->setText(e->messaggio);
            return false;
        }
        m_profilo.piano = std::get<PianoCodici>(letto);
        m_profilo.origine_piano = origine;
    }
    const QString archivio = m_indirizzo->text().trimmed();
    if (!archivio.isEmpty()) {
        if (auto e = file_stazione::controlla_archivio(archivio, tr("Archivio"))) {
            m_stato->setText(e->messaggio);
            return false;
        }
    }
    m_archivio = archivio;
    return true;
}

void DialogoImpostazioni::accept()
{
    auto letto = file_unita::carica(m_file_profilo);
    if (auto *e = std::get_if<ErroreValore>(&letto)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("%1: %2").arg(m_file_profilo, e->messaggio));
        return;
    }
    if (auto e = file_stazione::controlla(posti(), QStringLiteral("posti"))) {
        QMessageBox::warning(this, windowTitle(), e->messaggio);
        return;
    }
    m_profilo.contenuto = std::get<file_unita::Contenuto>(letto);
    m_profilo.verifica = m_verifica->isChecked();
    if (!leggi_produzione())
        return;
    QDialog::accept();
}

void DialogoImpostazioni::assegna(int numero)
{
    m_assegnando = numero;
    mostra_assegnazione();
    m_stato->setText(tr("Collegare l'adattatore nella presa del posto %1...").arg(numero));
    emit assegnazione_chiesta(numero);
}

void DialogoImpostazioni::annulla_assegnazione()
{
    if (m_assegnando == 0)
        return;
    m_assegnando = 0;
    mostra_assegnazione();
    m_stato->clear();
    emit assegnazione_annullata();
}

void DialogoImpostazioni::assegnazione_scaduta(int numero)
{
    if (numero != m_assegnando)
        return;
    m_assegnando = 0;
    mostra_assegnazione();
    m_stato->setText(tr("Nessun adattatore nuovo: riprovare"));
}

void DialogoImpostazioni::mostra_assegnazione()
{
    for (int i = 0; i < m_assegna.size(); ++i) {
        const bool questo = m_assegnando == i + 1;
        m_assegna[i]->setText(questo ? tr("Annulla") : tr("Assegna"));
        m_assegna[i]->setEnabled(m_assegnando == 0 || questo);
    }
}

void DialogoImpostazioni::presa_trovata(int numero, const QString &presa)
{
    if (numero != m_assegnando || numero < 1 || numero > m_prese.size())
        return;
    m_prese[numero - 1]->setText(presa);
    m_stato->setText(tr("Posto %1: %2").arg(numero).arg(presa));
    m_assegnando = 0;
    mostra_assegnazione();
}
