// SPDX-License-Identifier: GPL-3.0-or-later
#include "riquadro_posto.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
// Never smaller than this, however many tiles share the screen.
constexpr int PAROLA_MINIMA_PX = 48;
constexpr int MARGINE = 12;
// The progress bar along the bottom edge, below the counters.
constexpr int BARRA_PX = 10;
// A cell's progress is drawn at most this often: faster is lost on the
// eye, and sixteen tiles drawn at every cell take the thread the ports share.
constexpr int PROGRESSO_MS = 100;

QFont carattere(int pixel, bool grassetto)
{
    QFont f;
    f.setPixelSize(std::max(1, pixel));
    f.setBold(grassetto);
    return f;
}
} // namespace

RiquadroPosto::Colori RiquadroPosto::colori(Aspetto aspetto)
{
    // Dark grounds under white, a light one under black: 7:1 or more each.
    switch (aspetto) {
    case Aspetto::Mancante:
        return {QColor(0x42, 0x42, 0x42), Qt::white};
    case Aspetto::Attesa:
        return {QColor(0x0D, 0x47, 0xA1), Qt::white};
    case Aspetto::Lavoro:
        return {QColor(0xFF, 0xC1, 0x07), Qt::black};
    case Aspetto::Riuscito:
        return {QColor(0x0B, 0x5D, 0x1E), Qt::white};
    case Aspetto::Fallito:
        return {QColor(0x8B, 0x00, 0x00), Qt::white};
    case Aspetto::DaTogliere:
        return {QColor(0x4A, 0x14, 0x8C), Qt::white};
    }
    return {Qt::black, Qt::white};
}

QString RiquadroPosto::parola(Aspetto aspetto)
{
    switch (aspetto) {
    case Aspetto::Mancante:
        return tr("MANCANTE");
    case Aspetto::Attesa:
        return tr("PRONTO");
    case Aspetto::Lavoro:
        return tr("IN CORSO");
    case Aspetto::Riuscito:
        return tr("OK");
    case Aspetto::Fallito:
        return tr("FALLITO");
    case Aspetto::DaTogliere:
        return tr("TOGLIERE");
    }
    return QString();
}

