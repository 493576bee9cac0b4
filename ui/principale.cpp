// SPDX-License-Identifier: GPL-3.0-or-later
#include "principale.h"

#include "grafica.h"
#include "ui_principale.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QFocusEvent>
#include <QMessageBox>
#include <QRegularExpression>

const QString Principale::TITOLO_APPLICAZIONE = QStringLiteral("Configuratore M5");

// Fixed width: the banner rotates it by its length taken at load.
const QString Principale::CAPTION =
    QStringLiteral("Quorvanta Radiocomandi Srl") + QString(2, QLatin1Char(' ')) +
    QStringLiteral("Via dei Tessitori, 14/B") + QString(6, QLatin1Char(' ')) +
    QStringLiteral("Valdoro(VR)") + QString(7, QLatin1Char(' ')) +
    QStringLiteral("www.quorvanta-radio.test") + QString(19, QLatin1Char(' '));

namespace {
constexpr int INTERVALLO_BANNER_MS = 150;
}

Principale::Principale(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::Principale>()),
      m_elementi(*ui, *this, TITOLO_APPLICAZIONE,
                 [this] {
                     m_chiusura_da_esci = true;
                     close();
                 }),
      m_collegamento(m_elementi, this), Tmr_scritte(this)
{
    ui->setupUi(this);
    setWindowTitle(CAPTION);
    setWindowIcon(icona_applicazione());
    setFixedSize(size());
    affina_caratteri(this);
    ui->Image1->setPixmap(logo_marchio());
    ui->ProgressBar1->setVisible(false);
    ui->Cmb_com->setCurrentIndex(0);
    // Port names match exactly: "com 3" is no "Com 3".
    ui->Cmb_com->completer()->setCaseSensitivity(Qt::CaseSensitive);
    ui->txb_Codice_M5->setFocus();

    connect(ui->txb_Codice_M5, &QLineEdit::textChanged, this, &Principale::txb_Codice_M5_Change);
    connect(ui->txb_FqRx, &QLineEdit::textChanged, this, &Principale::txb_FqRx_Change);
    connect(ui->txb_tmp_rele, &QLineEdit::textChanged, this, &Principale::txb_tmp_rele_Change);
    connect(ui->txb_Usc_imp, &QLineEdit::textChanged, this, &Principale::txb_Usc_imp_Change);
    for (Campo c : CAMPI)
        campo(c)->installEventFilter(this);
    ui->Cmb_com->installEventFilter(this);

    for (Opzione o : {Opzione::ToniAlti, Opzione::ToniBassi, Opzione::Memo, Opzione::Imp,
                      Opzione::Strip, Opzione::Bidi})
        collega_opzione(o);

    Collegamento *l = &m_collegamento;
    connect(ui->Cmd_connetti, &QPushButton::clicked, l, &Collegamento::Cmd_connetti_Click);
    connect(ui->cmd_programma, &QPushButton::clicked, l, &Collegamento::cmd_programma_Click);
    connect(ui->Cmd_disconetti, &QPushButton::clicked, l, &Collegamento::Cmd_disconetti_Click);
    connect(ui->Cmd_init_uhf, &QPushButton::clicked, l, &Collegamento::Cmd_init_uhf_Click);
    connect(ui->Cmd_init_vhf, &QPushButton::clicked, l, &Collegamento::Cmd_init_vhf_Click);
    connect(ui->Command4, &QPushButton::clicked, l, &Collegamento::Command4_Click);
    connect(ui->Cmb_com, &QComboBox::activated, l, &Collegamento::Cmb_com_Click);

    prepara_suggerimenti();

    Tmr_scritte.setObjectName(QStringLiteral("Tmr_scritte"));
    Tmr_scritte.setInterval(INTERVALLO_BANNER_MS);
    connect(&Tmr_scritte, &QTimer::timeout, this, &Principale::Tmr_scritte_Timer);
    Form_Load();
}

Principale::~Principale() = default;

void Principale::Form_Load()
{
    m_lunghezza_caption = static_cast<qint16>(windowTitle().size());
    Tmr_scritte.start();
    m_collegamento.avvia_supervisione();
}

void Principale::Tmr_scritte_Timer()
{
    const QString c = windowTitle();
    setWindowTitle(c.right(m_lunghezza_caption - 1) + c.left(1));
}

