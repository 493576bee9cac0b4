// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulatore.h"

#include "riga_traccia.h"
#include "segnali.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr std::int64_t MAI = std::numeric_limits<std::int64_t>::max();
// Leaves the PC side a moment to notice the hangup while we still exist.
constexpr std::int64_t ATTESA_DOPO_RIAGGANCIO_US = 100'000;

bool installa_segnali(std::string &errore)
{
    // A second signal must not cut short the summary and the link's removal.
    if (!Segnali::installa(Segnali::Ripetuto::ComeIlPrimo)) {
        errore = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // A test harness that goes away must not kill us halfway through a trace line.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

std::int64_t monotono_us()
{
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

bool imposta_flag(int fd, int flag)
{
    const int attuali = ::fcntl(fd, F_GETFL);
    return attuali >= 0 && ::fcntl(fd, F_SETFL, attuali | flag) == 0;
}

std::string errore_sistema(const char *cosa)
{
    return std::string(cosa) + ": " + std::strerror(errno);
}
} // namespace

Simulatore::Simulatore(const OpzioniSimulatore &opzioni)
    : m_opzioni(opzioni), m_memoria(opzioni.blocco), m_protocollo(m_memoria, opzioni.guasti),
      m_inizio_us(monotono_us()),
      m_durata_byte_us(opzioni.baud > 0 ? (10'000'000LL + opzioni.baud - 1) / opzioni.baud : 0)
{
}

Simulatore::~Simulatore()
{
    chiudi_linea();
}

// Before the terminal closes: once closed, its number can go to another
// program's terminal, and a link left behind would lead a PC there.
void Simulatore::togli_collegamento()
{
    if (!m_collegamento_creato)
        return;
    m_collegamento_creato = false;
    // Only our own link: someone may have pointed it elsewhere meanwhile.
    char destinazione[4096];
    const ssize_t n =
        ::readlink(m_opzioni.collegamento.c_str(), destinazione, sizeof destinazione - 1);
    if (n >= 0 && std::string(destinazione, static_cast<std::size_t>(n)) == m_percorso)
        ::unlink(m_opzioni.collegamento.c_str());
}

bool Simulatore::carica_memoria(std::string &errore)
{
    return m_opzioni.eeprom.empty() || m_memoria.collega_file(m_opzioni.eeprom, errore);
}

bool Simulatore::apri_linea(std::string &errore)
{
    if (!installa_segnali(errore))
        return false;

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        errore = errore_sistema("posix_openpt");
        return false;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        !imposta_flag(m_master, O_NONBLOCK)) {
        errore = errore_sistema("pty");
        return false;
    }
    char nome[256];
    if (::ptsname_r(m_master, nome, sizeof nome) != 0) {
        errore = errore_sistema("ptsname");
        return false;
    }
    m_percorso = nome;

    // Holding the slave ourselves keeps the master usable while no PC has the
    // port open, and lets us set raw mode before anyone can see an echo.
    m_slave = ::open(nome, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        errore = errore_sistema(nome);
        return false;
    }
    termios modo;
    if (::tcgetattr(m_slave, &modo) != 0) {
        errore = errore_sistema("tcgetattr");
        return false;
    }
    ::cfmakeraw(&modo);
    if (::tcsetattr(m_slave, TCSANOW, &modo) != 0) {
        errore = errore_sistema("tcsetattr");
        return false;
    }
    return m_opzioni.collegamento.empty() || crea_collegamento(errore);
}

// --link: a symbolic link to the pty, replacing only an old link.
bool Simulatore::crea_collegamento(std::string &errore)
{
    const char *collegamento = m_opzioni.collegamento.c_str();
    struct stat info;
    if (::lstat(collegamento, &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            errore = m_opzioni.collegamento + ": exists and is not a symbolic link";
            return false;
        }
        if (::unlink(collegamento) != 0) {
            errore = errore_sistema(collegamento);
            return false;
        }
    }
    if (::symlink(m_percorso.c_str(), collegamento) != 0) {
        errore = errore_sistema(collegamento);
        return false;
    }
    m_collegamento_creato = true;
    return true;
}

std::int64_t Simulatore::adesso() const
{
    return monotono_us() - m_inizio_us;
}

int Simulatore::esegui()
{
#ifdef __linux__
    // Paced bytes are due every few milliseconds; the default 50 us timer
    // slack alone would stretch the line.
    if (m_durata_byte_us > 0)
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    if (m_opzioni.fine_con_stdin && !resta_col_genitore())
        return 0;
    m_prossimo_annuncio = adesso();
    for (;;) {
        const std::int64_t ora = adesso();
        if (m_uscita_processo && ora >= *m_uscita_processo)
            return 0;
        // A trace with bytes missing would tell of a dialogue that did not happen.
        if (m_errore_traccia)
            return 1;
        const bool uscita_bloccata = !m_uscita_processo && servi_linea(ora);
        if (const auto codice = attendi(uscita_bloccata))
            return *codice;
    }
}

// Our stdin may be held open by others too (a shell's other children): a
// parent killed outright must end us all the same.
bool Simulatore::resta_col_genitore() const
{
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    // It may have gone before the guard was set.
    return ::getppid() == m_opzioni.genitore;
}

// True when the master is full and we must wait for POLLOUT.
bool Simulatore::servi_linea(std::int64_t ora)
{
    elabora_arrivati(ora);
    if (m_fine_cambio && ora >= *m_fine_cambio)
        arriva_unita();
    if (m_master >= 0 && annuncio_previsto() && ora >= m_prossimo_annuncio) {
        // A slow line must not queue announcements faster than they leave.
        if (m_uscita.empty())
            annuncia(ora);
        m_prossimo_annuncio += m_opzioni.annuncio_ms * 1000LL;
        if (m_prossimo_annuncio <= ora)
            m_prossimo_annuncio = ora + m_opzioni.annuncio_ms * 1000LL;
    }
    return m_master >= 0 && scrivi_dovuti(ora);
}

namespace {
constexpr std::int64_t ANTICIPO_US = 400;

// True once stdin has ended; what comes before that is of no interest.
bool stdin_finito()
{
    char dati[256];
    const ssize_t n = ::read(STDIN_FILENO, dati, sizeof dati);
    return n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
}
} // namespace

// Sleeps until the next deadline or event; the exit code when it is time to go.
std::optional<int> Simulatore::attendi(bool uscita_bloccata)
{
    // poll() passes over negative descriptors: no stdin unless asked, no line once it is gone.
    pollfd attesa[3] = {
        {Segnali::descrittore(), POLLIN, 0},
        {m_opzioni.fine_con_stdin ? STDIN_FILENO : -1, POLLIN, 0},
        {m_master, static_cast<short>(POLLIN | (uscita_bloccata ? POLLOUT : 0)), 0}};
    const std::int64_t scadenza = prossima_scadenza(uscita_bloccata);
    timespec timeout;
    timespec *p_timeout = nullptr;
    if (scadenza != MAI) {
        std::int64_t resto = std::max<std::int64_t>(0, scadenza - adesso());
        // Paced, a timer wake-up can come a tenth of a millisecond late
        // on a virtual machine: sleep short of the deadline and poll the
        // rest, so the line keeps its speed.
        if (m_durata_byte_us > 0)
            resto = resto > ANTICIPO_US ? resto - ANTICIPO_US : 0;
        timeout.tv_sec = static_cast<time_t>(resto / 1'000'000);
        timeout.tv_nsec = static_cast<long>(resto % 1'000'000) * 1000;
        p_timeout = &timeout;
    }
    if (::ppoll(attesa, 3, p_timeout, nullptr) < 0) {
        if (errno == EINTR)
            return std::nullopt;
        std::fprintf(stderr, "m5sim: poll: %s\n", std::strerror(errno));
        return 1;
    }
    if (attesa[0].revents & POLLIN)
        return 0;
    if (attesa[1].revents && stdin_finito())
        return 0;
    if (attesa[2].revents & (POLLIN | POLLHUP | POLLERR))
        leggi_linea(adesso());
    return std::nullopt;
}

std::int64_t Simulatore::prossima_scadenza(bool uscita_bloccata) const
{
    if (m_uscita_processo)
        return *m_uscita_processo;
    std::int64_t scadenza = MAI;
    if (annuncio_previsto())
        scadenza = m_prossimo_annuncio;
    if (m_fine_cambio)
        scadenza = std::min(scadenza, *m_fine_cambio);
    if (!m_entrata.empty())
        scadenza = std::min(scadenza, arrivo_prossimo());
    if (!m_uscita.empty() && !uscita_bloccata)
        scadenza = std::min(scadenza, fine_prossima_uscita());
    return scadenza;
}

bool Simulatore::annuncio_previsto() const
{
    return !m_protocollo.in_dialogo() && !m_opzioni.silenzioso && !m_fine_cambio;
}

void Simulatore::leggi_linea(std::int64_t ora)
{
    std::uint8_t dati[256];
    const ssize_t n = ::read(m_master, dati, sizeof dati);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return;
        // Cannot happen while we hold the slave; give up rather than spin.
        std::fprintf(stderr, "m5sim: read: %s\n", std::strerror(errno));
        std::fflush(stderr);
        riaggancia(ora);
        return;
    }
    for (ssize_t i = 0; i < n; ++i)
        m_entrata.push_back({dati[i], ora});
}

