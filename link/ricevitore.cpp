// SPDX-License-Identifier: GPL-3.0-or-later
#include "ricevitore.h"

#include "celle.h"
#include "tempi.h"

namespace {
QByteArray byte_singolo(char c)
{
    return QByteArray(1, c);
}
} // namespace

Ricevitore::Ricevitore(QObject *parent) : QObject(parent)
{
    // The receiver is promised its 4000 ms: a coarse timer may fire 5 % early.
    m_sveglia.setSingleShot(true);
    m_sveglia.setTimerType(Qt::PreciseTimer);
    connect(&m_sveglia, &QTimer::timeout, this, &Ricevitore::scadenza);
    connect(&m_porta, &PortaSeriale::dati, this, &Ricevitore::elabora);
    connect(&m_porta, &PortaSeriale::caduta, this, &Ricevitore::porta_caduta);
}

Ricevitore::~Ricevitore() = default;

bool Ricevitore::apri()
{
    if (m_porta.aperta())
        return true;
    return m_porta.apri();
}

void Ricevitore::chiudi()
{
    m_porta.chiudi();
    if (occupato())
        concludi(EsitoOperazione::PortaChiusa);
}

bool Ricevitore::attendi_annuncio()
{
    if (!inizia(Operazione::Annuncio))
        return false;
    arma(m_limite_annuncio);
    elabora();
    return true;
}

bool Ricevitore::leggi()
{
    return avvia_lettura(false);
}

bool Ricevitore::rileggi()
{
    return avvia_lettura(true);
}

bool Ricevitore::avvia_lettura(bool rilettura)
{
    if (!inizia(Operazione::Lettura))
        return false;
    m_rilettura = rilettura;
    m_ultima = ULTIMA_CELLA_LETTA;
    chiedi_cella();
    return true;
}

bool Ricevitore::scrivi(const Blocco &celle, int ultima)
{
    if (!inizia(Operazione::Scrittura))
        return false;
    m_celle = celle;
    m_ultima = ultima;
    m_ultime_scritte.clear();
    scrivi_cella();
    return true;
}

bool Ricevitore::attendi_rimozione(int silenzio_ms)
{
    if (!inizia(Operazione::Rimozione))
        return false;
    m_silenzio_ms = silenzio_ms;
    arma(silenzio_ms);
    elabora();
    return true;
}

bool Ricevitore::termina_dialogo()
{
    if (!m_porta.aperta())
        return true;
    return m_porta.invia(byte_singolo(lettera::FINE));
}

void Ricevitore::interrompi()
{
    if (occupato())
        concludi(EsitoOperazione::Interrotto);
}

bool Ricevitore::inizia(Operazione operazione)
{
    if (occupato() || !m_porta.aperta())
        return false;
    m_operazione = operazione;
    m_risultato = Risultato{};
    m_risultato.operazione = operazione;
    m_risposta.clear();
    m_cella = 0;
    ++m_richiesta;
    return true;
}

// Takes the bytes the line holds, one at a time, for as long as the running
// operation wants one: what it leaves is the reply to the next request.
void Ricevitore::elabora()
{
    while (occupato() && m_porta.aperta()) {
        const auto byte = m_porta.prendi_byte();
        if (!byte)
            return;
        if (!passo(*byte))
            return;
    }
}

// False once the operation has taken all it wants of the line.
bool Ricevitore::passo(std::uint8_t byte)
{
    switch (m_operazione) {
    case Operazione::Annuncio:
        return passo_annuncio(byte);
    case Operazione::Lettura:
        return passo_lettura(byte);
    case Operazione::Scrittura:
        return passo_scrittura(byte);
    case Operazione::Rimozione:
        arma(m_silenzio_ms);
        return true;
    case Operazione::Nessuna:
        break;
    }
    return false;
}

bool Ricevitore::passo_annuncio(std::uint8_t byte)
{
    if (byte != static_cast<std::uint8_t>(lettera::PRONTO))
        return true;
    m_sveglia.stop();
    if (!m_porta.invia(byte_singolo(lettera::INIZIO))) {
        concludi_guasta();
        return false;
    }
    const quint64 richiesta = m_richiesta;
    emit annunciato();
    if (richiesta == m_richiesta)
        concludi(EsitoOperazione::Riuscito);
    return false;
}

