// SPDX-License-Identifier: GPL-3.0-or-later
#include "grafica.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace {
const QColor BLU(0, 51, 153);
const QColor AZZURRO(0, 153, 255);

// Three arcs of a radio wave over a dot: the maker's mark.
void disegna_onde(QPainter &p, QPointF centro, qreal raggio, const QColor &colore)
{
    p.setBrush(colore);
    p.setPen(Qt::NoPen);
    p.drawEllipse(centro, raggio * 0.18, raggio * 0.18);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        QPen penna(colore, raggio * 0.12, Qt::SolidLine, Qt::RoundCap);
        p.setPen(penna);
        const qreal r = raggio * (0.2 + 0.27 * i);
        const QRectF arco(centro.x() - r, centro.y() - r, 2 * r, 2 * r);
        p.drawArc(arco, 45 * 16, 90 * 16);
    }
}
} // namespace

QPixmap logo_marchio()
{
    QPixmap pm(553, 286);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fondo(0, 0, 0, 286);
    fondo.setColorAt(0, Qt::white);
    fondo.setColorAt(1, QColor(210, 228, 250));
    p.fillRect(pm.rect(), fondo);
    disegna_onde(p, QPointF(120, 190), 150, BLU);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(86);
    f.setBold(true);
    p.setFont(f);
    p.setPen(BLU);
    p.drawText(QRect(200, 60, 353, 110), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("QRV"));
    f.setPixelSize(34);
    f.setBold(false);
    p.setFont(f);
    p.setPen(AZZURRO);
    p.drawText(QRect(200, 170, 353, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Quorvanta"));
    p.drawText(QRect(200, 215, 353, 50), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Radiocomandi"));
    return pm;
}

QPixmap immagine_titolo()
{
    QPixmap pm(236, 180);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fondo(0, 0, 236, 180);
    fondo.setColorAt(0, BLU);
    fondo.setColorAt(1, AZZURRO);
    p.fillRect(pm.rect(), fondo);
    // The receiver: a box with its antenna and a status light.
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(240, 240, 240));
    p.drawRoundedRect(QRectF(58, 82, 120, 70), 8, 8);
    p.drawLine(QPointF(150, 82), QPointF(170, 50));
    p.setBrush(QColor(0, 200, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(78, 102), 6, 6);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.setPen(BLU);
    p.drawText(QRectF(58, 105, 120, 40), Qt::AlignCenter, QStringLiteral("M5"));
    disegna_onde(p, QPointF(170, 50), 40, Qt::white);
    return pm;
}

QIcon icona_applicazione()
{
    QIcon icona;
    for (int lato : {16, 32, 48}) {
        QPixmap pm(lato, lato);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(BLU);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(0, 0, lato, lato), lato / 6.0, lato / 6.0);
        disegna_onde(p, QPointF(lato / 2.0, lato * 0.78), lato * 0.7, Qt::white);
        p.end();
        icona.addPixmap(pm);
    }
    return icona;
}

void installa_sostituti_caratteri()
{
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                              QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
}

void affina_caratteri(QWidget *form)
{
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (!w->testAttribute(Qt::WA_SetFont))
            continue;
        QFont f = w->font();
        const qreal pt = f.pointSizeF();
        if (pt == 8 || pt == 10 || pt == 14)
            f.setPointSizeF(pt == 8 ? 8.25 : pt == 10 ? 9.75 : 14.25);
        // The substitutes of the old bitmap sans run wider than it did.
        if (f.family() == QLatin1String("MS Sans Serif"))
            f.setStretch(90);
        // A label keeps its place and size: narrow its font rather than clip.
        if (const auto *l = qobject_cast<QLabel *>(w); l && !l->text().isEmpty()) {
            const int spazio = l->contentsRect().width();
            if (f.stretch() == QFont::AnyStretch)
                f.setStretch(QFont::Unstretched);
            while (f.stretch() > 70 && QFontMetrics(f).horizontalAdvance(l->text()) > spazio)
                f.setStretch(f.stretch() - 5);
        }
        w->setFont(f);
    }
}
