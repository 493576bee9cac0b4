// SPDX-License-Identifier: GPL-3.0-or-later
#include "misure_stazione.h"
#include "percentile.h"

#include "banco.h"
#include "file_unita.h"
#include "finestra_stazione.h"
#include "simulatore_tracciato.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {
const QString BAUD = QStringLiteral("2400");
// Longer than the station's silence, so that every unit is told taken out.
const QString SCAMBIO_MS = QStringLiteral("2500");
constexpr int LOTTI = 4; // units per slot in the paced runs
constexpr int POSTI = 16;
constexpr int ATTESA_CPU_S = 3;
constexpr int MISURA_CPU_S = 20;
// The endurance run: a unit swapped in 0.3 s, announcing itself every 0.1 s.
const QStringList SCAMBIO_RAPIDO{QStringLiteral("--swap-ms"), QStringLiteral("300"),
                                 QStringLiteral("--announce-ms"), QStringLiteral("100")};
constexpr int SILENZIO_RAPIDO_MS = 150;
constexpr int BYTE_UNITA = 440; // received in one programming with read-back
constexpr double MB = 1024.0;

// Code 9 and relay 20, where the simulators' units hold 1 and 30.
const QByteArray PROFILO =
    R"({"formato":"m5-unita","versione":1,"codice":9,"frequenza":"460","rele":20,)"
    R"("impulsi":3,"toni":"alti","uscite":"mem","trasmettitori":"strip","banda":"UHF"})";

const char *esito(bool entro)
{
    return entro ? "met" : "MISSED";
}

// The memory this process holds, in kB.
double rss_kb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return NAN;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        if (riga.startsWith("VmRSS:"))
            return riga.mid(6).trimmed().split(' ').first().toDouble();
    }
    return NAN;
}

// One slot's simulators, one after the other at the same link.
struct PostoSimulato
{
    QString collegamento;
    std::vector<std::unique_ptr<SimulatoreTracciato>> simulatori;
    QStringList riepiloghi;

    SimulatoreTracciato &attuale() { return *simulatori.back(); }
    int somma(const char *campo) const
    {
        int n = 0;
        for (const QString &r : riepiloghi) {
            QFile f(r);
            if (!f.open(QIODevice::ReadOnly))
                return -1;
            n += QJsonDocument::fromJson(f.readAll()).object().value(QLatin1String(campo)).toInt();
        }
        return n;
    }
};

// The station's core and window in this process as m5stazione runs them, the
// core with the ports on a thread of its own and the window shown offscreen,
// over one m5sim per slot. What the core tells comes over queued signals.
class Prova
{
public:
    Prova(int posti, int silenzio_ms)
        : m_banco(std::make_unique<Banco>(
              Banco::Identita{QStringLiteral("m5bench"), QStringLiteral("m5bench")},
              m_cartella.filePath(QStringLiteral("stazione.json")))),
          m_posti(posti), m_unita_posto(posti, 0)
    {
        m_banco->imposta_silenzio(silenzio_ms);
        for (int i = 0; i < posti; ++i)
            m_posti[i].collegamento = m_cartella.filePath(QStringLiteral("p%1").arg(i + 1));
    }

    bool avvia_simulatore(int i, const QStringList &argomenti, bool traccia)
    {
        PostoSimulato &p = m_posti[i];
        const QString riepilogo =
            m_cartella.filePath(QStringLiteral("s%1-%2.json").arg(i + 1).arg(p.riepiloghi.size()));
        p.riepiloghi << riepilogo;
        p.simulatori.push_back(std::make_unique<SimulatoreTracciato>(
            QStringList{QStringLiteral("--link"), p.collegamento, QStringLiteral("--summary"),
                        riepilogo} +
                argomenti,
            traccia));
        return p.simulatori.back()->avvia();
    }

