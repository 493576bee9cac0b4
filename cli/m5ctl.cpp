#include "m5ctl.h"

#include "controllo_campo.h"
#include "riga_json.h"
#include "sintetizzatore.h"
#include "testo_numero.h"

#include <QJsonArray>

#include <cmath>
#include <cstdio>
#include <tuple>
#include <utility>

using Campo = Controlli::Campo;
using Esito = Collegamento::Esito;

namespace {
constexpr int CELLE_LETTE = CELLA_BANDA + 1;
constexpr int CELLE_VERIFICATE_PROGRAMMA = 14;

QJsonValue numero(const QString &testo)
{
    if (testo.isEmpty())
        return QJsonValue::Null;
    const double valore = valore_testo(testo.toStdString());
    if (valore == std::trunc(valore) && std::abs(valore) < 1e15)
        return static_cast<qint64>(valore);
    return valore;
}

QJsonValue opzione(std::uint8_t cella, const char *zero, const char *uno)
{
    if (cella == 0)
        return QString::fromLatin1(zero);
    if (cella == 1)
        return QString::fromLatin1(uno);
    return cella;
}

void errore_uso(const QString &messaggio)
{
    std::fprintf(stderr, "m5ctl: %s\n", messaggio.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

M5ctl::M5ctl() : m_collegamento(m_console)
{
    m_console.collega(&m_collegamento);
    QObject::connect(&m_segnali, &Segnali::interruzione, &m_collegamento,
                     &Collegamento::interrompi);
}

int M5ctl::codice_uscita(Esito esito)
{
    switch (esito) {
    case Esito::Riuscito:
        return uscita::SUCCESSO;
    case Esito::PortaGuasta:
    case Esito::LetturaAbbandonata:
        return uscita::PORTA;
    case Esito::TimeOut:
        return uscita::TIME_OUT;
    case Esito::ChecksumErrato:
    case Esito::LetturaDaRifare:
        return uscita::LETTURA;
    case Esito::FuoriBanda:
        return uscita::FUORI_BANDA;
    case Esito::ValoreFuoriRange:
        return uscita::FUORI_RANGE;
    case Esito::Interrotto:
        return uscita::INTERROTTO;
    case Esito::Occupato:
        break;
    }
    return uscita::INTERNO;
}

int M5ctl::leggi()
{
    const Esito esito = m_collegamento.Cmd_connetti_Click();
    return concludi(codice_uscita(esito),
                    lettura_completa(esito) ? descrivi_lettura() : QByteArray());
}

int M5ctl::programma(const Modifiche &modifiche)
{
    if (const int codice = verifica_modifiche(modifiche); codice != uscita::SUCCESSO)
        return codice;

    const Esito lettura = m_collegamento.Cmd_connetti_Click();
    // After a bad read the programming itself refuses, as it does in the window.
    if ((lettura != Esito::Riuscito && lettura != Esito::ChecksumErrato) || Segnali::ricevuto())
        return concludi(codice_uscita(lettura));

    const std::pair<const std::optional<QString> &, Campo> campi[] = {
        {modifiche.codice, Campo::Codice},
        {modifiche.frequenza, Campo::Frequenza},
        {modifiche.rele, Campo::TempoRele},
        {modifiche.impulsi, Campo::TempoImp},
    };
    for (const auto &[testo, campo] : campi) {
        if (testo)
            m_console.imposta_testo(campo, *testo);
    }
    for (const auto &scelta : {modifiche.toni, modifiche.uscite, modifiche.trasmettitori}) {
        if (scelta)
            m_console.seleziona(*scelta);
    }

    const Esito esito = m_collegamento.cmd_programma_Click();
    const QByteArray json = lettura_completa(esito) ? descrivi_lettura() : QByteArray();
    int codice = codice_uscita(esito);
    if (esito == Esito::Riuscito)
        codice = verifica_rilettura(m_collegamento.celle_scritte(), CELLE_VERIFICATE_PROGRAMMA);
    return concludi(codice, json);
}

int M5ctl::inizializza(Banda banda)
{
    const Esito lettura = m_collegamento.Cmd_connetti_Click();
    // Initialising is the cure for a bad block: a checksum error only warns.
    if ((lettura != Esito::Riuscito && lettura != Esito::ChecksumErrato) || Segnali::ricevuto())
        return concludi(codice_uscita(lettura));

    const Esito esito = banda == Banda::UHF ? m_collegamento.Cmd_init_uhf_Click()
                                            : m_collegamento.Cmd_init_vhf_Click();
    const QByteArray json = lettura_completa(esito) ? descrivi_lettura() : QByteArray();
    int codice = codice_uscita(esito);
    if (esito == Esito::Riuscito) {
        const Blocco &blocco = blocco_fabbrica(banda);
        codice = verifica_rilettura(
            QByteArray(reinterpret_cast<const char *>(blocco.data()), CELLE_LETTE), CELLE_LETTE);
    }
    return concludi(codice, json);
}

int M5ctl::verifica_modifiche(const Modifiche &modifiche)
{
    const std::tuple<const std::optional<QString> &, Campo, const char *> campi[] = {
        {modifiche.codice, Campo::Codice, "--codice"},
        {modifiche.frequenza, Campo::Frequenza, "--frequenza"},
        {modifiche.rele, Campo::TempoRele, "--rele"},
        {modifiche.impulsi, Campo::TempoImp, "--impulsi"},
    };
    bool fuori_range = false;
    for (const auto &[testo, campo, opzione] : campi) {
        if (!testo)
            continue;
        const EsitoControllo esito = controlla_campo(campo, *testo);
        if (esito.carattere_errato) {
            errore_uso(QStringLiteral("%1: carattere non valido in \"%2\"")
                           .arg(QLatin1String(opzione), *testo));
            return uscita::USO;
        }
        fuori_range = fuori_range || esito.oltre_limite;
    }
    if (fuori_range) {
        m_console.avviso(Collegamento::VALORE_FUORI_RANGE);
        return uscita::FUORI_RANGE;
    }
    return uscita::SUCCESSO;
}

bool M5ctl::lettura_completa(Esito esito) const
{
    return (esito == Esito::Riuscito || esito == Esito::ChecksumErrato) &&
           m_collegamento.celle_lette().size() == CELLE_LETTE;
}

QByteArray M5ctl::descrivi_lettura() const
{
    const QByteArray &celle = m_collegamento.celle_lette();
    auto cella = [&celle](int i) { return static_cast<std::uint8_t>(celle.at(i)); };

    // The read fills the frequency field only when its reverse conversion
    // gives a frequency; otherwise the field shows what it showed before.
    Variante fq_byte3 = cella(3);
    const bool frequenza_letta = frequenza_da_fq_byte(cella(1), cella(2), fq_byte3).has_value();

    QJsonValue banda = QJsonValue::Null;
    if (cella(CELLA_BANDA) == LETTERA_UHF)
        banda = QStringLiteral("UHF");
    else if (cella(CELLA_BANDA) == LETTERA_VHF)
        banda = QStringLiteral("VHF");

    QJsonArray tutte;
    for (int i = 0; i < celle.size(); ++i)
        tutte.append(cella(i));

    RigaJson riga;
    riga.aggiungi(QStringLiteral("codice"), numero(m_console.testo(Campo::Codice)))
        .aggiungi(QStringLiteral("frequenza"), frequenza_letta
                                                   ? QJsonValue(m_console.testo(Campo::Frequenza))
                                                   : QJsonValue(QJsonValue::Null))
        .aggiungi(QStringLiteral("rele"), numero(m_console.testo(Campo::TempoRele)))
        .aggiungi(QStringLiteral("impulsi"), numero(m_console.testo(Campo::TempoImp)))
        .aggiungi(QStringLiteral("toni"), opzione(cella(9), "bassi", "alti"))
        .aggiungi(QStringLiteral("uscite"), opzione(cella(10), "mem", "imp"))
        .aggiungi(QStringLiteral("trasmettitori"), opzione(cella(13), "strip", "bidi"))
        .aggiungi(QStringLiteral("banda"), banda)
        .aggiungi(QStringLiteral("checksum_ok"), m_collegamento.ultima_lettura_valida())
        .aggiungi(QStringLiteral("celle"), tutte);
    return riga.testo();
}

int M5ctl::verifica_rilettura(const QByteArray &attese, int quante)
{
    const QByteArray &lette = m_collegamento.celle_lette();
    for (int i = 0; i < quante; ++i) {
        if (i >= lette.size() || i >= attese.size() || lette.at(i) != attese.at(i)) {
            m_console.avviso(QStringLiteral("Rilettura diversa dai dati scritti: cella %1").arg(i));
            return uscita::RILETTURA;
        }
    }
    return uscita::SUCCESSO;
}

int M5ctl::concludi(int codice, const QByteArray &json)
{
    // "E" before anything goes to stdout, which may be a pipe that is gone.
    m_collegamento.Cmd_disconetti_Click();
    if (Segnali::ricevuto())
        return uscita::INTERROTTO;
    if (!json.isEmpty()) {
        std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return codice;
}
