#pragma once

#include "collegamento.h"
#include "console.h"
#include "segnali.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace uscita {
constexpr int SUCCESSO = 0;
constexpr int INTERNO = 1;
constexpr int USO = 2;
constexpr int PORTA = 3;
constexpr int TIME_OUT = 4;
constexpr int LETTURA = 5;
constexpr int FUORI_BANDA = 6;
constexpr int FUORI_RANGE = 7;
constexpr int RILETTURA = 8;
constexpr int INTERROTTO = 130;
} // namespace uscita

// The commands of m5ctl, each a sequence of the window's clicks on the
// console, ending the dialogue with "E" whenever the port is open.
class M5ctl
{
public:
    // What "program" changes in the window after the first read; unset
    // entries keep what the read showed.
    struct Modifiche
    {
        std::optional<QString> codice;
        std::optional<QString> frequenza;
        std::optional<QString> rele;
        std::optional<QString> impulsi;
        std::optional<Controlli::Opzione> toni;
        std::optional<Controlli::Opzione> uscite;
        std::optional<Controlli::Opzione> trasmettitori;
    };

    M5ctl();

    Collegamento &collegamento() { return m_collegamento; }

    int leggi();
    int programma(const Modifiche &modifiche);
    int inizializza(Banda banda);

    static int codice_uscita(Collegamento::Esito esito);

private:
    int verifica_modifiche(const Modifiche &modifiche);
    bool lettura_completa(Collegamento::Esito esito) const;
    QByteArray descrivi_lettura() const;
    int verifica_rilettura(const QByteArray &attese, int quante);
    int concludi(int codice, const QByteArray &json = {});

    Console m_console;
    Collegamento m_collegamento;
    Segnali m_segnali;
};
