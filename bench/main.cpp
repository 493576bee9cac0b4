// SPDX-License-Identifier: GPL-3.0-or-later
#include "misure_stazione.h"
#ifdef M5BENCH_ARCHIVIO
#include "misure_archivio.h"
#endif
#include "percentile.h"
#include "porte_multiple.h"
#include "processo.h"
#include "rapporto_grande.h"
#include "scadenze.h"
#include "schermo_fermo.h"
#include "simulatore_tracciato.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int BAUD = 2400;
constexpr double BYTE_US = 10.0 * 1'000'000 / BAUD;
constexpr int BYTE_LETTURA = 189;        // 63 x ("R", index, reply)
constexpr int BYTE_PROGRAMMAZIONE = 248; // 62 x ("W", index, value, "K")
constexpr int BYTE_INIZIALIZZAZIONE = 256;
constexpr int RICHIESTE_LETTURA = 126; // bytes in of one read
constexpr int LETTURE = 5;
constexpr int PROVE_TRASFERIMENTO = 3; // runs of each transfer

[[noreturn]] void fallisci(const QString &messaggio)
{
    std::fprintf(stderr, "m5bench: %s\n", qPrintable(messaggio));
    std::exit(1);
}

QString comando(const QStringList &argomenti)
{
    return QFileInfo(QStringLiteral(M5CTL_PATH)).fileName() + QLatin1Char(' ') +
           argomenti.join(QLatin1Char(' '));
}

// m5ctl with the given arguments after --port; the expected exit status.
Processo::Fine esegui(const SimulatoreTracciato &sim, const QStringList &argomenti, int atteso = 0)
{
    const QStringList tutti = QStringList{QStringLiteral("--port"), sim.percorso()} + argomenti;
    const Processo::Fine e = Processo::esegui(QStringLiteral(M5CTL_PATH), tutti);
    if (!e.finito)
        fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5CTL_PATH)));
    if (e.esito != atteso)
        fallisci(QStringLiteral("%1: exit status %2, expected %3")
                     .arg(comando(argomenti))
                     .arg(e.esito)
                     .arg(atteso));
    return e;
}

int conta_ricevuti(const QList<ByteTraccia> &eventi)
{
    return static_cast<int>(std::count_if(eventi.begin(), eventi.end(),
                                          [](const ByteTraccia &e) { return e.entrata; }));
}

// Runs m5ctl and gives the trace events of that run alone, up to its "E".
QList<ByteTraccia> esegui_tracciato(const SimulatoreTracciato &sim, const QStringList &argomenti,
                                    int ricevuti_attesi)
{
    const QList<ByteTraccia> prima = sim.traccia();
    esegui(sim, argomenti);
    if (!sim.attendi_ricevuti(conta_ricevuti(prima) + ricevuti_attesi, 10'000))
        fallisci(QStringLiteral("%1: the simulator did not receive the expected %2 bytes")
                     .arg(comando(argomenti))
                     .arg(ricevuti_attesi));
    const QList<ByteTraccia> tutti = sim.traccia();
    return tutti.mid(prima.size());
}

QString tipo_risposta(char risposto, quint8 prossimo)
{
    switch (prossimo) {
    case 'U':
        return QStringLiteral("ready K -> U");
    case 'E':
        return QStringLiteral("last answer -> E");
    case 'R':
        return risposto == 'W' ? QStringLiteral("last ack K -> first R")
                               : QStringLiteral("cell -> next R");
    case 'W':
        return risposto == 'W' ? QStringLiteral("ack K -> next W")
                               : QStringLiteral("last cell -> first W");
    default:
        return QStringLiteral("other");
    }
}

struct Risposta
{
    QString tipo;
    double us;
};

// Each byte the simulator sent that the next event answers: the time to
// that answer. Bytes nobody answered (announcements to a closed port) drop out.
QList<Risposta> risposte(const QList<ByteTraccia> &eventi, double togli_us = 0)
{
    QList<Risposta> r;
    // Which request the simulator was answering: the last one it received.
    char richiesta = 0;
    int operandi = 0;
    for (qsizetype i = 0; i < eventi.size(); ++i) {
        const ByteTraccia &e = eventi[i];
        if (e.entrata) {
            if (operandi > 0) {
                --operandi;
            } else {
                richiesta = static_cast<char>(e.byte);
                operandi = richiesta == 'R' ? 1 : richiesta == 'W' ? 2 : 0;
            }
        } else if (i + 1 < eventi.size() && eventi[i + 1].entrata) {
            r.append(
                {tipo_risposta(richiesta, eventi[i + 1].byte), eventi[i + 1].us - e.us - togli_us});
        }
    }
    return r;
}

void stampa_riga(const QString &nome, const QList<double> &us)
{
    std::printf("  %-26s n=%-4lld median %8.3f ms   p99 %8.3f ms   max %8.3f ms\n",
                qPrintable(nome), static_cast<long long>(us.size()), percentile(us, 0.5) / 1000,
                percentile(us, 0.99) / 1000, percentile(us, 1.0) / 1000);
}

// The median turnaround in microseconds, for the transfers below.
double turnaround()
{
    SimulatoreTracciato sim({});
    if (!sim.avvia())
        fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5SIM_PATH)));
    QList<ByteTraccia> eventi;
    for (int i = 0; i < LETTURE; ++i)
        eventi += esegui_tracciato(sim, {QStringLiteral("read")}, 1 + RICHIESTE_LETTURA + 1);
    const QStringList programma{QStringLiteral("program"), QStringLiteral("--frequenza"),
                                QStringLiteral("445.5")};
    eventi += esegui_tracciato(sim, programma, 1 + 2 * RICHIESTE_LETTURA + 3 * 62 + 1);
    sim.termina();

    // m5ctl drops the "K" that waits in the terminal when it opens it (m5sim
    // announces right after each "E") and answers the next announcement: the
    // gap from that "K" to the "U" is a reply like the others.
    QList<double> valori;
    QMap<QString, QList<double>> per_tipo;
    for (const Risposta &r : risposte(eventi)) {
        valori << r.us;
        per_tipo[r.tipo] << r.us;
    }
    std::printf("Turnaround: byte out of m5sim -> next byte in, unpaced m5sim\n");
    std::printf("  runs: %d x \"m5ctl --port PTY read\", 1 x \"m5ctl --port PTY %s\"\n", LETTURE,
                qPrintable(programma.join(QLatin1Char(' '))));
    stampa_riga(QStringLiteral("every answer"), valori);
    for (auto it = per_tipo.cbegin(); it != per_tipo.cend(); ++it)
        stampa_riga(QStringLiteral("  ") + it.key(), it.value());
    const double mediana = percentile(valori, 0.5);
    const double p99 = percentile(valori, 0.99);
    std::printf("  goal median <= 0.05 ms: %s; goal p99 <= 1 ms: %s\n\n",
                mediana <= 50 ? "met" : "MISSED", p99 <= 1000 ? "met" : "MISSED");
    return mediana;
}

