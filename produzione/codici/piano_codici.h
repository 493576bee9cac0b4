// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A plan of receiver codes: the codes a batch's units are given, each once, in the plan's order.

#include "controllo_valori.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

// A value: the ordered codes, each within 1-4096 and given once, and the
// fingerprint by which stations that give the same plan know it as one.
class PianoCodici
{
public:
    static constexpr int CODICE_MINIMO = 1;
    static constexpr int CODICE_MASSIMO = 4096;

    // "A-B": the codes A to B inclusive. nome names the source in a message ("--codici").
    static std::variant<PianoCodici, ErroreValore> da_intervallo(const QString &testo,
                                                                 const QString &nome);
    // One code a line; blank lines and "#" comments are passed over. A code
    // given twice names both lines. nome names the source ("--codici-da FILE").
    static std::variant<PianoCodici, ErroreValore> da_testo(const QByteArray &testo,
                                                            const QString &nome);
    // The file of --codici-da.
    static std::variant<PianoCodici, ErroreValore> carica(const QString &percorso);

    const QList<int> &codici() const { return m_codici; }
    // The first 8 hex digits of a SHA-256 of the codes in their order, each
    // in decimal and followed by a line feed: the same codes in the same
    // order, the same fingerprint, however the plan was written.
    QString impronta() const;

private:
    explicit PianoCodici(QList<int> codici) : m_codici(std::move(codici)) {}

    QList<int> m_codici;
};
