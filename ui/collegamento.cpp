// SPDX-License-Identifier: GPL-3.0-or-later
#include "collegamento.h"

#include "messaggi.h"
#include "programmazione.h"
#include "sintetizzatore.h"
#include "testo_numero.h"

#include <QEventLoop>

using Campo = Elementi::Campo;
using Abilitabile = Elementi::Abilitabile;
using Opzione = Elementi::Opzione;
using EsitoOperazione = Ricevitore::EsitoOperazione;

const QString Collegamento::NON_CONNESSO = QStringLiteral(" Non Connesso");
const QString Collegamento::IN_ATTESA = QStringLiteral(" In Attesa ");
const QString Collegamento::CONNESSO = QStringLiteral(" Connesso");

const QString Collegamento::ERRORE_PORTA = QLatin1String(messaggio::ERRORE_PORTA);
const QString Collegamento::ERRORE_TIME_OUT = QLatin1String(messaggio::ERRORE_TIME_OUT);
const QString Collegamento::ERRORE_LETTURA = QLatin1String(messaggio::ERRORE_LETTURA);
const QString Collegamento::FUORI_RANGE_RX = QLatin1String(messaggio::FUORI_RANGE_RX);
const QString Collegamento::FUORI_BANDA = QLatin1String(messaggio::FUORI_BANDA);
const QString Collegamento::VALORE_FUORI_RANGE = QLatin1String(messaggio::VALORE_FUORI_RANGE);

namespace {
constexpr int INTERVALLO_STATO_MS = 10;
} // namespace

class Collegamento::Transazione
{
public:
    explicit Transazione(Collegamento &c) : m_c(c) { m_c.m_in_transazione = true; }
    ~Transazione() { m_c.m_in_transazione = false; }

private:
    Collegamento &m_c;
};

Collegamento::Collegamento(Elementi &elementi, QObject *parent)
    : QObject(parent), c(elementi), m_ricevitore(this), Timer_stato(this)
{
    Timer_stato.setObjectName(QStringLiteral("Timer_stato"));
    Timer_stato.setInterval(INTERVALLO_STATO_MS);
    connect(&Timer_stato, &QTimer::timeout, this, &Collegamento::Timer_stato_Timer);
    // ProgressBar1 follows the cell of each request, read or written.
    connect(&m_ricevitore, &Ricevitore::progresso, this,
            [this](Ricevitore::Operazione, int cella, int) { c.valore_progresso(cella); });
}

Collegamento::~Collegamento() = default;

void Collegamento::avvia_supervisione()
{
    Timer_stato.start();
}

void Collegamento::imposta_limite_annuncio(std::optional<int> ms)
{
    m_ricevitore.imposta_limite_annuncio(ms);
}

void Collegamento::imposta_limite_risposta(std::optional<int> ms)
{
    m_ricevitore.imposta_limite_risposta(ms);
}

void Collegamento::interrompi()
{
    m_interrotto = true;
    m_ricevitore.interrompi();
}

// The window's turn of the event loop while the engine works: clicks and
// ticks run meanwhile, and may end the wait by closing the port.
Ricevitore::Risultato Collegamento::attendi(bool avviata)
{
    Ricevitore::Risultato r;
    if (!avviata) {
        // Nothing could go out: the port is no longer open.
        r.esito = EsitoOperazione::PortaChiusa;
        return r;
    }
    QEventLoop ciclo;
    bool concluso = false;
    const auto ascolto = connect(&m_ricevitore, &Ricevitore::concluso, &ciclo,
                                 [&](const Ricevitore::Risultato &risultato) {
                                     r = risultato;
                                     concluso = true;
                                     ciclo.quit();
                                 });
    if (!concluso)
        ciclo.exec();
    disconnect(ascolto);
    return r;
}

// What the end of a wait for a byte means to the transaction; a bounded wait
// that ran out says so in the box.
Collegamento::EsitoTransazione Collegamento::esito_attesa(const Ricevitore::Risultato &r)
{
    if (m_interrotto)
        return EsitoTransazione::Interrotto;
    switch (r.esito) {
    case EsitoOperazione::Riuscito:
    case EsitoOperazione::RiletturaDiversa:
        return EsitoTransazione::Riuscito;
    case EsitoOperazione::TimeOut:
        c.avviso(ERRORE_TIME_OUT);
        return EsitoTransazione::TimeOut;
    case EsitoOperazione::Interrotto:
        return EsitoTransazione::Interrotto;
    case EsitoOperazione::PortaChiusa:
        break;
    }
    return EsitoTransazione::PortaGuasta;
}

