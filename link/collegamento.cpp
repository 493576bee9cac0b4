// SPDX-License-Identifier: GPL-3.0-or-later
#include "collegamento.h"

#include "sintetizzatore.h"
#include "testo_numero.h"

#include <QMetaObject>

using Campo = Controlli::Campo;
using Comando = Controlli::Comando;
using Opzione = Controlli::Opzione;

const QString Collegamento::NON_CONNESSO = QStringLiteral(" Non Connesso");
const QString Collegamento::IN_ATTESA = QStringLiteral(" In Attesa ");
const QString Collegamento::CONNESSO = QStringLiteral(" Connesso");

const QString Collegamento::ERRORE_PORTA =
    QStringLiteral("Errore!!  Porta Seriale Guasta o Mancante ");
const QString Collegamento::ERRORE_TIME_OUT = QStringLiteral("Errore TIME OUT   ");
const QString Collegamento::ERRORE_LETTURA =
    QStringLiteral("Errore di Lettura nei Parametri, Riprovare ");
const QString Collegamento::FUORI_RANGE_RX = QStringLiteral("Frequenza RX fuori range!");
const QString Collegamento::FUORI_BANDA = QStringLiteral("Frequenza Fuori Banda !");
const QString Collegamento::VALORE_FUORI_RANGE = QStringLiteral("Valore fuori range!");

namespace {
// Unwinds a waiting transaction that must end without further messages.
struct Interruzione
{
    Collegamento::Esito esito;
};

constexpr int INTERVALLO_STATO_MS = 10;
// Only a safety net: every real wake-up is an event of its own.
constexpr int SVEGLIA_MS = 50;

QByteArray byte_singolo(char c)
{
    return QByteArray(1, c);
}
} // namespace

class Collegamento::Transazione
{
public:
    explicit Transazione(Collegamento &c) : m_c(c)
    {
        m_c.m_in_transazione = true;
        m_c.m_attesa_scaduta = Attesa::Nessuna;
        m_c.m_cella_diversa = -1;
        m_c.m_scrittura_incompleta = false;
        m_c.m_sveglia.start();
    }
    ~Transazione()
    {
        m_c.m_sveglia.stop();
        m_c.m_in_transazione = false;
    }

private:
    Collegamento &m_c;
};

Collegamento::Collegamento(Controlli &controlli, QObject *parent)
    : QObject(parent), c(controlli), Timer_stato(this), Timer1(this), m_sveglia(this)
{
    Timer_stato.setObjectName(QStringLiteral("Timer_stato"));
    Timer_stato.setInterval(INTERVALLO_STATO_MS);
    connect(&Timer_stato, &QTimer::timeout, this, &Collegamento::Timer_stato_Timer);
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(TIME_OUT_ACK_MS);
    // The receiver is promised 4000 ms: a coarse timer may fire 5 % early.
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &Collegamento::Timer1_Timer);
    m_sveglia.setInterval(SVEGLIA_MS);
    // Wakes a bounded wait at its deadline; the deadline itself decides.
    m_sveglia_scadenza.setSingleShot(true);
    m_sveglia_scadenza.setTimerType(Qt::PreciseTimer);
}

Collegamento::~Collegamento() = default;

void Collegamento::avvia_supervisione()
{
    Timer_stato.start();
}

void Collegamento::interrompi()
{
    m_interrotto = true;
    // Wakes a wait blocked in this object's thread.
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}

void Collegamento::Cmb_com_Click()
{
    if (m_in_transazione) {
        // Closing the port under a waiting transaction helps nobody.
        c.beep();
        return;
    }
    m_porta.chiudi(); // no "E": the receiver is not told
    static const QString prefisso = QStringLiteral("Com ");
    const QString scelta = c.testo_porta();
    bool trovata = false;
    for (int n = PortaSeriale::PRIMA; n <= PortaSeriale::ULTIMA; ++n) {
        if (scelta == prefisso + QString::number(n)) {
            m_porta.imposta_numero(n);
            trovata = true;
        }
    }
    if (!trovata)
        c.beep();
    c.abilita(Comando::PortaCom, false);
    c.abilita(Comando::PortaCom, true);
}