struct Trasferimento
{
    const char *nome;
    QStringList argomenti;
    int byte_scrittura; // before the read-back; 0 for a plain read
};

struct Misura
{
    double durata_us;
    double minimo_us;
    int byte_linea;
    QList<double> oltre; // per answer, beyond the byte time of the request
    double oltre_us;     // their sum, late answers only
};

// From the first byte of the transfer in (the primo_in-th byte in) to the
// last answer out before the closing "E".
Misura misura(const QList<ByteTraccia> &eventi, int primo_in, int byte_linea, const char *nome)
{
    qsizetype inizio = -1;
    qsizetype fine = -1;
    int n_in = 0;
    for (qsizetype i = 0; i < eventi.size(); ++i) {
        if (eventi[i].entrata) {
            if (n_in == primo_in)
                inizio = i;
            ++n_in;
        } else {
            fine = i;
        }
    }
    if (inizio < 0 || fine <= inizio)
        fallisci(QStringLiteral("%1: unexpected trace").arg(QLatin1String(nome)));
    const QList<ByteTraccia> tratto = eventi.mid(inizio, fine - inizio + 1);
    Misura m{double(tratto.last().us - tratto.first().us), byte_linea * BYTE_US, byte_linea, {}, 0};
    // A byte in is stamped when its last bit is in: one byte time after
    // it was written, if nothing else delays it.
    for (const Risposta &r : risposte(tratto, BYTE_US)) {
        m.oltre << r.us;
        m.oltre_us += std::max(0.0, r.us);
    }
    return m;
}

// A stray stall of the machine lands in one run: the run of median length.
template <typename F> Misura mediana_di_prove(F prova)
{
    QList<Misura> misure;
    for (int i = 0; i < PROVE_TRASFERIMENTO; ++i)
        misure << prova();
    std::sort(misure.begin(), misure.end(),
              [](const Misura &a, const Misura &b) { return a.durata_us < b.durata_us; });
    return misure[misure.size() / 2];
}

void stampa_misura(const char *nome, const Misura &m)
{
    std::printf("  %-21s %7.4f s  floor %7.4f s (%d bytes)  ratio %.4f\n", nome, m.durata_us / 1e6,
                m.minimo_us / 1e6, m.byte_linea, m.durata_us / m.minimo_us);
    std::printf("  %-21s %lld answers; beyond pacing: median %.3f ms, max %.3f ms, total %.2f ms "
                "= %.2f%%\n",
                "", static_cast<long long>(m.oltre.size()), percentile(m.oltre, 0.5) / 1000,
                percentile(m.oltre, 1.0) / 1000, m.oltre_us / 1000, 100 * m.oltre_us / m.minimo_us);
}