    bool avvia_stazione()
    {
        const auto letto = file_unita::carica(salva_profilo(m_cartella.path()));
        QString errore;
        QString avviso;
        m_registro = m_cartella.filePath(QStringLiteral("registro.jsonl"));
        if (!std::holds_alternative<file_unita::Contenuto>(letto) ||
            !m_banco->apri_registro(m_registro, errore, avviso))
            return false;
        QList<PostoConfigurato> posti;
        for (std::size_t i = 0; i < m_posti.size(); ++i)
            posti.append({static_cast<int>(i) + 1, m_posti[i].collegamento});
        const Profilo profilo{std::get<file_unita::Contenuto>(letto), false, std::nullopt,
                              QString()};
        m_banco->imposta(profilo, posti);
        m_finestra = std::make_unique<FinestraStazione>(*m_banco, profilo, posti, true);
        m_finestra->resize(1920, 1080);
        m_finestra->show();
        QObject::connect(m_banco.get(), &Banco::totali_cambiati, m_finestra.get(),
                         [this](const TotaliBanco &t) { m_totali = t; });
        QObject::connect(m_banco.get(), &Banco::esito_posto, m_finestra.get(),
                         [this](int indice, int, const EsitoUnita &) {
                             ++m_unita_posto[static_cast<std::size_t>(indice)];
                         });
        QObject::connect(m_banco.get(), &Banco::concluso, m_finestra.get(),
                         [this] { m_concluso = true; });
        m_banco->moveToThread(&m_filo);
        m_filo.start();
        QMetaObject::invokeMethod(m_banco.get(), &Banco::avvia, Qt::QueuedConnection);
        return true;
    }

    ~Prova() { ferma(); }

    // Runs the event loop until condizione holds after a unit, or ms pass.
    bool attendi(const std::function<bool()> &condizione, int ms)
    {
        if (condizione())
            return true;
        QEventLoop ciclo;
        QTimer limite;
        limite.setSingleShot(true);
        QObject::connect(&limite, &QTimer::timeout, &ciclo, &QEventLoop::quit);
        const auto guarda = [&] {
            if (condizione())
                ciclo.quit();
        };
        QObject::connect(m_banco.get(), &Banco::totali_cambiati, &ciclo, guarda);
        QObject::connect(m_banco.get(), &Banco::esito_posto, &ciclo, guarda);
        limite.start(ms);
        ciclo.exec();
        return condizione();
    }

