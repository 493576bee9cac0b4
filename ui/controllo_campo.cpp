// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllo_campo.h"

#include "testo_numero.h"

namespace {
bool cifra(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

void segnala(EsitoControllo &e, int inizio)
{
    ++e.beep;
    e.inizio = inizio;
    e.lunghezza = 1;
}
} // namespace

EsitoControllo controlla_campo(TipoCampo tipo, const QString &testo)
{
    EsitoControllo e;
    const int n = testo.size();
    if (tipo == TipoCampo::Frequenza) {
        for (int k = 0; k < n; ++k) {
            if (!cifra(testo[k]) && testo[k] != QLatin1Char('.')) {
                segnala(e, k);
                e.carattere_errato = true;
                break;
            }
        }
        return e;
    }

    const double valore = valore_testo(testo.toStdString());
    const double limite = tipo == TipoCampo::Codice ? 4096 : 255;
    // The limit is tested once per character scanned, so "300" in a time
    // field reports three times; the code field stops at the first report.
    for (int k = 0; k < n; ++k) {
        if (!cifra(testo[k])) {
            segnala(e, k);
            e.carattere_errato = true;
        }
        if (valore > limite) {
            segnala(e, tipo == TipoCampo::Codice ? 3 : 2);
            e.oltre_limite = true;
            if (tipo == TipoCampo::Codice)
                break;
        }
    }
    return e;
}

EsitoControllo controlla_campo(Elementi::Campo campo, const QString &testo)
{
    using Campo = Elementi::Campo;
    const TipoCampo tipo = campo == Campo::Codice      ? TipoCampo::Codice
                           : campo == Campo::Frequenza ? TipoCampo::Frequenza
                                                       : TipoCampo::Tempo;
    return controlla_campo(tipo, testo);
}
