// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One slot's tile: a state word, a colour and an icon that read from across the room.

#include "quadro_posto.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <optional>

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
    static const QList<Aspetto> &aspetti();
    // The ground of what needs a look without stopping the station: a label
    // not printed, few codes left. Under black.
    static QColor colore_avviso();

    // Where each part of a tile goes, and in which type: the word as large
    // as the tile allows, the same for every state so that tiles side by
    // side read alike, and never wider than the tile.
    struct Disposizione
    {
        QRect testata; // number, fingerprint, socket
        QRect icona;
        QRect parola;
        QRect righe; // reason, details, advice, the last unit's end
        QRect conti;
        QRect barra; // a unit's progress, along the bottom edge
        QFont carattere_testata;
        QFont carattere_parola;
        QFont carattere_righe;
        QFont carattere_conti;
    };
    static Disposizione disponi(const QSize &dimensione, Aspetto aspetto);
    // disponi() for this tile now; kept until its size or state changes.
    const Disposizione &disposizione() const;

    RiquadroPosto(int numero, const QString &presa, QWidget *parent = nullptr);

    void imposta(const QuadroPosto &quadro);
    void imposta_impronta(const QString &impronta);

    const QuadroPosto &quadro() const { return m_q; }
    Aspetto aspetto() const { return m_q.aspetto; }
    QString motivo() const { return m_q.motivo; }
    QStringList dettagli() const { return m_q.dettagli; }
    // The pixel size the state word is drawn at.
    int altezza_parola() const { return disposizione().carattere_parola.pixelSize(); }

protected:
    void paintEvent(QPaintEvent *evento) override;

private:
    QString righe() const;
    // The last unit's end is shown while no unit is on the slot.
    bool mostra_esito() const;
    void disegna_icona(QPainter &p, const QRectF &r) const;
    void disegna_testata(QPainter &p, const Disposizione &d) const;
    void disegna_righe(QPainter &p, const Disposizione &d) const;
    // Within r, from its top; the height taken.
    int disegna_avviso_etichetta(QPainter &p, const QRect &r, const QFont &f) const;
    void disegna_fondo(QPainter &p, const Disposizione &d) const;

    const int m_numero;
    const QString m_presa;
    QString m_impronta;
    QuadroPosto m_q;
    QTimer m_ridisegno;
    // Fitting the type takes dozens of font measurements, and a tile at work
    // is drawn ten times a second, sixteen of them on a thread with the ports.
    mutable std::optional<Disposizione> m_disposizione;
    mutable QSize m_disposta_per;
    mutable Aspetto m_aspetto_disposto = Aspetto::Mancante;
};