// A byte is in once its ten bits have crossed the line after the previous
// one: the time on the wire, not when this process happened to wake up.
std::int64_t Simulatore::arrivo_prossimo() const
{
    const std::int64_t letto = m_entrata.front().dovuto_us;
    if (m_durata_byte_us == 0)
        return letto;
    return std::max(letto, m_ultimo_arrivo.value_or(letto)) + m_durata_byte_us;
}

void Simulatore::elabora_arrivati(std::int64_t ora)
{
    while (!m_entrata.empty() && arrivo_prossimo() <= ora) {
        const std::uint8_t byte = m_entrata.front().byte;
        const std::int64_t arrivo = arrivo_prossimo();
        m_entrata.pop_front();
        m_ultimo_arrivo = arrivo;
        traccia(true, byte, arrivo);
        ++m_ricevuti;

        if (m_fine_cambio && arrivo >= *m_fine_cambio)
            arriva_unita();
        // With no unit on the line the byte only crosses the trace.
        const Risposta risposta = m_fine_cambio ? Risposta{} : rispondi(byte, arrivo, ora);

        if (m_opzioni.riaggancio_dopo && m_ricevuti >= *m_opzioni.riaggancio_dopo) {
            riaggancia(ora);
            return;
        }
        if (!m_opzioni.silenzioso && !m_fine_cambio && !risposta.byte.empty()) {
            accoda(risposta.byte, arrivo + risposta.ritardo_us);
            m_solo_annunci = false;
            // Answer before looking at the next byte, as the unit would.
            scrivi_dovuti(ora);
        }
    }
}

