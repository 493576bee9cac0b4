// SPDX-License-Identifier: GPL-3.0-or-later
#include "riquadro_posto.h"

#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <utility>

namespace {
using Aspetto = RiquadroPosto::Aspetto;

// The word's size when the tile has room for it: a sixth of the tile's
// height, and never less than this.
constexpr int PAROLA_AMPIA_PX = 48;
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

// The heading's second line: the socket, smaller, yet still legible.
QFont carattere_seconda(int px_testata)
{
    return carattere(std::max(9, px_testata * 2 / 3), false);
}

int altezza(const QFont &f)
{
    return QFontMetrics(f).height();
}

QString testo_conti(int unita, int ok, int fallite)
{
    return RiquadroPosto::tr("Unità %1 · OK %2 · Falliti %3").arg(unita).arg(ok).arg(fallite);
}

// A halt of the whole station rather than a unit's state: its long word,
// sized with the others, would make every other word smaller. It is sized
// on its own, never larger than they are.
bool parola_propria(Aspetto aspetto)
{
    return aspetto == Aspetto::Esaurito;
}

// The words that share one size.
QStringList parole_comuni()
{
    QStringList parole;
    for (const Aspetto a : RiquadroPosto::aspetti()) {
        if (!parola_propria(a))
            parole << RiquadroPosto::parola(a);
    }
    return parole;
}

// The widest of parole at pixel size px.
int larghezza_parole(int px, const QStringList &parole)
{
    const QFontMetrics fm(carattere(px, true));
    int larga = 0;
    for (const QString &p : parole)
        larga = std::max(larga, fm.horizontalAdvance(p));
    return larga;
}

// testo wrapped to the width of r and centred, each line whole or not at
// all: a line cut in half reads as another word. Without a painter, the
// height all of it needs; with one, the height drawn within r.
int impagina(QPainter *p, const QRect &r, const QFont &f, const QString &testo)
{
    if (testo.isEmpty())
        return 0;
    QTextOption opzione(Qt::AlignHCenter);
    opzione.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    int y = 0;
    for (const QString &paragrafo : testo.split(QLatin1Char('\n'))) {
        QTextLayout l(paragrafo, f);
        l.setTextOption(opzione);
        l.beginLayout();
        QList<QTextLine> intere;
        bool tagliato = false;
        for (QTextLine riga = l.createLine(); riga.isValid(); riga = l.createLine()) {
            riga.setLineWidth(r.width());
            riga.setPosition(QPointF(0, y));
            const int alta = static_cast<int>(std::ceil(riga.height()));
            if (p && y + alta > r.height()) {
                tagliato = true;
                break;
            }
            intere.append(riga);
            y += alta;
        }
        l.endLayout();
        for (int i = 0; p && i < intere.size(); ++i) {
            const QTextLine &riga = intere.at(i);
            if (!tagliato || i + 1 < intere.size()) {
                riga.draw(p, r.topLeft());
                continue;
            }
            // A sentence cut short says so.
            p->setFont(f);
            p->drawText(QRectF(r.left(), r.top() + riga.y(), r.width(), riga.height()),
                        Qt::AlignHCenter | Qt::AlignTop,
                        QFontMetrics(f).elidedText(paragrafo.mid(riga.textStart()), Qt::ElideRight,
                                                   r.width()));
        }
    }
    return y;
}

int distacco(int px)
{
    return std::max(2, px / 6);
}

// The largest size up to px whose misura is within limite. Type does not
// grow quite in proportion, so the guess is checked again.
int riduci(int px, int limite, const std::function<int(int)> &misura)
{
    px = std::max(1, px);
    for (int m = misura(px); m > limite && px > 1; m = misura(px))
        px = std::max(1, std::min(px - 1, px * std::max(0, limite) / std::max(1, m)));
    return px;
}

// The icon above the words where the tile is tall enough, else beside
// them, whichever lets them be larger: the size, and whether above.
std::pair<int, bool> misura_parole(const QRect &mezzo, int spazio, int obiettivo,
                                   const QStringList &parole)
{
    const auto larga = [&parole](int px) { return larghezza_parole(px, parole); };
    const int px_sopra = riduci(riduci(obiettivo, mezzo.width(), larga), spazio, [](int px) {
        return px * 3 / 2 + distacco(px) + altezza(carattere(px, true));
    });
    const int px_accanto =
        riduci(riduci(obiettivo, mezzo.width(),
                      [&larga](int px) { return px + distacco(px) + larga(px); }),
               spazio, [](int px) { return altezza(carattere(px, true)); });
    return px_sopra >= px_accanto ? std::make_pair(px_sopra, true)
                                  : std::make_pair(px_accanto, false);
}

void disponi_parola(RiquadroPosto::Disposizione &d, const QRect &mezzo, int spazio, int obiettivo,
                    Aspetto aspetto)
{
    auto [px, sopra] = misura_parole(mezzo, spazio, obiettivo, parole_comuni());
    if (parola_propria(aspetto))
        std::tie(px, sopra) = misura_parole(mezzo, spazio, px, {RiquadroPosto::parola(aspetto)});
    d.carattere_parola = carattere(px, true);
    const QFontMetrics fm(d.carattere_parola);
    const int larga = fm.horizontalAdvance(RiquadroPosto::parola(aspetto));
    const int alta = fm.height();
    const int icona = sopra ? px * 3 / 2 : px;
    const int blocco = sopra ? icona + distacco(px) + alta : alta;
    // A little above the middle, the lines below having the rest.
    const int y = mezzo.top() + std::max(0, spazio - blocco) / 3;
    if (sopra) {
        d.icona = QRect(mezzo.center().x() - icona / 2, y, icona, icona);
        d.parola = QRect(mezzo.center().x() - larga / 2, y + icona + distacco(px), larga, alta);
    } else {
        const int x = mezzo.left() + (mezzo.width() - icona - distacco(px) - larga) / 2;
        d.icona = QRect(x, y + (alta - icona) / 2, icona, icona);
        d.parola = QRect(x + icona + distacco(px), y, larga, alta);
    }
    const int sotto = y + blocco + distacco(px);
    d.righe = QRect(mezzo.left(), sotto, mezzo.width(), std::max(0, mezzo.bottom() + 1 - sotto));
}
QPainterPath forma(Aspetto aspetto, const QRectF &r)
{
    auto punto = [&r](QPointF p) {
        return QPointF(r.left() + r.width() * p.x(), r.top() + r.height() * p.y());
    };
    auto parte = [&punto](QPointF da, QPointF a) { return QRectF(punto(da), punto(a)); };
    QPainterPath f;
    // A stroke through the points, in the icon's own 0-1 coordinates.
    auto tratto = [&](std::initializer_list<QPointF> punti) {
        f.moveTo(punto(*punti.begin()));
        for (auto p = punti.begin() + 1; p != punti.end(); ++p)
            f.lineTo(punto(*p));
    };
    switch (aspetto) {
    case Aspetto::Riuscito: // a tick
        tratto({{0.15, 0.55}, {0.42, 0.80}, {0.88, 0.22}});
        break;
    case Aspetto::Fallito: // a cross
        tratto({{0.2, 0.2}, {0.8, 0.8}});
        tratto({{0.8, 0.2}, {0.2, 0.8}});
        break;
    case Aspetto::Lavoro: // the dial's hub
        f.addEllipse(r.center(), r.width() * 0.08, r.height() * 0.08);
        break;
    case Aspetto::Attesa: // a ring
        f.addEllipse(parte({0.2, 0.2}, {0.8, 0.8}));
        break;
    case Aspetto::Mancante: // a plug
        f.addRect(parte({0.3, 0.35}, {0.7, 0.85}));
        tratto({{0.42, 0.35}, {0.42, 0.15}});
        tratto({{0.58, 0.35}, {0.58, 0.15}});
        break;
    case Aspetto::DaTogliere: // an arrow up and out
        tratto({{0.5, 0.9}, {0.5, 0.15}});
        tratto({{0.25, 0.4}, {0.5, 0.15}, {0.75, 0.4}});
        break;
    case Aspetto::Occupato: // a padlock
        f.addRect(parte({0.25, 0.45}, {0.75, 0.85}));
        tratto({{0.35, 0.45}, {0.35, 0.3}});
        f.arcTo(parte({0.35, 0.15}, {0.65, 0.45}), 180, -180);
        f.lineTo(punto({0.65, 0.45}));
        break;
    case Aspetto::Doppio: // two of one
        f.addRect(parte({0.15, 0.15}, {0.6, 0.6}));
        f.addRect(parte({0.4, 0.4}, {0.85, 0.85}));
        break;
    case Aspetto::Pausa: // two bars
        tratto({{0.38, 0.2}, {0.38, 0.8}});
        tratto({{0.62, 0.2}, {0.62, 0.8}});
        break;
    case Aspetto::Esaurito: // an empty box, its flaps open
        tratto({{0.05, 0.25}, {0.2, 0.45}, {0.2, 0.85}, {0.8, 0.85}, {0.8, 0.45}, {0.95, 0.25}});
        tratto({{0.2, 0.45}, {0.8, 0.45}});
        break;
    }
    return f;
}
} // namespace

