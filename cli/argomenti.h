// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "blocco.h"
#include "controllo_valori.h"
#include "piano_codici.h"
#include "tempi.h"
#include "valori_unita.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// m5ctl's command line, checked in full before any port is touched: a value
// that is empty, not a plain decimal number, or outside its stated range is
// refused, so a typo never reaches a unit.
struct Argomenti
{
    enum class Comando {
        Leggi,
        Programma,
        Inizializza,
        Verifica,
        Porte,
        Rapporto,
        Aiuto,
        Versione
    };

    Comando comando = Comando::Aiuto;
    QStringList porte; // --port, in the order given ("auto" included)
    QList<int> com;    // --com
    std::optional<int> attesa_ms;
    QString traccia;
    QString file_uscita; // read -o; "-" is stdout
    QString da_file;
    ValoriRichiesti modifiche; // the values given as options
    Banda banda = Banda::UHF;
    bool cambia_banda = false;      // init: also a unit that reports the other band
    std::optional<int> ripetizioni; // --repeat; 0 is until Ctrl-C
    int silenzio_ms = tempi::SILENZIO_MS;
    QString registro;
    // --codici, --codici-da: each unit of a run the next code of the plan.
    std::optional<PianoCodici> piano;
    QString opzione_piano;           // as typed, for the messages
    QString archivio;                // --archivio: libpq's connection string of the shared archive
    QString etichette;               // --etichette: a printer, or a folder of PDFs
    QSizeF misura_etichette{62, 29}; // mm
    bool misura_data = false;
    bool json = false;
    QString registro_letto; // report LOG; "-" is stdin; empty: report --archivio
    bool csv = false;

    // read -o FILE, rather than stdout.
    bool uscita_su_file() const
    {
        return !file_uscita.isEmpty() && file_uscita != QLatin1String("-");
    }
    int numero_porte() const { return static_cast<int>(porte.size() + com.size()); }
    // A run of units, one record each, rather than a single command.
    bool corsa() const { return ripetizioni.has_value() || numero_porte() > 1; }
};

using ErroreArgomenti = ErroreValore;

std::variant<Argomenti, ErroreArgomenti> analizza_argomenti(const QStringList &argomenti);

// "read", "program", ... as typed.
QString nome_comando(Argomenti::Comando comando);

extern const char *const TESTO_AIUTO;