Simulatore::Risposta Simulatore::rispondi(std::uint8_t byte, std::int64_t arrivo, std::int64_t ora)
{
    Risposta risposta{{}, m_opzioni.ritardo_risposta_ms * 1000LL};
    switch (m_protocollo.ricevi(byte, risposta.byte)) {
    case Protocollo::Evento::InizioDialogo:
        m_dialogo_avvenuto = true;
        ++m_conteggi.dialoghi;
        break;
    case Protocollo::Evento::FineDialogo:
        m_prossimo_annuncio = ora;
        if (m_opzioni.cambio_ms)
            porta_via_unita(arrivo);
        break;
    case Protocollo::Evento::Scrittura:
        ++m_conteggi.scritture;
        [[fallthrough]];
    case Protocollo::Evento::Lettura:
        if (m_protocollo.cella() < NUM_CELLE && m_opzioni.celle_ritardate[m_protocollo.cella()])
            risposta.ritardo_us += m_opzioni.ritardo_celle_ms * 1000LL;
        break;
    case Protocollo::Evento::Nessuno:
        break;
    }
    return risposta;
}

// What the unit had yet to send never leaves; a byte already traced is on its way.
void Simulatore::porta_via_unita(std::int64_t arrivo)
{
    m_fine_cambio = arrivo + *m_opzioni.cambio_ms * 1000LL;
    m_uscita.erase(m_uscita.begin() + (m_uscita_tracciata ? 1 : 0), m_uscita.end());
}