RiquadroPosto::Colori RiquadroPosto::colori(Aspetto aspetto)
{
    // Dark grounds under white, light ones under black: 7:1 or more each.
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
    case Aspetto::Occupato:
        return {QColor(0x5D, 0x40, 0x37), Qt::white};
    case Aspetto::Doppio:
        return {QColor(0x88, 0x0E, 0x4F), Qt::white};
    case Aspetto::Pausa:
        return {QColor(0x80, 0xDE, 0xEA), Qt::black};
    case Aspetto::Esaurito:
        // Unlike any other: the station as a whole needs someone.
        return {Qt::black, QColor(0xFF, 0xD6, 0x00)};
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
    case Aspetto::Occupato:
        return tr("OCCUPATO");
    case Aspetto::Doppio:
        return tr("DOPPIO");
    case Aspetto::Pausa:
        return tr("IN PAUSA");
    case Aspetto::Esaurito:
        return tr("CODICI ESAURITI");
    }
    return QString();
}

const QList<RiquadroPosto::Aspetto> &RiquadroPosto::aspetti()
{
    static const QList<Aspetto> tutti{Aspetto::Mancante, Aspetto::Attesa,  Aspetto::Lavoro,
                                      Aspetto::Riuscito, Aspetto::Fallito, Aspetto::DaTogliere,
                                      Aspetto::Occupato, Aspetto::Doppio,  Aspetto::Pausa,
                                      Aspetto::Esaurito};
    return tutti;
}