    // The station ends, then its thread, then each simulator, leaving its
    // summary. The core's records may be read after it.
    void ferma()
    {
        if (!m_filo.isRunning())
            return;
        QEventLoop ciclo;
        QTimer::singleShot(10'000, &ciclo, &QEventLoop::quit);
        QObject::connect(m_banco.get(), &Banco::concluso, &ciclo, &QEventLoop::quit);
        QMetaObject::invokeMethod(m_banco.get(), &Banco::interrompi, Qt::QueuedConnection);
        if (!m_concluso)
            ciclo.exec();
        // Back to this thread, to be read here and deleted.
        QThread *qui = QThread::currentThread();
        QMetaObject::invokeMethod(
            m_banco.get(), [this, qui] { m_banco->moveToThread(qui); },
            Qt::BlockingQueuedConnection);
        m_filo.quit();
        m_filo.wait();
        for (PostoSimulato &p : m_posti)
            p.attuale().termina();
    }

    // Only once ferma() has stopped its thread.
    const Banco &banco() const { return *m_banco; }
    // As the core last told them.
    const TotaliBanco &totali() const { return m_totali; }
    int unita_posto(int i) const { return m_unita_posto[static_cast<std::size_t>(i)]; }
    FinestraStazione &finestra() { return *m_finestra; }
    PostoSimulato &posto(int i) { return m_posti[static_cast<std::size_t>(i)]; }
    int posti() const { return static_cast<int>(m_posti.size()); }
    QString registro() const { return m_registro; }
    QString cartella() const { return m_cartella.path(); }

private:
    QTemporaryDir m_cartella;
    std::unique_ptr<Banco> m_banco;
    QThread m_filo;
    std::unique_ptr<FinestraStazione> m_finestra;
    std::vector<PostoSimulato> m_posti;
    std::vector<int> m_unita_posto;
    TotaliBanco m_totali;
    bool m_concluso = false;
    QString m_registro;
};

// From each unit's first "K" to the "U" that answers it. A trace's first
// unit is left out: its announcements began before the station opened.
QList<double> attese_annuncio(const QList<ByteTraccia> &eventi)
{
    QList<double> ms;
    bool dialogo = false;
    int operandi = 0;
    std::int64_t primo_k = -1;
    int unita = 0;
    for (const ByteTraccia &e : eventi) {
        if (!e.entrata) {
            if (!dialogo && e.byte == 'K' && primo_k < 0)
                primo_k = e.us;
        } else if (operandi > 0) {
            --operandi;
        } else if (!dialogo) {
            if (e.byte == 'U') {
                if (++unita > 1 && primo_k >= 0)
                    ms << (e.us - primo_k) / 1000.0;
                dialogo = true;
            }
        } else if (e.byte == 'R' || e.byte == 'W') {
            operandi = e.byte == 'R' ? 1 : 2;
        } else if (e.byte == 'E') {
            dialogo = false;
            primo_k = -1;
        }
    }
    return ms;
}

struct Lavoro
{
    QList<double> durate_s; // each unit of the batches, from its "K" to its end
    QList<double> lotti_s;  // each batch: its slowest unit
    QList<double> k_u_ms;
    double ritardo_ms = 0; // the 10 ms timer's worst lateness
    int fallite = 0;
    bool completo = false;
};

// n paced slots, each through LOTTI units.
Lavoro lavora(int n)
{
    Lavoro l;
    Prova p(n, Banco::SILENZIO_MS);
    for (int i = 0; i < n; ++i) {
        if (!p.avvia_simulatore(
                i, {QStringLiteral("--baud"), BAUD, QStringLiteral("--swap-ms"), SCAMBIO_MS}, true))
            return l;
    }
    if (!p.avvia_stazione())
        return l;
    QTimer orologio;
    orologio.setTimerType(Qt::PreciseTimer);
    orologio.setInterval(10);
    QElapsedTimer tempo;
    double ultimo = -1;
    QObject::connect(&orologio, &QTimer::timeout, [&] {
        const double ora = tempo.nsecsElapsed() / 1e6;
        if (ultimo >= 0)
            l.ritardo_ms = std::max(l.ritardo_ms, ora - ultimo - 10);
        ultimo = ora;
    });
    tempo.start();
    orologio.start();
    auto conti = [&p] {
        QMap<QString, QList<RecordRegistro>> per_porta;
        for (const RecordRegistro &r : p.banco().record())
            per_porta[r.porta] << r;
        return per_porta;
    };
    l.completo = p.attendi(
        [&] {
            for (int i = 0; i < n; ++i) {
                if (p.unita_posto(i) < LOTTI)
                    return false;
            }
            return true;
        },
        (LOTTI * 8 + 30) * 1000);
    orologio.stop();
    p.ferma();
    const auto c = conti();
    for (int k = 1; k <= LOTTI; ++k) {
        double lotto = 0;
        for (const QList<RecordRegistro> &r : c) {
            for (const RecordRegistro &u : r) {
                if (u.unita != k)
                    continue;
                l.fallite += u.esito == 0 ? 0 : 1;
                l.durate_s << u.durata_s.value_or(NAN);
                lotto = std::max(lotto, u.durata_s.value_or(NAN));
            }
        }
        l.lotti_s << lotto;
    }
    for (int i = 0; i < n; ++i)
        l.k_u_ms += attese_annuncio(p.posto(i).attuale().traccia());
    return l;
}

void lavoro()
{
    std::printf("Station, programming with read-back: the station's core on a thread of its\n"
                "  own and its window (offscreen), as m5stazione runs them, one m5sim --baud %s\n"
                "  --swap-ms %s per slot, %d units on each; a unit's time is its log's durata_s\n",
                qPrintable(BAUD), qPrintable(SCAMBIO_MS), LOTTI);
    const Lavoro uno = lavora(1);
    const double base = percentile(uno.durate_s, 0.5);
    bool entro = uno.completo && uno.fallite == 0;
    Lavoro sedici;
    for (const int n : {1, 8, 16}) {
        const Lavoro l = n == 1 ? uno : lavora(n);
        const double lotto = percentile(l.lotti_s, 0.5);
        std::printf("  %2d slot(s): unit median %.3f s, max %.3f s; batch (its slowest unit) "
                    "median %.3f s = x%.3f one slot%s\n",
                    n, percentile(l.durate_s, 0.5), percentile(l.durate_s, 1.0), lotto,
                    lotto / base,
                    l.completo && l.fallite == 0 ? "" : "  (A UNIT FAILED OR THE RUN STALLED)");
        if (n > 1)
            entro = entro && l.completo && l.fallite == 0 && lotto <= 1.05 * base;
        if (n == POSTI)
            sedici = l;
    }
    std::printf("  goal 8 and 16 slots <= 1.05 x one slot: %s\n", esito(entro));
    const double p99 = percentile(sedici.k_u_ms, 0.99);
    std::printf("  first \"K\" of a unit -> its \"U\" (m5sim's trace), 16 slots busy: n=%lld "
                "median %.2f ms, p99 %.2f ms, max %.2f ms\n"
                "  (one byte time, %.2f ms at %s baud, is the line's: m5sim stamps a byte in\n"
                "   when its last bit is in)\n",
                static_cast<long long>(sedici.k_u_ms.size()), percentile(sedici.k_u_ms, 0.5), p99,
                percentile(sedici.k_u_ms, 1.0), 10 * 1000.0 / BAUD.toDouble(), qPrintable(BAUD));
    std::printf("  goal p99 <= 50 ms: %s\n", esito(p99 <= 50));
    std::printf("  a 10 ms precise timer on the window's thread, 16 slots working: worst "
                "lateness %.2f ms\n  goal <= 50 ms: %s\n\n",
                sedici.ritardo_ms, esito(sedici.ritardo_ms <= 50));
}

// utime + stime of a process, in seconds.
double cpu_processo(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return NAN;
    const QByteArray testo = f.readAll();
    // After the command's ")", state is field 3: utime and stime are 14 and 15.
    const QList<QByteArray> campi = testo.mid(testo.lastIndexOf(')') + 2).split(' ');
    if (campi.size() < 13)
        return NAN;
    return (campi.at(11).toDouble() + campi.at(12).toDouble()) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void cpu_in_attesa(const QString &programma)
{
    QTemporaryDir d;
    std::vector<std::unique_ptr<SimulatoreTracciato>> sim;
    QStringList argomenti{QStringLiteral("--from"), salva_profilo(d.path()),
                          QStringLiteral("--log"), d.filePath(QStringLiteral("registro.jsonl")),
                          QStringLiteral("--mute")};
    for (int i = 0; i < POSTI; ++i) {
        sim.push_back(
            std::make_unique<SimulatoreTracciato>(QStringList{QStringLiteral("--silent")}, false));
        if (!sim.back()->avvia())
            return;
        argomenti << QStringLiteral("--slot")
                  << QStringLiteral("%1=%2").arg(i + 1).arg(sim.back()->percorso());
    }
    QDir().mkpath(d.filePath(QStringLiteral("run")));
    QFile::setPermissions(d.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ambiente.insert(QStringLiteral("XDG_CONFIG_HOME"), d.filePath(QStringLiteral("config")));
    ambiente.insert(QStringLiteral("XDG_RUNTIME_DIR"), d.filePath(QStringLiteral("run")));
    QProcess stazione;
    stazione.setProcessEnvironment(ambiente);
    stazione.setStandardOutputFile(QProcess::nullDevice());
    stazione.setStandardErrorFile(QProcess::nullDevice());
    stazione.start(programma, argomenti);
    if (!stazione.waitForStarted())
        return;
    QThread::sleep(ATTESA_CPU_S);
    const double prima = cpu_processo(stazione.processId());
    QElapsedTimer tempo;
    tempo.start();
    QThread::sleep(MISURA_CPU_S);
    const double dopo = cpu_processo(stazione.processId());
    const double secondi = tempo.nsecsElapsed() / 1e9;
    const double percento = 100 * (dopo - prima) / secondi;
    stazione.terminate();
    stazione.waitForFinished(5000);
    std::printf("Station idle: m5stazione (offscreen) with %d slots, each m5sim --silent;\n"
                "  utime+stime from /proc over %.1f s, after %d s to settle\n",
                POSTI, secondi, ATTESA_CPU_S);
    std::printf("  %.3f s CPU = %.3f%% of one core\n  goal <= 0.5%%: %s\n\n", dopo - prima,
                percento, esito(percento <= 0.5));
}

struct Conti
{
    int unita = 0;
    int ok = 0;
    int fallite = 0; // neither good nor interrupted
    bool operator==(const Conti &o) const
    {
        return unita == o.unita && ok == o.ok && fallite == o.fallite;
    }
};

// The unit records of the log file, per slot from 1.
QMap<int, Conti> conti_registro(const QString &file)
{
    QMap<int, Conti> conti;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return conti;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(riga).object();
        if (!o.contains(QStringLiteral("esito")))
            continue;
        Conti &c = conti[o.value(QStringLiteral("posto")).toInt()];
        const int e = o.value(QStringLiteral("esito")).toInt();
        ++c.unita;
        c.ok += e == 0 ? 1 : 0;
        c.fallite += e != 0 && e != 130 ? 1 : 0;
    }
    return conti;
}

// The faults of slot i: random bytes on four, random replies on four, a
// hang-up on two, whose simulator comes back at the same link.
QStringList guasti(int i, int per_posto)
{
    const QString seme = QString::number(i + 1);
    if (i < 4)
        return {QStringLiteral("--seed"), seme, QStringLiteral("--garbage-reads"),
                QStringLiteral("0.002")};
    if (i < 8)
        return {QStringLiteral("--seed"), seme, QStringLiteral("--extra-bytes"),
                QStringLiteral("0.002")};
    if (i < 10)
        return {QStringLiteral("--hangup-after"),
                QString::number(BYTE_UNITA * per_posto * (i == 8 ? 3 : 6) / 10 + 200)};
    return {};
}

struct Concordanza
{
    bool concordi = true;
    int unita = 0;
    int ok = 0;
    int fallite = 0;
    int dialoghi = 0;
};

// Each tile's counts against the log's records of its slot and the dialogues
// its simulators saw; a slot that disagrees is printed.
Concordanza confronta(Prova &p)
{
    const QMap<int, Conti> registro = conti_registro(p.registro());
    Concordanza c;
    for (int i = 0; i < POSTI; ++i) {
        const RiquadroPosto *t = p.finestra().riquadro(i);
        const Conti riquadro{t->quadro().unita, t->quadro().ok, t->quadro().fallite};
        const Conti r = registro.value(i + 1);
        const int visti = p.posto(i).somma("dialoghi");
        const bool uguali = riquadro == r && visti == r.unita;
        c.concordi = c.concordi && uguali;
        if (!uguali)
            std::printf("  slot %d: tile %d/%d/%d, log %d/%d/%d, the simulators saw %d\n", i + 1,
                        riquadro.unita, riquadro.ok, riquadro.fallite, r.unita, r.ok, r.fallite,
                        visti);
        c.unita += r.unita;
        c.ok += r.ok;
        c.fallite += r.fallite;
        c.dialoghi += visti;
    }
    return c;
}

// Every slot's simulator with its faults, then the station.
bool avvia_resistenza(Prova &p, int per_posto)
{
    for (int i = 0; i < POSTI; ++i) {
        if (!p.avvia_simulatore(i, SCAMBIO_RAPIDO + guasti(i, per_posto), false))
            return false;
    }
    return p.avvia_stazione();
}

void resistenza(int totale)
{
    Prova p(POSTI, SILENZIO_RAPIDO_MS);
    if (!avvia_resistenza(p, totale / POSTI + 1))
        return;
    int riavvii = 0;
    QTimer sorveglianza;
    QObject::connect(&sorveglianza, &QTimer::timeout, [&] {
        for (int i = 0; i < POSTI; ++i) {
            if (!p.posto(i).attuale().in_esecuzione() &&
                p.avvia_simulatore(i, SCAMBIO_RAPIDO, false))
                ++riavvii;
        }
    });
    sorveglianza.start(250);
    const int soglia = std::max(200, totale / 10);
    double base_kb = NAN;
    double picco_kb = 0;
    int ultima_misura = 0;
    QElapsedTimer tempo;
    tempo.start();
    double secondi_soglia = 0;
    const bool finita = p.attendi(
        [&] {
            const int n = p.totali().unita;
            if (n >= soglia && std::isnan(base_kb)) {
                base_kb = rss_kb();
                secondi_soglia = tempo.nsecsElapsed() / 1e9;
            }
            if (n - ultima_misura >= 500) {
                picco_kb = std::max(picco_kb, rss_kb());
                ultima_misura = n;
            }
            return n >= totale;
        },
        60'000 + totale * 500);
    const double secondi = tempo.nsecsElapsed() / 1e9;
    const double fine_kb = rss_kb();
    sorveglianza.stop();
    p.ferma();

    const Concordanza c = confronta(p);
    const double crescita_mb = (fine_kb - base_kb) / MB;
    std::printf("Station endurance: %d slots, unpaced m5sim %s, silence %d ms;\n"
                "  faults: --garbage-reads 0.002 on 4 slots, --extra-bytes 0.002 on 4, a hang-up\n"
                "  on 2 whose m5sim comes back at the same link\n",
                POSTI, qPrintable(SCAMBIO_RAPIDO.join(QLatin1Char(' '))), SILENZIO_RAPIDO_MS);
    std::printf("  %d units (%d OK, %d failed, %d interrupted at the end) in %.1f s = %.1f "
                "units/s%s; %d simulator(s) restarted\n",
                c.unita, c.ok, c.fallite, c.unita - c.ok - c.fallite, secondi, c.unita / secondi,
                finita ? "" : " (STALLED)", riavvii);
    std::printf("  VmRSS %.1f MB after %d units (%.1f s), %.1f MB at the end, peak %.1f MB: "
                "grew %.2f MB\n",
                base_kb / MB, soglia, secondi_soglia, fine_kb / MB,
                std::max(picco_kb, fine_kb) / MB, crescita_mb);
    std::printf("  tiles, log records and the simulators' dialogues (%d) agree: %s\n", c.dialoghi,
                c.concordi ? "yes" : "NO");
    std::printf("  goal growth < 10 MB: %s; goal agreement: %s\n\n", esito(crescita_mb < 10),
                esito(c.concordi && finita));
}
} // namespace

QString salva_profilo(const QString &cartella)
{
    const QString file = cartella + QStringLiteral("/profilo.json");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(PROFILO) != PROFILO.size())
        return QString();
    return file;
}

void misura_stazione(int unita)
{
    lavoro();
    cpu_in_attesa(QStringLiteral(M5STAZIONE_PATH));
    if (unita > 0)
        resistenza(unita);
}