RiquadroPosto::RiquadroPosto(int numero, const QString &presa, QWidget *parent)
    : QWidget(parent), m_numero(numero), m_presa(presa)
{
    setMinimumSize(240, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(tr("Posto %1").arg(numero));
    m_ridisegno.setSingleShot(true);
    m_ridisegno.setInterval(PROGRESSO_MS);
    connect(&m_ridisegno, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void RiquadroPosto::imposta(const QuadroPosto &q)
{
    const bool solo_progresso = q.aspetto == m_q.aspetto && q.motivo == m_q.motivo &&
                                q.dettagli == m_q.dettagli && q.unita == m_q.unita &&
                                q.ok == m_q.ok && q.fallite == m_q.fallite &&
                                q.segnalato == m_q.segnalato;
    const bool nuovo_aspetto = q.aspetto != m_q.aspetto;
    m_q = q;
    if (nuovo_aspetto)
        setAccessibleDescription(parola(q.aspetto));
    if (!solo_progresso)
        update();
    else if (!m_ridisegno.isActive())
        m_ridisegno.start();
}

void RiquadroPosto::imposta_impronta(const QString &impronta)
{
    m_impronta = impronta;
    update();
}

int RiquadroPosto::altezza_parola() const
{
    return std::max(PAROLA_MINIMA_PX, static_cast<int>(std::ceil(height() / 6.0)));
}

QString RiquadroPosto::riga_sotto() const
{
    switch (m_q.aspetto) {
    case Aspetto::Mancante:
        // With a reason the adapter is there, and plugging it in is no cure.
        return m_q.motivo.isEmpty() ? tr("Adattatore assente: collegarlo")
                                    : tr("Liberare la porta, poi attendere");
    case Aspetto::Attesa:
        return tr("Collegare un'unità");
    case Aspetto::Lavoro:
        return m_q.ultima > 0 ? tr("Cella %1 di %2").arg(m_q.cella).arg(m_q.ultima) : tr("Lettura");
    case Aspetto::Riuscito:
    case Aspetto::Fallito:
        return tr("Togliere l'unità");
    case Aspetto::DaTogliere:
        return tr("Togliere l'unità, lasciare il posto vuoto, poi collegare la prossima");
    }
    return QString();
}

void RiquadroPosto::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r = rect();
    disegna_fondo(p, r);
    disegna_testata(p, r.adjusted(MARGINE, MARGINE, -MARGINE, -MARGINE));

    const int alta = altezza_parola();
    const int icona = std::min(alta * 3 / 2, r.height() / 4);
    const int y_parola = r.height() * 2 / 5;
    const int testata = MARGINE + std::max(16, r.height() / 12) * 5 / 3 + 8;
    const double sopra = y_parola - alta / 2.0 - icona - 4;
    p.setFont(carattere(alta, true));
    if (sopra >= testata) {
        disegna_icona(p, QRectF(r.center().x() - icona / 2.0, sopra, icona, icona));
    } else {
        // No room above the word under the heading: beside it, as tall as the word.
        const int larga = p.fontMetrics().horizontalAdvance(parola(m_q.aspetto));
        disegna_icona(p, QRectF(r.center().x() - larga / 2.0 - alta - 8,
                                y_parola - alta / 2.0 + alta / 8.0, alta, alta));
    }
    p.setPen(colori(m_q.aspetto).testo);
    p.drawText(QRect(0, y_parola - alta / 2, r.width(), alta + alta / 4), Qt::AlignCenter,
               parola(m_q.aspetto));

    const int piccola = std::max(14, r.height() / 18);
    p.setFont(carattere(piccola, false));
    QStringList righe{riga_sotto()};
    if (!m_q.motivo.isEmpty())
        righe.prepend(m_q.motivo);
    righe << m_q.dettagli;
    const int y = y_parola + alta;
    p.drawText(QRect(MARGINE, y, r.width() - 2 * MARGINE, r.bottom() - BARRA_PX - y - piccola * 2),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, righe.join(QLatin1Char('\n')));
    p.drawText(
        QRect(MARGINE, r.bottom() - BARRA_PX - piccola * 2, r.width() - 2 * MARGINE, piccola * 2),
        Qt::AlignCenter,
        tr("Unità %1 · OK %2 · Falliti %3").arg(m_q.unita).arg(m_q.ok).arg(m_q.fallite));
}

void RiquadroPosto::disegna_fondo(QPainter &p, const QRect &r) const
{
    p.fillRect(r, colori(m_q.aspetto).sfondo);
    if (m_q.aspetto == Aspetto::Lavoro && m_q.ultima > 0) {
        // The part done, darker, from the left.
        const int fatto = r.width() * m_q.cella / m_q.ultima;
        p.fillRect(QRect(r.left(), r.bottom() - BARRA_PX, fatto, BARRA_PX), Qt::black);
    }
    if (m_q.segnalato) {
        p.setPen(QPen(QColor(0xFF, 0x6F, 0x00), 10));
        p.drawRect(r.adjusted(5, 5, -5, -5));
    }
}

void RiquadroPosto::disegna_testata(QPainter &p, const QRect &r) const
{
    const int alta = std::max(16, height() / 12);
    p.setPen(colori(m_q.aspetto).testo);
    p.setFont(carattere(alta, true));
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop, tr("Posto %1").arg(m_numero));
    p.setFont(carattere(alta * 2 / 3, false));
    p.drawText(r, Qt::AlignRight | Qt::AlignTop, m_impronta);
    const QString presa =
        p.fontMetrics().elidedText(QFileInfo(m_presa).fileName(), Qt::ElideMiddle, r.width());
    p.drawText(r.adjusted(0, alta + 4, 0, 0), Qt::AlignLeft | Qt::AlignTop, presa);
    if (m_q.segnalato)
        p.drawText(r.adjusted(0, alta + 4, 0, 0), Qt::AlignRight | Qt::AlignTop,
                   tr("Controllare cavo e attrezzo"));
}

// A shape per state, so that colour is never the only sign.
void RiquadroPosto::disegna_icona(QPainter &p, const QRectF &r) const
{
    const QColor colore = colori(m_q.aspetto).testo;
    p.setPen(
        QPen(colore, std::max(4.0, r.width() / 10), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath f;
    switch (m_q.aspetto) {
    case Aspetto::Riuscito:
        f.moveTo(r.left() + r.width() * 0.15, r.top() + r.height() * 0.55);
        f.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.80);
        f.lineTo(r.left() + r.width() * 0.88, r.top() + r.height() * 0.22);
        break;
    case Aspetto::Fallito:
        f.moveTo(r.topLeft() + QPointF(r.width() * 0.2, r.height() * 0.2));
        f.lineTo(r.bottomRight() - QPointF(r.width() * 0.2, r.height() * 0.2));
        f.moveTo(r.topRight() + QPointF(-r.width() * 0.2, r.height() * 0.2));
        f.lineTo(r.bottomLeft() + QPointF(r.width() * 0.2, -r.height() * 0.2));
        break;
    case Aspetto::Lavoro:
        p.drawArc(
            r.adjusted(r.width() * 0.1, r.height() * 0.1, -r.width() * 0.1, -r.height() * 0.1),
            90 * 16, -16 * 360 * (m_q.ultima > 0 ? m_q.cella : 0) / std::max(1, m_q.ultima));
        f.addEllipse(r.center(), r.width() * 0.08, r.height() * 0.08);
        break;
    case Aspetto::Attesa:
        f.addEllipse(
            r.adjusted(r.width() * 0.2, r.height() * 0.2, -r.width() * 0.2, -r.height() * 0.2));
        break;
    case Aspetto::Mancante:
        f.addRect(
            r.adjusted(r.width() * 0.3, r.height() * 0.35, -r.width() * 0.3, -r.height() * 0.15));
        f.moveTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.35);
        f.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.15);
        f.moveTo(r.left() + r.width() * 0.58, r.top() + r.height() * 0.35);
        f.lineTo(r.left() + r.width() * 0.58, r.top() + r.height() * 0.15);
        break;
    case Aspetto::DaTogliere:
        f.moveTo(r.left() + r.width() * 0.5, r.bottom() - r.height() * 0.1);
        f.lineTo(r.left() + r.width() * 0.5, r.top() + r.height() * 0.15);
        f.moveTo(r.left() + r.width() * 0.25, r.top() + r.height() * 0.4);
        f.lineTo(r.left() + r.width() * 0.5, r.top() + r.height() * 0.15);
        f.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.4);
        break;
    }
    p.drawPath(f);
}
