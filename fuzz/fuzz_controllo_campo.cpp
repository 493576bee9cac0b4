// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllo_campo.h"
#include "proprieta.h"
#include "testo_numero.h"

#include <cstdint>

// The entry fields' check on any text: the first byte picks the field, the
// rest is the text as UTF-8.
namespace {
bool cifra(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int caratteri_errati(const QString &testo, bool punto_ammesso)
{
    int n = 0;
    for (const QChar c : testo)
        n += !cifra(c) && !(punto_ammesso && c == QLatin1Char('.'));
    return n;
}

void selezione(const EsitoControllo &e, const QString &testo)
{
    esigi(e.beep >= 0, "no negative beep count");
    esigi(e.difettoso() == (e.carattere_errato || e.oltre_limite),
          "a beep goes with a reason, and a reason with a beep");
    if (!e.difettoso()) {
        esigi(e.inizio == -1 && e.lunghezza == 0, "no fault, no selection");
        return;
    }
    esigi(e.lunghezza == 1 && e.inizio >= 0 && e.inizio + e.lunghezza <= testo.size(),
          "one character selected inside the text");
}

void frequenza(const EsitoControllo &e, const QString &testo)
{
    const int errati = caratteri_errati(testo, true);
    esigi(e.beep == (errati > 0 ? 1 : 0), "the frequency field beeps once for a wrong character");
    esigi(!e.oltre_limite, "the frequency field has no limit");
    if (errati > 0)
        esigi(!cifra(testo[e.inizio]) && testo[e.inizio] != QLatin1Char('.') &&
                  caratteri_errati(testo.left(e.inizio), true) == 0,
              "it selects the first wrong character");
}

void numero(TipoCampo tipo, const EsitoControllo &e, const QString &testo)
{
    const double limite = tipo == TipoCampo::Codice ? 4096 : 255;
    const bool oltre = valore_testo(testo.toStdString()) > limite;
    const int errati = caratteri_errati(testo, false);
    esigi(e.oltre_limite == oltre, "over the limit when the value is");
    esigi(e.carattere_errato ==
              (tipo == TipoCampo::Codice && oltre ? !cifra(testo[0]) : errati > 0),
          "a wrong character is reported when one is scanned");
    // The limit is reported once per character scanned; the code field stops
    // at the first report.
    const int attesi = !oltre                      ? errati
                       : tipo == TipoCampo::Codice ? 1 + !cifra(testo[0])
                                                   : errati + int(testo.size());
    esigi(e.beep == attesi, "beep count");
    if (oltre)
        esigi(e.inizio == (tipo == TipoCampo::Codice ? 3 : 2), "the limit selects its digit");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione)
{
    if (dimensione == 0)
        return 0;
    const TipoCampo tipo = dati[0] % 3 == 0   ? TipoCampo::Codice
                           : dati[0] % 3 == 1 ? TipoCampo::Frequenza
                                              : TipoCampo::Tempo;
    const QString testo = QString::fromUtf8(reinterpret_cast<const char *>(dati + 1),
                                            static_cast<qsizetype>(dimensione - 1));
    const EsitoControllo e = controlla_campo(tipo, testo);
    selezione(e, testo);
    if (tipo == TipoCampo::Frequenza)
        frequenza(e, testo);
    else
        numero(tipo, e, testo);
    return 0;
}