void Collegamento::Cmb_com_Click()
{
    if (m_in_transazione) {
        // Closing the port under a waiting transaction helps nobody.
        c.beep();
        return;
    }
    m_ricevitore.chiudi(); // no "E": the receiver is not told
    static const QString prefisso = QStringLiteral("Com ");
    const QString scelta = c.testo_porta();
    bool trovata = false;
    for (int n = PortaSeriale::PRIMA; n <= PortaSeriale::ULTIMA; ++n) {
        if (scelta == prefisso + QString::number(n)) {
            porta().imposta_numero(n);
            trovata = true;
        }
    }
    if (!trovata)
        c.beep();
    c.abilita(Abilitabile::PortaCom, false);
    c.abilita(Abilitabile::PortaCom, true);
}

Collegamento::EsitoTransazione Collegamento::Cmd_connetti_Click()
{
    if (m_in_transazione) {
        c.beep();
        return EsitoTransazione::Occupato;
    }
    Transazione transazione(*this);
    if (!m_ricevitore.apri()) {
        c.avviso(ERRORE_PORTA);
        return EsitoTransazione::PortaGuasta;
    }
    c.imposta_stato(IN_ATTESA);
    EsitoTransazione esito = esito_attesa(attendi(m_ricevitore.attendi_annuncio()));
    if (esito == EsitoTransazione::Riuscito) {
        c.imposta_stato(CONNESSO);
        esito = leggi_parametri();
    }
    if (esito == EsitoTransazione::PortaGuasta)
        c.avviso(ERRORE_PORTA);
    if (esito != EsitoTransazione::Riuscito)
        return esito;
    return m_lettura_da_rifare ? EsitoTransazione::ChecksumErrato : EsitoTransazione::Riuscito;
}

Collegamento::EsitoTransazione Collegamento::leggi_parametri()
{
    // Until this read passes its checksum, its cells must not go back.
    m_lettura_da_rifare = true;
    m_celle_lette.clear();
    c.mostra_progresso(true);
    c.massimo_progresso(ULTIMA_CELLA_LETTA);
    const Ricevitore::Risultato r = attendi(m_ricevitore.leggi());
    conserva_lettura(r.celle_lette);
    const EsitoTransazione esito = esito_attesa(r);
    // An abandoned read leaves the bar where it was, and shows nothing.
    if (esito != EsitoTransazione::Riuscito)
        return esito;
    c.valore_progresso(0);
    c.mostra_progresso(false);

    m_p.calcola_checksum();
    const bool valida = m_p.Tot_cks.valore() == m_p.Cks.valore();
    if (!valida)
        c.avviso(ERRORE_LETTURA);
    mostra_lettura();
    m_lettura_da_rifare = !valida;
    return EsitoTransazione::Riuscito;
}

void Collegamento::conserva_lettura(const QByteArray &celle)
{
    m_celle_lette = celle;
    for (int t = 0; t < celle.size(); ++t) {
        const double byte = static_cast<std::uint8_t>(celle.at(t));
        if (Variante *v = m_p.variabile(t))
            *v = byte;
        else if (t == CELLA_CKS)
            m_p.Cks = byte;
        else if (t == CELLA_BANDA)
            m_p.stripVU = byte;
    }
}

void Collegamento::mostra_lettura()
{
    auto mostra = [this](Campo campo, double valore) {
        c.imposta_testo(campo, QString::fromStdString(testo_numero(valore)));
    };
    mostra(Campo::Codice, unisci_codice(m_p.Cod_H.valore(), m_p.Cod_L.valore()));
    if (const auto rx = m_p.frequenza_da_fq_byte())
        mostra(Campo::Frequenza, *rx);
    mostra(Campo::TempoRele, m_p.Tempo_Rele.valore());
    mostra(Campo::TempoImp, m_p.Tempo_Imp.valore());

    scegli_opzione(m_p.Toni_HL, Opzione::ToniBassi, Opzione::ToniAlti);
    scegli_opzione(m_p.RxP88, Opzione::Strip, Opzione::Bidi);
    scegli_opzione(m_p.Mem_Ipul, Opzione::Memo, Opzione::Imp);

    if (m_p.stripVU.uguale(lettera::UHF))
        c.imposta_banda(QStringLiteral("  UHF"));
    else if (m_p.stripVU.uguale(lettera::VHF))
        c.imposta_banda(QStringLiteral("  VHF"));
}

