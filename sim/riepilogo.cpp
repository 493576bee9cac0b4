// SPDX-License-Identifier: GPL-3.0-or-later
#include "riepilogo.h"

#include "file_atomico.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

namespace {
// Members in the order they are added, so that the file reads the same every time.
class OggettoJson
{
public:
    OggettoJson &campo(const char *chiave, const std::string &json)
    {
        m_testo += m_testo.size() > 1 ? ",\"" : "\"";
        m_testo += chiave;
        m_testo += "\":" + json;
        return *this;
    }
    std::string testo() const { return m_testo + '}'; }

private:
    std::string m_testo = "{";
};

std::string numero(double valore)
{
    char testo[32];
    const auto fine = std::to_chars(testo, testo + sizeof testo, valore).ptr;
    return std::string(testo, fine);
}

std::string stringa(const std::string &testo)
{
    std::string json = "\"";
    for (const char c : testo) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char codice[8];
            std::snprintf(codice, sizeof codice, "\\u%04x", static_cast<unsigned char>(c));
            json += codice;
        } else {
            json += c;
        }
    }
    return json + '"';
}

template <typename Celle> std::string elenco(const Celle &celle)
{
    std::string json = "[";
    for (const auto c : celle)
        json += (json.size() > 1 ? "," : "") + std::to_string(c);
    return json + ']';
}

void cella(OggettoJson &guasti, const char *chiave, const std::optional<int> &valore)
{
    if (valore)
        guasti.campo(chiave, std::to_string(*valore));
}

void probabilita(OggettoJson &guasti, const char *chiave, double valore)
{
    if (valore > 0)
        guasti.campo(chiave, numero(valore));
}

std::string guasti_json(const OpzioniSimulatore &o)
{
    OggettoJson guasti;
    guasti.campo("seed", std::to_string(o.guasti.seme));
    if (o.silenzioso)
        guasti.campo("silent", "true");
    if (!o.rumore.empty())
        guasti.campo("noise", stringa(o.rumore));
    cella(guasti, "no-ack-from", o.guasti.senza_conferma_da);
    cella(guasti, "bad-ack-at", o.guasti.conferma_errata);
    cella(guasti, "double-ack-at", o.guasti.conferma_doppia);
    cella(guasti, "corrupt-cell", o.guasti.cella_corrotta);
    if (o.riaggancio_dopo)
        guasti.campo("hangup-after", std::to_string(*o.riaggancio_dopo));
    if (o.ritardo_risposta_ms > 0)
        guasti.campo("reply-delay-ms", std::to_string(o.ritardo_risposta_ms));
    probabilita(guasti, "garbage-reads", o.guasti.letture_casuali);
    probabilita(guasti, "extra-bytes", o.guasti.byte_in_piu);
    if (o.celle_ritardate.any()) {
        std::vector<int> celle;
        for (int i = 0; i < NUM_CELLE; ++i)
            if (o.celle_ritardate[i])
                celle.push_back(i);
        guasti.campo("delay-at", elenco(celle));
        guasti.campo("delay-ms", std::to_string(o.ritardo_celle_ms));
    }
    cella(guasti, "no-reply-at", o.guasti.senza_risposta);
    if (o.guasti.raffica_dopo)
        guasti.campo("burst-after", std::to_string(*o.guasti.raffica_dopo));
    cella(guasti, "lose-write-at", o.guasti.scrittura_persa);
    cella(guasti, "flip-after-write", o.guasti.rilettura_diversa);
    return guasti.testo();
}

std::string riepilogo_json(const Simulatore &simulatore)
{
    const Conteggi &conteggi = simulatore.conteggi();
    return OggettoJson()
               .campo("celle", elenco(simulatore.memoria().celle()))
               .campo("scritture", std::to_string(conteggi.scritture))
               .campo("dialoghi", std::to_string(conteggi.dialoghi))
               .campo("unita", std::to_string(conteggi.unita))
               .campo("guasti", guasti_json(simulatore.opzioni()))
               .testo() +
           '\n';
}
} // namespace

bool salva_riepilogo(const std::string &percorso, const Simulatore &simulatore, std::string &errore)
{
    const std::string json = riepilogo_json(simulatore);
    return salva_file_atomico(percorso, json.data(), json.size(), errore);
}