bool salva_tutto(int fd, const char *dati, std::size_t n)
{
    return ::write(fd, dati, n) == static_cast<ssize_t>(n);
}

bool leggi_byte(int fd, char &byte, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1 && ::read(fd, &byte, 1) == 1;
}

// The same read as m5ctl's, by a client with no code of its own to speak
// of: blocking poll, read and write on the raw descriptor. What it measures
// beyond the floor belongs to the machine and the simulator, not the tool.
void lettura_nuda(const QString &percorso)
{
    const int fd = ::open(QFile::encodeName(percorso).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        fallisci(QStringLiteral("cannot open %1").arg(percorso));
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    char byte = 0;
    bool ok = true;
    while (ok && byte != 'K')
        ok = leggi_byte(fd, byte, 2000);
    ok = ok && salva_tutto(fd, "U", 1);
    for (char cella = 0; ok && cella <= 62; ++cella)
        ok = salva_tutto(fd, "R", 1) && salva_tutto(fd, &cella, 1) && leggi_byte(fd, byte, 2000);
    ok = ok && salva_tutto(fd, "E", 1);
    ::close(fd);
    if (!ok)
        fallisci(QStringLiteral("bare client: the read failed"));
}

void trasferimenti(double mediana_us)
{
    SimulatoreTracciato sim({QStringLiteral("--baud"), QString::number(BAUD)});
    if (!sim.avvia())
        fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5SIM_PATH)));
    const Trasferimento prove[] = {
        {"read", {QStringLiteral("read")}, 0},
        {"program + read-back",
         {QStringLiteral("program"), QStringLiteral("--codice"), QStringLiteral("123")},
         BYTE_PROGRAMMAZIONE},
        {"init uhf + read-back",
         {QStringLiteral("init"), QStringLiteral("uhf")},
         BYTE_INIZIALIZZAZIONE},
    };
    std::printf("Transfers at line speed: m5sim --baud %d, first byte in -> last byte out;\n"
                "  the median of %d runs each\n",
                BAUD, PROVE_TRASFERIMENTO);
    std::printf("  floor: 10 bits a byte; beyond pacing: what each answer took on top of the\n"
                "  byte time of the request's first byte\n");
    bool rapporto_entro = true;
    bool m5ctl_entro = true;
    for (const Trasferimento &t : prove) {
        // Bytes in: "U", the first read, what is written, the read-back, "E".
        const int scritti_in = t.byte_scrittura * 3 / 4;
        const int ricevuti =
            1 + RICHIESTE_LETTURA + (t.byte_scrittura ? scritti_in + RICHIESTE_LETTURA : 0) + 1;
        const Misura m = mediana_di_prove([&] {
            return misura(esegui_tracciato(sim, t.argomenti, ricevuti),
                          t.byte_scrittura ? 1 + RICHIESTE_LETTURA : 1,
                          BYTE_LETTURA + t.byte_scrittura, t.nome);
        });
        const double m5ctl_us = mediana_us * m.oltre.size();
        stampa_misura(t.nome, m);
        std::printf("  %-21s m5ctl's own (unpaced median x answers): %.2f ms = %.2f%% of floor\n",
                    "", m5ctl_us / 1000, 100 * m5ctl_us / m.minimo_us);
        rapporto_entro = rapporto_entro && m.durata_us <= 1.01 * m.minimo_us;
        m5ctl_entro = m5ctl_entro && m5ctl_us <= 0.01 * m.minimo_us;
    }
    std::printf("  goal ratio <= 1.01: %s; m5ctl's own time within 1%%: %s\n",
                rapporto_entro ? "met" : "MISSED", m5ctl_entro ? "met" : "MISSED");

    const Misura nuda = mediana_di_prove([&] {
        const QList<ByteTraccia> prima = sim.traccia();
        lettura_nuda(sim.percorso());
        if (!sim.attendi_ricevuti(conta_ricevuti(prima) + 1 + RICHIESTE_LETTURA + 1, 10'000))
            fallisci(QStringLiteral("bare client: the simulator did not receive the whole read"));
        return misura(sim.traccia().mid(prima.size()), 1, BYTE_LETTURA, "bare");
    });
    std::printf("  reference, the same read by a bare client (poll, read, write on the fd):\n");
    stampa_misura("bare read", nuda);
    std::printf("  (\"beyond pacing\" also holds the pseudo-terminal's hand-over and m5sim's\n"
                "   own wake-ups: it stamps a byte in when it has read it)\n\n");
}

void cpu_in_attesa()
{
    SimulatoreTracciato sim({QStringLiteral("--silent")});
    if (!sim.avvia())
        fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5SIM_PATH)));
    constexpr int TIME_OUT = 4;
    const Processo::Fine base = esegui(
        sim, {QStringLiteral("--wait"), QStringLiteral("0.001"), QStringLiteral("read")}, TIME_OUT);
    const Processo::Fine attesa = esegui(
        sim, {QStringLiteral("--wait"), QStringLiteral("5"), QStringLiteral("read")}, TIME_OUT);
    const double percento = 100 * attesa.cpu_secondi / 5;
    const double netto = 100 * (attesa.cpu_secondi - base.cpu_secondi) /
                         std::max(1e-9, attesa.secondi - base.secondi);
    std::printf("CPU while waiting (m5sim --silent; user+sys of the m5ctl process, wait4)\n");
    std::printf("  m5ctl --port PTY --wait 5 read   %.3f s wall, %.1f ms CPU = %.3f%% of one core "
                "over 5 s\n",
                attesa.secondi, attesa.cpu_secondi * 1000, percento);
    std::printf(
        "  m5ctl --port PTY --wait 0.001 read %.3f s wall, %.1f ms CPU (start-up and exit)\n",
        base.secondi, base.cpu_secondi * 1000);
    std::printf("  waiting alone: %.3f%% of one core\n", netto);
    std::printf("  goal <= 0.5%%: %s\n\n", percento <= 0.5 ? "met" : "MISSED");
}