void Collegamento::scegli_opzione(const Variante &v, Opzione zero, Opzione uno)
{
    if (!v.uguale(0) && !v.uguale(1)) {
        c.beep();
        return;
    }
    // The button's own click handling stores the value just read again.
    const Opzione o = v.uguale(0) ? zero : uno;
    opzione_cliccata(o);
    c.seleziona(o);
}

Collegamento::EsitoTransazione Collegamento::cmd_programma_Click()
{
    if (m_in_transazione) {
        // Two blocks interleaved on the line would corrupt the receiver.
        c.beep();
        return EsitoTransazione::Occupato;
    }
    // On a port that has gone, the first write fails and takes the time-out
    // path, which tells the user the link is down.
    if (m_lettura_da_rifare && m_ricevitore.aperta()) {
        // Cells 0 and 4-6 go back as read: never write back a bad read.
        c.avviso(ERRORE_LETTURA);
        return EsitoTransazione::LetturaDaRifare;
    }
    Transazione transazione(*this);
    m_p.fleg = 1;
    c.abilita(Abilitabile::Programma, false);

    ValoriDaScrivere v;
    v.frequenza = Frequenza(c.testo(Campo::Frequenza).toStdString());
    auto valore = [this](Campo campo) { return valore_testo(c.testo(campo).toStdString()); };
    v.codice = valore(Campo::Codice);
    v.rele = valore(Campo::TempoRele);
    v.impulsi = valore(Campo::TempoImp);
    v.opzioni = {m_p.Toni_HL.valore(), m_p.Mem_Ipul.valore(), m_p.RxP88.valore()};
    Blocco prima{};
    for (const int i : {CELLA_TIPO, CELLA_BASE1, CELLA_BASE2, CELLA_BASE3})
        prima[std::size_t(i)] = codifica_cella(m_p.variabile(i)->valore()).value_or(0);
    prima[CELLA_BANDA] = codifica_cella(m_p.stripVU.valore()).value_or(0);

    const Programmazione p = prepara_programmazione(v, prima);
    if (p.fuori_range)
        c.avviso(FUORI_RANGE_RX);
    if (p.rifiuto == Rifiuto::FuoriBanda) {
        c.avviso(FUORI_BANDA);
        m_p.fleg = 0;
        return EsitoTransazione::FuoriBanda;
    }
    for (const int i :
         {CELLA_FQ1, CELLA_FQ2, CELLA_FQ3, CELLA_COD_H, CELLA_COD_L, CELLA_RELE, CELLA_IMPULSI})
        *m_p.variabile(i) = p.valori[std::size_t(i)];
    m_p.Tot_cks = p.valori[CELLA_CKS];
    if (!p.da_scrivere()) {
        c.avviso(VALORE_FUORI_RANGE);
        m_p.fleg = 0;
        return EsitoTransazione::ValoreFuoriRange;
    }

    EsitoTransazione esito = scrivi_celle(p.celle, CELLA_CKS);
    if (esito == EsitoTransazione::Riuscito)
        esito = lettura_di_verifica();
    m_p.fleg = 0;
    return esito;
}

Collegamento::EsitoTransazione Collegamento::inizializza(Banda banda)
{
    if (m_in_transazione) {
        c.beep();
        return EsitoTransazione::Occupato;
    }
    Transazione transazione(*this);
    const EsitoTransazione esito = scrivi_celle(blocco_fabbrica(banda), CELLA_MARCA);
    if (esito != EsitoTransazione::Riuscito)
        return esito;
    svuota_campi();
    return lettura_di_verifica();
}