RiquadroPosto::Disposizione RiquadroPosto::disponi(const QSize &dimensione, Aspetto aspetto)
{
    Disposizione d;
    const int w = dimensione.width();
    const int h = dimensione.height();
    const int margine = std::clamp(std::min(w, h) / 20, 3, 12);
    const int tra = std::max(2, margine / 2);
    const int px_testata = std::max(10, std::min(h / 12, w / 14));
    d.carattere_testata = carattere(px_testata, true);
    d.testata = QRect(margine, margine, w - 2 * margine,
                      altezza(d.carattere_testata) + 2 + altezza(carattere_seconda(px_testata)));
    const int barra = std::clamp(h / 20, 3, 10);
    d.barra = QRect(0, h - barra, w, barra);
    const int px_righe = std::max(9, std::min(std::max(14, h / 18), h / 11));
    d.carattere_righe = carattere(px_righe, false);
    // Room for four-digit counts.
    d.carattere_conti = carattere(riduci(px_righe, w - 2 * margine,
                                         [](int px) {
                                             return QFontMetrics(carattere(px, false))
                                                 .horizontalAdvance(testo_conti(8888, 8888, 8888));
                                         }),
                                  false);
    const int conti = altezza(d.carattere_conti);
    d.conti = QRect(margine, h - barra - tra - conti, w - 2 * margine, conti);
    const int cima = d.testata.bottom() + 1 + tra;
    const QRect mezzo(margine, cima, w - 2 * margine, std::max(0, d.conti.top() - tra - cima));
    // Room under the word for a reason, a detail and the advice.
    const int righe = std::min(3 * altezza(d.carattere_righe), mezzo.height() / 3);
    disponi_parola(d, mezzo, mezzo.height() - righe, std::max(PAROLA_AMPIA_PX, (h + 5) / 6),
                   aspetto);
    return d;
}

