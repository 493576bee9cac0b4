// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "simulatore.h"

#include <QCommandLineParser>
#include <QStringList>

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>

// m5sim's options, read whole before anything is opened: a wrong one ends the
// program with status 2 and one line on stderr.
class RigaComando
{
public:
    RigaComando();

    // Also ends the program for --help and --version.
    OpzioniSimulatore leggi(const QStringList &argomenti);
    // Where to leave the summary at exit; empty for none.
    const std::string &riepilogo() const { return m_riepilogo; }

private:
    void interpreta_linea(OpzioniSimulatore &opzioni);
    void interpreta_guasti(OpzioniSimulatore &opzioni);
    void interpreta_guasti_casuali(OpzioniSimulatore &opzioni);
    void interpreta_produzione(OpzioniSimulatore &opzioni);

    long long intero(const QString &nome, long long minimo, long long massimo) const;
    std::optional<int> cella(const QString &nome) const;
    double probabilita(const QString &nome) const;
    std::uint64_t seme(const QString &nome) const;
    std::bitset<NUM_CELLE> celle(const QString &nome) const;
    Blocco blocco(const QString &nome) const;
    void richiede(const QString &nome, const QString &altro) const;
    std::string cartella_scrivibile(const QString &nome) const;

    QCommandLineParser m_parser;
    std::string m_riepilogo;
};