void Principale::prepara_suggerimenti()
{
    const QString logo =
        QStringLiteral(" Quorvanta Radiocomandi Srl  Via dei Tessitori, 14/B - 37099 "
                       "Valdoro (Verona) Italia");
    m_suggerimenti = {
        {ui->Frame1, QStringLiteral(" Inserire il Codice dell'Quorvanta M5 (Renge 1 - 4096)  ")},
        {ui->Frame2, QStringLiteral(" Inserire la frequenza di Rx Vhf o Uhf secondo la Banda (es. "
                                    "160.9125 - 440.9125)")},
        {ui->Frame3, QStringLiteral(" Inserire il Tempo del Rele' di Allarme espresso in sec "
                                    "(Range 1 - 255 sec)")},
        {ui->Frame4, QStringLiteral(" Inserire il Tempo dell'Uscita Impulsiva espresso in sec "
                                    "(Range 1 - 255 sec)")},
        {ui->toni_h_l, QStringLiteral(" Toni H/L se impostato ALTI solo verso Quorvanta K2 o K6 "
                                      ",BASSI verso Quorvanta P/S")},
        {ui->Frame15, QStringLiteral(" Seleziona se deve Ricevere un Msg da uno Strip/mono o da "
                                     "un Bidirezionale")},
        {ui->Mem_Imp, QStringLiteral(" Imposta L'Uscite Memorizzate o Impulsive  secondo le "
                                     "specifiche del Monodir.,Strip,Bidirez.")},
        {ui->Frame11, QStringLiteral(" Stato di Connessione ,indica se la connessione e' attiva o "
                                     "disattiva tra PC e Quorvanta M5")},
        {ui->Frame10, QStringLiteral(" Setup Com seleziona la porta di comunicazione seriale ")},
        {ui->Label7, QStringLiteral(" Configuratore per Quorvanta M5 V 1.0.0 F.T")},
        {ui->Image1, logo},
    };

    setMouseTracking(true);
    for (QWidget *w : findChildren<QWidget *>()) {
        if (m_suggerimenti.contains(w)) {
            w->setMouseTracking(true);
            w->installEventFilter(this);
        } else if (w->objectName().startsWith(QLatin1String("Line"))) {
            // Qt drops a plain move over a child without tracking instead of
            // passing it to the window: the ruling lines must track to clear.
            w->setMouseTracking(true);
        } else {
            // Only bare background (the ruling lines are part of it) clears
            // the line; every other control keeps the hint as it is.
            w->setAttribute(Qt::WA_NoMousePropagation);
        }
    }
}

bool Principale::eventFilter(QObject *oggetto, QEvent *evento)
{
    switch (evento->type()) {
    case QEvent::MouseMove: {
        const auto it = m_suggerimenti.constFind(oggetto);
        if (it != m_suggerimenti.constEnd()) {
            ui->Text7->setText(*it);
            return true;
        }
        break;
    }
    case QEvent::ToolTip:
        // Names the device behind the entry as it is now: an adapter plugged
        // in after start is found.
        if (oggetto == ui->Cmb_com)
            ui->Cmb_com->setToolTip(suggerimento_porta());
        break;
    case QEvent::FocusOut:
        // Leaving the window (another window, a message box, a menu) is not
        // leaving the field.
        if (const auto r = static_cast<QFocusEvent *>(evento)->reason();
            r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason)
            break;
        for (Campo c : CAMPI) {
            if (oggetto == campo(c)) {
                // A line edit drops its selection when it loses the focus: it
                // must do so before the check, or the check's selection is lost.
                oggetto->event(evento);
                campo_LostFocus(c);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(oggetto, evento);
}

void Principale::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove();
    event->accept();
}

void Principale::Form_MouseMove()
{
    ui->Text7->setText(QString());
}

void Principale::campo_LostFocus(Campo c)
{
    // A faulty field takes the focus back; while one does so, the field it
    // takes it from must not fight back, or two faulty fields would bounce
    // the focus forever.
    if (m_in_controllo)
        return;
    controlla(c);
}

void Principale::controlla(Campo c)
{
    const bool annidato = m_in_controllo;
    m_in_controllo = true;
    QLineEdit *e = campo(c);
    const EsitoControllo esito = controlla_campo(c, e->text());
    for (int i = 0; i < esito.beep; ++i)
        m_elementi.beep();
    if (esito.difettoso()) {
        e->setSelection(esito.inizio, esito.lunghezza);
        e->setFocus();
    }
    m_in_controllo = annidato;
}

void Principale::collega_opzione(Opzione o)
{
    // Opt_toni_alti_Click and the others: each stores its constant when its
    // button becomes selected. A read has stored the value already and only
    // shows the selection (seleziona).
    connect(opzione(o), &QRadioButton::toggled, this, [this, o](bool selezionata) {
        if (selezionata)
            m_collegamento.opzione_cliccata(o);
    });
}

QString Principale::suggerimento_porta() const
{
    static const QRegularExpression voce(QStringLiteral("^Com ([1-8])$"));
    const QRegularExpressionMatch m = voce.match(ui->Cmb_com->currentText());
    return m.hasMatch() ? m_collegamento.porta().descrizione(m.captured(1).toInt()) : QString();
}

void Principale::closeEvent(QCloseEvent *event)
{
    // Only "ESCI" says goodbye to the receiver; any other close just lets
    // the port go, and a waiting transaction ends without further messages.
    if (!m_chiusura_da_esci)
        m_collegamento.chiusura_finestra();
    event->accept();
    emit chiusa();
}
