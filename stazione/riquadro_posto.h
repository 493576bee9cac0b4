// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One slot's tile: a state word, a colour and an icon that read from across the room.

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class RiquadroPosto : public QWidget
{
    Q_OBJECT

public:
    enum class Aspetto { Mancante, Attesa, Lavoro, Riuscito, Fallito, DaTogliere };
    Q_ENUM(Aspetto)

    struct Colori
    {
        QColor sfondo;
        QColor testo;
    };
    static Colori colori(Aspetto aspetto);
    // The state word, as the tile shows it.
    static QString parola(Aspetto aspetto);

    RiquadroPosto(int numero, const QString &presa, QWidget *parent = nullptr);

    void imposta_aspetto(Aspetto aspetto);
    void imposta_progresso(int cella, int ultima);
    // What went wrong, and each value that differs.
    void imposta_motivo(const QString &motivo, const QStringList &dettagli);
    void imposta_conti(int unita, int riuscite, int fallite);
    void imposta_impronta(const QString &impronta);
    // A failure rate that stands out: a bad cable or fixture.
    void imposta_segnalato(bool si);

    Aspetto aspetto() const { return m_aspetto; }
    QString motivo() const { return m_motivo; }
    QStringList dettagli() const { return m_dettagli; }
    bool segnalato() const { return m_segnalato; }
    int unita() const { return m_unita; }
    int riuscite() const { return m_riuscite; }
    int fallite() const { return m_fallite; }
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
    Aspetto m_aspetto = Aspetto::Mancante;
    int m_cella = 0;
    int m_ultima = 0;
    QString m_motivo;
    QStringList m_dettagli;
    int m_unita = 0;
    int m_riuscite = 0;
    int m_fallite = 0;
    bool m_segnalato = false;
    QTimer m_ridisegno;
};