bool Ricevitore::passo_lettura(std::uint8_t byte)
{
    m_risultato.celle_lette.append(static_cast<char>(byte));
    if (m_cella == m_ultima) {
        m_sveglia.stop();
        if (m_rilettura) {
            const int n = std::min(m_ultime_scritte.size(), m_risultato.celle_lette.size());
            for (int i = 0; i < n; ++i) {
                if (m_ultime_scritte.at(i) != m_risultato.celle_lette.at(i)) {
                    m_risultato.cella_diversa = i;
                    m_risultato.celle_scritte = m_ultime_scritte;
                    concludi(EsitoOperazione::RiletturaDiversa);
                    return false;
                }
            }
            m_risultato.celle_scritte = m_ultime_scritte;
        }
        concludi(EsitoOperazione::Riuscito);
        return false;
    }
    ++m_cella;
    chiedi_cella();
    return occupato();
}

// Only a lone "K" acknowledges: any other byte first leaves the wait to its
// time-out, as every byte that follows is taken into the same reply.
bool Ricevitore::passo_scrittura(std::uint8_t byte)
{
    m_risposta.append(static_cast<char>(byte));
    if (m_risposta != byte_singolo(lettera::PRONTO))
        return true;
    if (m_cella == m_ultima) {
        m_sveglia.stop();
        concludi(EsitoOperazione::Riuscito);
        return false;
    }
    ++m_cella;
    scrivi_cella();
    return occupato();
}

void Ricevitore::chiedi_cella()
{
    m_risultato.cella = m_cella;
    const quint64 richiesta = ++m_richiesta;
    emit progresso(m_operazione, m_cella, m_ultima);
    // Whoever heard it may have closed the port or ended the operation.
    if (richiesta != m_richiesta)
        return;
    if (!m_porta.invia(byte_singolo(lettera::LEGGI)) ||
        !m_porta.invia(byte_singolo(static_cast<char>(m_cella)))) {
        concludi_guasta();
        return;
    }
    arma(m_limite_risposta);
}

void Ricevitore::scrivi_cella()
{
    m_risultato.cella = m_cella;
    m_risposta.clear();
    const quint64 richiesta = ++m_richiesta;
    emit progresso(m_operazione, m_cella, m_ultima);
    if (richiesta != m_richiesta)
        return;
    const char valore = static_cast<char>(m_celle[static_cast<std::size_t>(m_cella)]);
    m_ultime_scritte.append(valore);
    m_risultato.celle_scritte = m_ultime_scritte;
    if (!m_porta.invia(byte_singolo(lettera::SCRIVI)) ||
        !m_porta.invia(byte_singolo(static_cast<char>(m_cella))) ||
        !m_porta.invia(byte_singolo(valore))) {
        concludi_guasta();
        return;
    }
    arma(tempi::TIME_OUT_CONFERMA_MS);
}

// The deadline decides; the timer only wakes the wait at it, and never before.
void Ricevitore::arma(std::optional<int> ms)
{
    if (!ms) {
        m_scadenza = QDeadlineTimer(QDeadlineTimer::Forever);
        m_sveglia.stop();
        return;
    }
    m_scadenza = QDeadlineTimer(*ms, Qt::PreciseTimer);
    m_sveglia.start(*ms);
}

void Ricevitore::scadenza()
{
    if (!occupato())
        return;
    if (!m_scadenza.hasExpired()) {
        m_sveglia.start(static_cast<int>(std::max<qint64>(1, m_scadenza.remainingTime())));
        return;
    }
    // A reply that came with the deadline still counts.
    const quint64 richiesta = m_richiesta;
    elabora();
    if (!occupato() || m_richiesta != richiesta)
        return;
    if (m_operazione != Operazione::Rimozione)
        concludi(EsitoOperazione::TimeOut);
    else if (m_scadenza.hasExpired())
        concludi(EsitoOperazione::Riuscito);
}

void Ricevitore::porta_caduta()
{
    if (occupato())
        concludi_guasta();
}

void Ricevitore::concludi_guasta()
{
    concludi(EsitoOperazione::PortaChiusa, m_porta.motivo());
}

void Ricevitore::concludi(EsitoOperazione esito, const QString &motivo)
{
    m_sveglia.stop();
    m_scadenza = QDeadlineTimer(QDeadlineTimer::Forever);
    Risultato r = m_risultato;
    r.esito = esito;
    r.motivo = motivo;
    m_operazione = Operazione::Nessuna;
    m_risultato = Risultato{};
    ++m_richiesta;
    emit concluso(r);
}

Blocco blocco_letto(const QByteArray &celle)
{
    Blocco b{};
    for (qsizetype i = 0; i < celle.size() && i < NUM_CELLE; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(celle.at(i));
    return b;
}
