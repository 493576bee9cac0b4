// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One slot's tile: a state word, a colour and an icon that read from across the room.

#include "quadro_posto.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class RiquadroPosto : public QWidget
{
    Q_OBJECT

public:
    using Aspetto = QuadroPosto::Aspetto;

    struct Colori
    {
        QColor sfondo;
        QColor testo;
    };
    static Colori colori(Aspetto aspetto);
    // The state word, as the tile shows it.
    static QString parola(Aspetto aspetto);

    RiquadroPosto(int numero, const QString &presa, QWidget *parent = nullptr);

    void imposta(const QuadroPosto &quadro);
    void imposta_impronta(const QString &impronta);

    const QuadroPosto &quadro() const { return m_q; }
    Aspetto aspetto() const { return m_q.aspetto; }
    QString motivo() const { return m_q.motivo; }
    QStringList dettagli() const { return m_q.dettagli; }
    // The pixel size the state word is drawn at.
    int altezza_parola() const;

protected:
    void paintEvent(QPaintEvent *evento) override;

private:
    QString riga_sotto() const;
    void disegna_icona(QPainter &p, const QRectF &r) const;
    void disegna_testata(QPainter &p, const QRect &r) const;
    void disegna_fondo(QPainter &p, const QRect &r) const;

    const int m_numero;
    const QString m_presa;
    QString m_impronta;
    QuadroPosto m_q;
    QTimer m_ridisegno;
};
