// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the labels of the units that end OK go: a printer, or a folder of PDF files.

#include "etichetta.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <utility>
#include <variant>

class QPainter;

// A handle on a checked destination, copied freely. stampa needs no GUI
// thread: each call makes its own PDF or printer job.
class Etichettatrice
{
public:
    // Each side of a label, in mm.
    static constexpr double LATO_MINIMO = 10;
    static constexpr double LATO_MASSIMO = 300;

    // destinazione is a folder when it holds a '/' or names an existing
    // folder, else a printer of the print service. Either must exist now;
    // a folder is never made. The error is one line that names destinazione.
    static std::variant<Etichettatrice, QString> apri(const QString &destinazione,
                                                      QSizeF mm = QSizeF(62, 29));
    // "62x29": width by height in mm, each within LATO_MINIMO-LATO_MASSIMO.
    static std::optional<QSizeF> misura(const QString &testo);

    // Empty when the label went out whole; else why not, in a few words.
    QString stampa(const Etichetta &e) const;

    // The label drawn within r, in the painter's units: the code as large as
    // it fits, and what goes with it beside or under it.
    static void disegna(QPainter &p, const QRectF &r, const Etichetta &e);

    // "<codice>-<id>.pdf".
    static QString nome_file(const Etichetta &e);

    bool su_stampante() const { return m_stampante; }
    const QString &destinazione() const { return m_destinazione; }
    QSizeF mm() const { return m_mm; }

private:
    Etichettatrice(QString destinazione, bool stampante, QSizeF mm)
        : m_destinazione(std::move(destinazione)), m_stampante(stampante), m_mm(mm)
    {
    }

    QString salva(const Etichetta &e) const;
    QString invia(const Etichetta &e) const;

    QString m_destinazione;
    bool m_stampante;
    QSizeF m_mm;
};