RiquadroPosto::RiquadroPosto(int numero, const QString &presa, QWidget *parent)
    : QWidget(parent), m_numero(numero), m_presa(presa)
{
    // Small, so that sixteen fit a small screen: the type shrinks with the tile.
    setMinimumSize(120, 80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(tr("Posto %1").arg(numero));
    m_ridisegno.setSingleShot(true);
    m_ridisegno.setInterval(PROGRESSO_MS);
    connect(&m_ridisegno, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void RiquadroPosto::imposta(const QuadroPosto &q)
{
    const bool solo_progresso =
        q.aspetto == m_q.aspetto && q.motivo == m_q.motivo && q.dettagli == m_q.dettagli &&
        q.consiglio == m_q.consiglio && q.ultimo_esito == m_q.ultimo_esito &&
        q.unita == m_q.unita && q.ok == m_q.ok && q.fallite == m_q.fallite &&
        q.segnalato == m_q.segnalato && q.etichetta == m_q.etichetta && q.codice == m_q.codice;
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

QString RiquadroPosto::righe() const
{
    QStringList righe;
    if (!m_q.motivo.isEmpty())
        righe << m_q.motivo;
    righe << m_q.dettagli;
    if (m_q.aspetto == Aspetto::Lavoro)
        righe << (m_q.ultima > 0 ? tr("Cella %1 di %2").arg(m_q.cella).arg(m_q.ultima)
                                 : tr("Lettura"));
    if (!m_q.consiglio.isEmpty())
        righe << m_q.consiglio;
    return righe.join(QLatin1Char('\n'));
}

const RiquadroPosto::Disposizione &RiquadroPosto::disposizione() const
{
    if (!m_disposizione || m_disposta_per != size() || m_aspetto_disposto != m_q.aspetto) {
        m_disposizione = disponi(size(), m_q.aspetto);
        m_disposta_per = size();
        m_aspetto_disposto = m_q.aspetto;
    }
    return *m_disposizione;
}

void RiquadroPosto::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Disposizione &d = disposizione();
    const QColor testo = colori(m_q.aspetto).testo;
    disegna_fondo(p, d);
    p.setPen(testo);
    disegna_testata(p, d);
    disegna_icona(p, d.icona);
    p.setPen(testo);
    p.setFont(d.carattere_parola);
    p.drawText(d.parola, Qt::AlignCenter, parola(m_q.aspetto));
    disegna_righe(p, d);
    p.setFont(d.carattere_conti);
    p.drawText(d.conti, Qt::AlignCenter, testo_conti(m_q.unita, m_q.ok, m_q.fallite));
}

void RiquadroPosto::disegna_righe(QPainter &p, const Disposizione &d) const
{
    QRect r = d.righe;
    if (m_q.aspetto == Aspetto::Riuscito && m_q.codice) {
        // Large, to be checked against the unit's label from across the room.
        const QString codice = tr("Codice %1").arg(*m_q.codice);
        const int px_codice =
            riduci(riduci(d.carattere_parola.pixelSize() * 2 / 3, r.width(),
                          [&](int px) {
                              return QFontMetrics(carattere(px, true)).horizontalAdvance(codice);
                          }),
                   r.height() / 2, [](int px) { return altezza(carattere(px, true)); });
        r.setTop(r.top() + impagina(&p, r, carattere(px_codice, true), codice));
    }
    if (m_q.aspetto == Aspetto::Riuscito && !m_q.etichetta.isEmpty())
        r.setTop(r.top() + disegna_avviso_etichetta(p, r, d.carattere_righe));
    const QString testo = righe();
    const QString esito = mostra_esito() ? m_q.ultimo_esito : QString();
    // The last unit's end smaller, so that the state word stays the one
    // thing read from afar.
    auto piccola = [](int px) { return carattere(std::max(8, px * 4 / 5), false); };
    int px = d.carattere_righe.pixelSize();
    for (const int minimo = std::max(9, px * 3 / 4);
         px > minimo && impagina(nullptr, r, carattere(px, false), testo) +
                                impagina(nullptr, r, piccola(px), esito) >
                            r.height();)
        --px;
    const int sopra = impagina(&p, r, carattere(px, false), testo);
    impagina(&p, r.adjusted(0, sopra, 0, 0), piccola(px), esito);
}

// The unit is good, its label is missing: on a ground of its own, so that
// it is not taken for one more line of advice.
int RiquadroPosto::disegna_avviso_etichetta(QPainter &p, const QRect &r, const QFont &f) const
{
    const QString testo = tr("Etichetta non stampata: %1").arg(m_q.etichetta);
    // Smaller type rather than none: one line at least, before the advice.
    const auto riga_a = [&r](int px) {
        return impagina(nullptr, r, carattere(px, true), QStringLiteral("E"));
    };
    const QFont grassetto = carattere(std::max(8, riduci(f.pixelSize(), r.height(), riga_a)), true);
    // Whole lines, half the room at most.
    const int riga = riga_a(grassetto.pixelSize());
    if (riga <= 0 || r.height() < riga)
        return 0;
    const int alta =
        std::min(impagina(nullptr, r, grassetto, testo), std::max(1, r.height() / 2 / riga) * riga);
    const QRect fondo(r.left(), r.top(), r.width(), alta);
    p.fillRect(fondo, colore_avviso());
    p.save();
    p.setPen(Qt::black);
    impagina(&p, fondo, grassetto, testo);
    p.restore();
    return alta + distacco(f.pixelSize());
}

QColor RiquadroPosto::colore_avviso()
{
    return QColor(0xFF, 0xC1, 0x07);
}

bool RiquadroPosto::mostra_esito() const
{
    switch (m_q.aspetto) {
    case Aspetto::Lavoro:
    case Aspetto::Riuscito:
    case Aspetto::Fallito:
    case Aspetto::DaTogliere:
        return false;
    default:
        return true;
    }
}

void RiquadroPosto::disegna_fondo(QPainter &p, const Disposizione &d) const
{
    p.fillRect(rect(), colori(m_q.aspetto).sfondo);
    if (m_q.aspetto == Aspetto::Lavoro && m_q.ultima > 0) {
        // The part done, darker, from the left.
        p.fillRect(QRect(d.barra.left(), d.barra.top(), d.barra.width() * m_q.cella / m_q.ultima,
                         d.barra.height()),
                   Qt::black);
    }
    if (m_q.segnalato) {
        const int spessa = std::max(2, d.testata.left() * 2 / 3);
        p.setPen(QPen(QColor(0xFF, 0x6F, 0x00), spessa));
        p.setBrush(Qt::NoBrush);
        p.drawRect(
            QRectF(rect()).adjusted(spessa / 2.0, spessa / 2.0, -spessa / 2.0, -spessa / 2.0));
    }
}

void RiquadroPosto::disegna_testata(QPainter &p, const Disposizione &d) const
{
    const QRect &r = d.testata;
    const QString posto = tr("Posto %1").arg(m_numero);
    p.setFont(d.carattere_testata);
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop, posto);
    const int prima = p.fontMetrics().height() + 2;
    const int resto = r.width() - p.fontMetrics().horizontalAdvance(posto) - 8;
    p.setFont(carattere_seconda(d.carattere_testata.pixelSize()));
    const QFontMetrics fm = p.fontMetrics();
    p.drawText(r, Qt::AlignRight | Qt::AlignTop,
               fm.elidedText(m_impronta, Qt::ElideRight, std::max(0, resto)));
    const QRect seconda = r.adjusted(0, prima, 0, 0);
    const QString avviso = m_q.segnalato ? tr("Controllare cavo e attrezzo") : QString();
    const int larga = avviso.isEmpty() ? r.width() : r.width() / 2 - 4;
    p.drawText(seconda, Qt::AlignLeft | Qt::AlignTop,
               fm.elidedText(QFileInfo(m_presa).fileName(), Qt::ElideMiddle, larga));
    if (!avviso.isEmpty())
        p.drawText(seconda, Qt::AlignRight | Qt::AlignTop,
                   fm.elidedText(avviso, Qt::ElideRight, larga));
}

// A shape per state, so that colour is never the only sign.
void RiquadroPosto::disegna_icona(QPainter &p, const QRectF &r) const
{
    const QColor colore = colori(m_q.aspetto).testo;
    p.setBrush(Qt::NoBrush);
    if (m_q.aspetto == Aspetto::Lavoro) {
        // A dial, the part done thick.
        const QRectF quadrante =
            r.adjusted(r.width() * 0.1, r.height() * 0.1, -r.width() * 0.1, -r.height() * 0.1);
        p.setPen(QPen(colore, std::max(1.5, r.width() / 20)));
        p.drawEllipse(quadrante);
        p.setPen(QPen(colore, std::max(2.0, r.width() / 10), Qt::SolidLine, Qt::RoundCap));
        p.drawArc(quadrante, 90 * 16,
                  -16 * 360 * (m_q.ultima > 0 ? m_q.cella : 0) / std::max(1, m_q.ultima));
    }
    p.setPen(
        QPen(colore, std::max(2.0, r.width() / 10), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(forma(m_q.aspetto, r));
}