constexpr int UNITA_RESISTENZA = 10'000;

// Sections by name, all by default, and --units N for the station's endurance run.
bool interpreta_argomenti(const QStringList &argomenti, QStringList &scelte, int &unita)
{
    static const QStringList SEZIONI = {"turnaround", "transfers", "cpu",    "timeouts", "ports",
                                        "stazione",   "display",   "report", "archivio"};
    const QString uso = QStringLiteral("usage: m5bench [--units N] [%1]...").arg(SEZIONI.join('|'));
    if (argomenti == QStringList{QStringLiteral("--help")}) {
        std::printf("%s\nRuns the named sections, all of them by default. --units: the units "
                    "of the station's\nendurance run (default %d; 0 leaves it out).\n",
                    qPrintable(uso), UNITA_RESISTENZA);
        std::exit(0);
    }
    for (qsizetype i = 0; i < argomenti.size(); ++i) {
        const QString &a = argomenti.at(i);
        if (a == QLatin1String("--units")) {
            bool numero = false;
            const QString valore = argomenti.value(++i);
            unita = valore.toInt(&numero);
            if (numero && unita >= 0)
                continue;
            std::fprintf(stderr, "m5bench: --units \"%s\": expected a whole number, 0 or more\n",
                         qPrintable(valore));
            return false;
        }
        if (!SEZIONI.contains(a)) {
            std::fprintf(stderr, "m5bench: unknown section \"%s\"; %s\n", qPrintable(a),
                         qPrintable(uso));
            return false;
        }
        scelte << a;
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    // The station's window is shown, where nobody sees it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Inherited by m5sim and m5ctl: the paced simulator sleeps until each byte
    // is due, and the default 50 us slack of every wake-up would be counted.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    QStringList scelte;
    int unita = UNITA_RESISTENZA;
    if (!interpreta_argomenti(QCoreApplication::arguments().mid(1), scelte, unita))
        return 2;
    auto vuole = [&scelte](const char *nome) {
        return scelte.isEmpty() || scelte.contains(QLatin1String(nome));
    };
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("m5bench: m5ctl %s, m5sim %s\n", M5CTL_PATH, M5SIM_PATH);
    QFile carico(QStringLiteral("/proc/loadavg"));
    if (carico.open(QIODevice::ReadOnly))
        std::printf("load average %s on %d CPUs\n", carico.readAll().trimmed().constData(),
                    QThread::idealThreadCount());
    std::printf("\n");
    if (vuole("transfers") || vuole("turnaround")) {
        const double mediana_us = turnaround();
        if (vuole("transfers"))
            trasferimenti(mediana_us);
    }
    if (vuole("cpu"))
        cpu_in_attesa();
    if (vuole("timeouts"))
        misura_scadenze();
    if (vuole("ports"))
        misura_porte_multiple();
    if (vuole("stazione"))
        misura_stazione(unita);
    if (vuole("display"))
        misura_schermo_fermo();
    if (vuole("report"))
        misura_rapporto();
    if (vuole("archivio")) {
#ifdef M5BENCH_ARCHIVIO
        misura_archivio();
#else
        std::printf("Archive: left out of this build, which has no tests to lend it their "
                    "PostgreSQL server\n\n");
#endif
    }
    return 0;
}