Collegamento::Esito Collegamento::Cmd_connetti_Click()
{
    if (m_in_transazione) {
        c.beep();
        return Esito::Occupato;
    }
    Transazione transazione(*this);
    try {
        if (!m_porta.aperta())
            m_porta.apri();
        m_porta.imposta_soglia(1);
        m_porta.imposta_granularita(1);
        c.imposta_stato(IN_ATTESA);
        inizia_attesa(Attesa::Annuncio, m_limite_annuncio);
        for (;;) {
            turno_attesa();
            if (m_porta.in_attesa() == 0)
                continue;
            if (m_porta.leggi() == byte_singolo(lettera::PRONTO))
                break;
        }
        m_porta.scrivi(byte_singolo(lettera::INIZIO));
        c.imposta_stato(CONNESSO);
        leggi_parametri();
        return m_lettura_da_rifare ? Esito::ChecksumErrato : Esito::Riuscito;
    } catch (const ErrorePorta &) {
        c.avviso(ERRORE_PORTA);
        return Esito::PortaGuasta;
    } catch (const Interruzione &i) {
        return i.esito;
    }
}

void Collegamento::leggi_parametri()
{
    // Until this read passes its checksum, its cells must not go back.
    m_lettura_da_rifare = true;
    m_celle_lette.clear();
    c.mostra_progresso(true);
    c.massimo_progresso(ULTIMA_CELLA_LETTA);
    for (int t = 0; t <= ULTIMA_CELLA_LETTA; ++t) {
        m_p.t = t;
        m_ultima_cella = t;
        c.valore_progresso(t);
        QByteArray risposta;
        m_porta.scrivi(byte_singolo(lettera::LEGGI));
        m_porta.scrivi(byte_singolo(static_cast<char>(t)));
        inizia_attesa(Attesa::Risposta, m_limite_risposta);
        while (risposta.size() != 1) {
            turno_attesa();
            if (!m_porta.aperta())
                throw ErrorePorta("lettura abbandonata");
            risposta += m_porta.leggi();
        }
        m_celle_lette += risposta;
        const double byte = static_cast<std::uint8_t>(risposta.at(0));
        if (Variante *v = m_p.variabile(t))
            *v = byte;
        else if (t == CELLA_CKS)
            m_p.Cks = byte;
        else if (t == CELLA_BANDA)
            m_p.stripVU = byte;
    }
    c.valore_progresso(0);
    c.mostra_progresso(false);

    m_p.calcola_checksum();
    const bool valida = m_p.Tot_cks.valore() == m_p.Cks.valore();
    if (!valida)
        c.avviso(ERRORE_LETTURA);
    mostra_lettura();
    m_lettura_da_rifare = !valida;
}