void Simulatore::arriva_unita()
{
    m_prossimo_annuncio = *m_fine_cambio;
    m_fine_cambio.reset();
    m_memoria.sostituisci(m_opzioni.blocco_successivo.value_or(m_opzioni.blocco));
    m_protocollo.nuova_unita();
    ++m_conteggi.unita;
}

void Simulatore::annuncia(std::int64_t ora)
{
    // Whatever the previous announcement left unread on a closed port is
    // gone, as on a real line: the PC never finds a backlog of "K". Replies
    // since then are the PC's to read, even after its "E".
    if (m_solo_annunci)
        ::tcflush(m_slave, TCIFLUSH);
    if (!m_dialogo_avvenuto)
        accoda(m_opzioni.rumore, ora);
    accoda(std::string(1, lettera::PRONTO), ora);
    m_solo_annunci = true;
}

void Simulatore::accoda(const std::string &byte, std::int64_t dovuto)
{
    for (const char c : byte)
        m_uscita.push_back({static_cast<std::uint8_t>(c), dovuto});
}

// True when the master is full and we must wait for POLLOUT.
bool Simulatore::scrivi_dovuti(std::int64_t ora)
{
    while (!m_uscita.empty()) {
        const ByteInLinea prossimo = m_uscita.front();
        // Paced, the PC has the byte only when its last bit has gone out.
        const std::int64_t fine = fine_prossima_uscita();
        if (fine > ora)
            return false;
        // Traced before the write, so that whoever has read the byte from
        // the port can already find its line on stderr.
        if (!m_uscita_tracciata) {
            traccia(false, prossimo.byte, fine);
            m_uscita_tracciata = true;
        }
        const ssize_t n = ::write(m_master, &prossimo.byte, 1);
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::fprintf(stderr, "m5sim: write: %s\n", std::strerror(errno));
            std::fflush(stderr);
        } else {
            // Unpaced too: a byte queued behind a late one leaves after it.
            m_ultima_uscita = fine;
        }
        m_uscita_tracciata = false;
        m_uscita.pop_front();
    }
    return false;
}

std::int64_t Simulatore::fine_prossima_uscita() const
{
    std::int64_t inizio = m_uscita.front().dovuto_us;
    if (m_ultima_uscita)
        inizio = std::max(inizio, *m_ultima_uscita);
    return inizio + m_durata_byte_us;
}

void Simulatore::riaggancia(std::int64_t ora)
{
    chiudi_linea();
    m_entrata.clear();
    m_uscita.clear();
    m_uscita_tracciata = false;
    m_uscita_processo = ora + ATTESA_DOPO_RIAGGANCIO_US;
}

void Simulatore::chiudi_linea()
{
    togli_collegamento();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = -1;
    m_slave = -1;
}

void Simulatore::traccia(bool entrata, std::uint8_t byte, std::int64_t ora)
{
    if (!m_opzioni.traccia || m_errore_traccia)
        return;
    const std::string riga = testo_riga_traccia({ora, entrata, byte}) + '\n';
    if (std::fputs(riga.c_str(), stderr) < 0 || std::fflush(stderr) != 0)
        m_errore_traccia = errno;
}