Collegamento::EsitoTransazione Collegamento::scrivi_celle(const Blocco &celle, int ultima)
{
    m_celle_scritte = QByteArray(reinterpret_cast<const char *>(celle.data()), ultima + 1);
    c.mostra_progresso(true);
    c.massimo_progresso(ultima);
    const Ricevitore::Risultato r = attendi(m_ricevitore.scrivi(celle, ultima));
    if (m_interrotto || r.esito == EsitoOperazione::Interrotto)
        return EsitoTransazione::Interrotto;
    // A port closed under the wait, or a write that failed, ends the record
    // as the missing "K" does.
    if (!r.riuscito()) {
        gestione_time_out();
        return EsitoTransazione::TimeOut;
    }
    c.valore_progresso(0);
    c.mostra_progresso(false);
    return EsitoTransazione::Riuscito;
}

Collegamento::EsitoTransazione Collegamento::lettura_di_verifica()
{
    const EsitoTransazione esito = leggi_parametri();
    if (esito == EsitoTransazione::PortaGuasta)
        return EsitoTransazione::LetturaAbbandonata;
    if (esito != EsitoTransazione::Riuscito)
        return esito;
    if (m_lettura_da_rifare)
        return EsitoTransazione::ChecksumErrato;
    return confronta_rilettura();
}

Collegamento::EsitoTransazione Collegamento::confronta_rilettura() const
{
    // Cell 63 is written by the initialisation but never read.
    const qsizetype n = std::min(m_celle_scritte.size(), m_celle_lette.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (m_celle_scritte.at(i) != m_celle_lette.at(i))
            return EsitoTransazione::RiletturaDiversa;
    }
    return EsitoTransazione::Riuscito;
}

void Collegamento::gestione_time_out()
{
    c.avviso(ERRORE_TIME_OUT);
    c.mostra_progresso(false);
    c.imposta_stato(NON_CONNESSO);
    m_ricevitore.chiudi();
    svuota_campi();
    m_p.fleg = 0;
}

void Collegamento::Cmd_disconetti_Click()
{
    chiudi_dialogo();
    svuota_campi();
}

void Collegamento::Command4_Click()
{
    chiudi_dialogo();
    interrompi();
    c.termina();
}

void Collegamento::chiudi_dialogo()
{
    // A failed "E" means the line is gone: there is nobody left to tell.
    m_ricevitore.termina_dialogo();
    c.imposta_stato(NON_CONNESSO);
    m_ricevitore.chiudi();
}

void Collegamento::chiusura_finestra()
{
    interrompi();
    m_ricevitore.chiudi();
}

void Collegamento::svuota_campi()
{
    for (Campo campo : Elementi::CAMPI)
        c.imposta_testo(campo, QString());
}

void Collegamento::opzione_cliccata(Opzione opzione)
{
    switch (opzione) {
    case Opzione::ToniAlti:
        m_p.Toni_HL = 1;
        break;
    case Opzione::ToniBassi:
        m_p.Toni_HL = 0;
        break;
    case Opzione::Memo:
        m_p.Mem_Ipul = 0;
        break;
    case Opzione::Imp:
        m_p.Mem_Ipul = 1;
        break;
    case Opzione::Strip:
        m_p.RxP88 = 0;
        break;
    case Opzione::Bidi:
        m_p.RxP88 = 1;
        break;
    }
}

void Collegamento::Timer_stato_Timer()
{
    m_p.Fabbrica = 1;
    const QString stato = c.stato();
    if (stato == CONNESSO)
        abilita_riga(false, true, !m_p.fleg.uguale(1), m_p.Fabbrica.uguale(1));
    else if (stato == NON_CONNESSO)
        abilita_riga(true, false, false, false);
    else if (stato == IN_ATTESA)
        abilita_riga(false, true, false, false);
    else
        c.imposta_stato(NON_CONNESSO);
}

void Collegamento::abilita_riga(bool connetti, bool disconetti, bool programma, bool init)
{
    c.abilita(Abilitabile::Connetti, connetti);
    c.abilita(Abilitabile::PortaCom, connetti);
    c.abilita(Abilitabile::Disconetti, disconetti);
    c.abilita(Abilitabile::Programma, programma);
    c.abilita(Abilitabile::InitUhf, init);
    c.abilita(Abilitabile::InitVhf, init);
}