void Collegamento::mostra_lettura()
{
    auto mostra = [this](Campo campo, double valore) {
        c.imposta_testo(campo, QString::fromStdString(testo_numero(valore)));
    };
    mostra(Campo::Codice, unisci_codice(m_p.Cod_H.valore(), m_p.Cod_L.valore()));
    if (const auto rx = frequenza_da_fq_byte(m_p.FQ_Byte1, m_p.FQ_Byte2, m_p.FQ_Byte3))
        mostra(Campo::Frequenza, *rx);
    mostra(Campo::TempoRele, m_p.Tempo_Rele.valore());
    mostra(Campo::TempoImp, m_p.Tempo_Imp.valore());

    scegli_opzione(m_p.Toni_HL, Opzione::ToniBassi, Opzione::ToniAlti);
    scegli_opzione(m_p.RxP88, Opzione::Strip, Opzione::Bidi);
    scegli_opzione(m_p.Mem_Ipul, Opzione::Memo, Opzione::Imp);

    if (m_p.stripVU.uguale(LETTERA_UHF))
        c.imposta_banda(QStringLiteral("  UHF"));
    else if (m_p.stripVU.uguale(LETTERA_VHF))
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

Collegamento::Esito Collegamento::cmd_programma_Click()
{
    if (m_in_transazione) {
        // Two blocks interleaved on the line would corrupt the receiver.
        c.beep();
        return Esito::Occupato;
    }
    // On a port that has gone, the first write fails and takes the time-out
    // path, which tells the user the link is down.
    if (m_lettura_da_rifare && m_porta.aperta()) {
        // Cells 0 and 4-6 go back as read: never write back a bad read.
        c.avviso(ERRORE_LETTURA);
        return Esito::LetturaDaRifare;
    }
    Transazione transazione(*this);
    m_p.fleg = 1;
    c.abilita(Comando::Programma, false);

    const Conversione fq = converti_frequenza(c.testo(Campo::Frequenza).toStdString(), m_p.stripVU);
    m_p.FEe = fq.FEe;
    if (fq.fuori_range)
        c.avviso(FUORI_RANGE_RX);
    if (fq.fuori_banda) {
        c.avviso(FUORI_BANDA);
        m_p.fleg = 0;
        return Esito::FuoriBanda;
    }
    m_p.FQ_Byte1 = fq.celle.FQ_Byte1;
    m_p.FQ_Byte2 = fq.celle.FQ_Byte2;
    m_p.FQ_Byte3 = fq.celle.FQ_Byte3;

    auto valore = [this](Campo campo) { return valore_testo(c.testo(campo).toStdString()); };
    const Codice codice = dividi_codice(valore(Campo::Codice));
    m_p.Cod_H = codice.Cod_H;
    m_p.Cod_L = codice.Cod_L;
    m_p.Tempo_Rele = valore(Campo::TempoRele);
    m_p.Tempo_Imp = valore(Campo::TempoImp);
    m_p.calcola_checksum();

    Blocco celle{};
    for (int i = 0; i <= CELLA_CKS; ++i) {
        const auto byte = codifica_cella(m_p.valore_da_inviare(i));
        if (!byte) {
            c.avviso(VALORE_FUORI_RANGE);
            m_p.fleg = 0;
            return Esito::ValoreFuoriRange;
        }
        celle[i] = *byte;
    }

    Esito esito = scrivi_celle(celle, CELLA_CKS);
    if (esito == Esito::Riuscito)
        esito = lettura_di_verifica();
    m_p.fleg = 0;
    return esito;
}

Collegamento::Esito Collegamento::inizializza(Banda banda)
{
    if (m_in_transazione) {
        c.beep();
        return Esito::Occupato;
    }
    Transazione transazione(*this);
    const Esito esito = scrivi_celle(blocco_fabbrica(banda), CELLA_MARCA);
    if (esito != Esito::Riuscito)
        return esito;
    svuota_campi();
    return lettura_di_verifica();
}

Collegamento::Esito Collegamento::scrivi_celle(const Blocco &celle, int ultima)
{
    m_celle_scritte = QByteArray(reinterpret_cast<const char *>(celle.data()), ultima + 1);
    m_scrittura_incompleta = true;
    try {
        c.mostra_progresso(true);
        c.massimo_progresso(ultima);
        for (int i = 0; i <= ultima; ++i) {
            m_ultima_cella = i;
            c.valore_progresso(i);
            if (attendi_conferma_di(i, celle[i]) != Esito::Riuscito) {
                gestione_time_out();
                return Esito::TimeOut;
            }
        }
        c.valore_progresso(0);
        c.mostra_progresso(false);
        m_scrittura_incompleta = false;
        return Esito::Riuscito;
    } catch (const Interruzione &i) {
        return i.esito;
    }
}

Collegamento::Esito Collegamento::attendi_conferma_di(int indice, std::uint8_t valore)
{
    QByteArray risposta;
    try {
        scrivi_cella(indice, valore);
        Timer1.stop();
        Timer1.start();
        inizia_attesa(Attesa::Conferma, std::nullopt);
        for (;;) {
            turno_attesa();
            if (!m_porta.aperta())
                break;
            risposta += m_porta.leggi();
            // A "K" taken in the pass that sees the time-out still counts.
            if (!Timer1.isActive() || risposta == byte_singolo(lettera::PRONTO))
                break;
        }
    } catch (const ErrorePorta &) {
        // A failed port operation ends the record like a closed port.
    }
    if (risposta == byte_singolo(lettera::PRONTO))
        return Esito::Riuscito;
    m_attesa_scaduta = Attesa::Conferma;
    return Esito::TimeOut;
}

Collegamento::Esito Collegamento::lettura_di_verifica()
{
    try {
        leggi_parametri();
    } catch (const ErrorePorta &) {
        return Esito::LetturaAbbandonata;
    } catch (const Interruzione &i) {
        return i.esito;
    }
    if (m_lettura_da_rifare)
        return Esito::ChecksumErrato;
    return confronta_rilettura();
}

Collegamento::Esito Collegamento::confronta_rilettura()
{
    // Cell 63 is written by the initialisation but never read.
    const int n = std::min(m_celle_scritte.size(), m_celle_lette.size());
    for (int i = 0; i < n; ++i) {
        if (m_celle_scritte.at(i) != m_celle_lette.at(i)) {
            m_cella_diversa = i;
            return Esito::RiletturaDiversa;
        }
    }
    return Esito::Riuscito;
}

void Collegamento::gestione_time_out()
{
    c.avviso(ERRORE_TIME_OUT);
    c.mostra_progresso(false);
    c.imposta_stato(NON_CONNESSO);
    if (m_porta.aperta())
        m_porta.chiudi();
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
    m_interrotto = true;
    c.termina();
}

void Collegamento::chiudi_dialogo()
{
    try {
        if (m_porta.aperta())
            m_porta.scrivi(byte_singolo(lettera::FINE));
    } catch (const ErrorePorta &) {
        // The line is gone: there is nobody left to tell.
    }
    c.imposta_stato(NON_CONNESSO);
    if (m_porta.aperta())
        m_porta.chiudi();
}

void Collegamento::chiusura_finestra()
{
    interrompi();
    m_porta.chiudi();
}

void Collegamento::svuota_campi()
{
    for (Campo campo : Controlli::CAMPI)
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
    c.abilita(Comando::Connetti, connetti);
    c.abilita(Comando::PortaCom, connetti);
    c.abilita(Comando::Disconetti, disconetti);
    c.abilita(Comando::Programma, programma);
    c.abilita(Comando::InitUhf, init);
    c.abilita(Comando::InitVhf, init);
}

void Collegamento::Timer1_Timer()
{
    Timer1.stop();
}

void Collegamento::scrivi_cella(int indice, std::uint8_t valore)
{
    m_porta.scrivi(byte_singolo(lettera::SCRIVI));
    m_porta.scrivi(QByteArray(1, static_cast<char>(indice)));
    m_porta.scrivi(QByteArray(1, static_cast<char>(valore)));
}

void Collegamento::inizia_attesa(Attesa attesa, std::optional<int> limite)
{
    m_attesa = attesa;
    if (!limite) {
        m_scadenza = QDeadlineTimer(QDeadlineTimer::Forever);
        m_sveglia_scadenza.stop();
        return;
    }
    // The deadline first: the wake-up that follows it can only be later.
    m_scadenza = QDeadlineTimer(*limite, Qt::PreciseTimer);
    m_sveglia_scadenza.start(*limite);
}

void Collegamento::turno_attesa()
{
    c.turno(m_porta.aperta() && m_porta.in_attesa() > 0);
    if (m_interrotto)
        throw Interruzione{Esito::Interrotto};
    if (m_scadenza.hasExpired()) {
        m_attesa_scaduta = m_attesa;
        c.avviso(ERRORE_TIME_OUT);
        throw Interruzione{Esito::TimeOut};
    }
}

Collegamento::Esito Collegamento::attendi_rimozione(int silenzio_ms)
{
    if (m_in_transazione)
        return Esito::Occupato;
    Transazione transazione(*this);
    try {
        if (!m_porta.aperta())
            m_porta.apri();
        m_porta.imposta_granularita(1);
        inizia_attesa(Attesa::Nessuna, std::nullopt);
        QDeadlineTimer silenzio(silenzio_ms, Qt::PreciseTimer);
        m_sveglia_scadenza.start(silenzio_ms);
        for (;;) {
            turno_attesa();
            if (m_porta.in_attesa() > 0) {
                while (m_porta.in_attesa() > 0)
                    m_porta.leggi();
                silenzio = QDeadlineTimer(silenzio_ms, Qt::PreciseTimer);
                m_sveglia_scadenza.start(silenzio_ms);
            } else if (silenzio.hasExpired()) {
                return Esito::Riuscito;
            }
        }
    } catch (const ErrorePorta &) {
        return Esito::PortaGuasta;
    } catch (const Interruzione &i) {
        return i.esito;
    }
}
