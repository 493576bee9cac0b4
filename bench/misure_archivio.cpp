// SPDX-License-Identifier: GPL-3.0-or-later
#include "misure_archivio.h"

#include "istruzioni_archivio.h"
#include "misure_stazione.h"
#include "percentile.h"

#include "banco.h"
#include "connessione_pg.h"
#include "finestra_stazione.h"
#include "processo.h"
#include "server_postgres.h"
#include "simulatore_tracciato.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {
using Orologio = std::chrono::steady_clock;

constexpr int PROVE = 3;
const QString PIANO = QStringLiteral("1-4096");
// Each run's first units are left out: the server's caches and plans fill.
constexpr int UNITA_AVVIO = 20;
constexpr int UNITA_MISURATE = 300;
constexpr int RISERVA = Corriere::RISERVA_PER_POSTO;

// The paced runs: a unit of about 3 s, taken out in 0.3 s, the next one
// announcing itself every 0.5 s as a real one does. A silence shorter than
// the gap between announcements: a process that the loaded machine holds up
// past the swap still finds one, where announcements every 0.1 s would
// leave it waiting for good.
const QStringList SIMULATORE{QStringLiteral("--baud"), QStringLiteral("2400"),
                             QStringLiteral("--swap-ms"), QStringLiteral("300")};
constexpr int SILENZIO_MS = 150;
constexpr int PROCESSI = 4;
constexpr int UNITA_PORTA = 15; // about 45 s a run
constexpr int LIMITE_CORSA_MS = 150'000;

constexpr int POSTI_GELO = 8;
constexpr int PRIMA_S = 15;
constexpr int GELO_S = 20;
constexpr int DOPO_S = 10;

// The corriere's statements, as it sends them.
const QString SQL_PIANO = QLatin1String(istruzioni_archivio::PIANO);
const QString SQL_RISERVA = QLatin1String(istruzioni_archivio::RISERVA);
const QString SQL_SALDO = QLatin1String(istruzioni_archivio::SALDO);
const QString SQL_RECORD = QLatin1String(istruzioni_archivio::RECORD);
const QString SQL_CONTA = QLatin1String(istruzioni_archivio::CONTA);

[[noreturn]] void fallisci(const QString &messaggio)
{
    std::fprintf(stderr, "m5bench: archive: %s\n", qPrintable(messaggio));
    std::exit(1);
}

const char *esito(bool entro)
{
    return entro ? "met" : "MISSED";
}

double ms_da(Orologio::time_point inizio)
{
    return std::chrono::duration<double, std::milli>(Orologio::now() - inizio).count();
}

// A one-element PostgreSQL array; a null text is NULL.
QByteArray uno(const QString &valore)
{
    return valore.isNull() ? QByteArray("{NULL}") : "{\"" + valore.toUtf8() + "\"}";
}

PianoCodici piano_intero()
{
    return std::get<PianoCodici>(PianoCodici::da_intervallo(PIANO, QStringLiteral("--codici")));
}

// The server, driven from a thread of its own: congela() waits until every
// process of it shows itself stopped, and the thread being measured must
// not wait with it.
class ServerSuFilo
{
public:
    ServerSuFilo()
    {
        m_contesto.moveToThread(&m_filo);
        m_filo.start();
    }
    ~ServerSuFilo()
    {
        sul_filo([this] { m_server.reset(); });
        m_filo.quit();
        m_filo.wait();
    }

    bool avvia(QString &errore)
    {
        bool fatto = false;
        sul_filo([&] {
            m_server = std::make_unique<ServerPostgres>();
            fatto = m_server->avvia(&errore);
        });
        return fatto;
    }
    // A fresh archive for each run.
    bool nuovo_database(const QString &nome)
    {
        bool fatto = false;
        sul_filo([&] { fatto = m_server->sql(QStringLiteral("CREATE DATABASE %1;").arg(nome)); });
        return fatto;
    }
    QString indirizzo(const QString &database) const { return m_server->indirizzo({}, database); }

    // Stopped for ms from now, without waiting; sciolto() once it goes on again.
    void congela_per(int ms)
    {
        QMetaObject::invokeMethod(
            &m_contesto,
            [this, ms] {
                m_congelato = m_server->congela();
                m_inizio_gelo = Orologio::now();
                QThread::msleep(static_cast<unsigned long>(ms));
                m_fine_gelo = Orologio::now();
                m_congelato = m_server->scongela() && m_congelato;
                m_sciolto.store(true, std::memory_order_release);
            },
            Qt::QueuedConnection);
    }
    bool sciolto() const { return m_sciolto.load(std::memory_order_acquire); }
    // Once sciolto(): whether both signals took, and from when to when every process was stopped.
    bool congelato() const { return m_congelato; }
    Orologio::time_point inizio_gelo() const { return m_inizio_gelo; }
    Orologio::time_point fine_gelo() const { return m_fine_gelo; }

private:
    void sul_filo(const std::function<void()> &f)
    {
        QMetaObject::invokeMethod(&m_contesto, f, Qt::BlockingQueuedConnection);
    }

    QThread m_filo;
    QObject m_contesto;
    std::unique_ptr<ServerPostgres> m_server;
    std::atomic<bool> m_sciolto{false};
    bool m_congelato = false;
    Orologio::time_point m_inizio_gelo;
    Orologio::time_point m_fine_gelo;
};

// A ConnessionePg on this thread, each statement awaited in an event loop
// as the corriere's thread awaits it: a time is one round trip as the
// corriere sees it, the event loop's hand-overs included.
class Sessione
{
public:
    bool connetti(const QString &indirizzo, QString &errore)
    {
        QEventLoop ciclo;
        bool connessa = false;
        QObject::connect(&m_pg, &ConnessionePg::connessa_ora, &ciclo, [&] {
            connessa = true;
            ciclo.quit();
        });
        QObject::connect(&m_pg, &ConnessionePg::persa, &ciclo, [&](const QString &motivo) {
            errore = motivo;
            ciclo.quit();
        });
        m_pg.connetti(indirizzo);
        ciclo.exec();
        return connessa;
    }

    RisultatoPg esegui(const QString &sql, const QList<QByteArray> &parametri, double &ms)
    {
        QEventLoop ciclo;
        RisultatoPg risultato;
        const auto inizio = Orologio::now();
        m_pg.esegui(sql, parametri, [&](const RisultatoPg &r) {
            ms = ms_da(inizio);
            risultato = r;
            ciclo.quit();
        });
        ciclo.exec();
        if (!risultato.riuscito) {
            ++m_fallite;
            m_ultimo_errore = risultato.errore;
        }
        return risultato;
    }
    RisultatoPg esegui(const QString &sql, const QList<QByteArray> &parametri = {})
    {
        double ms = 0;
        return esegui(sql, parametri, ms);
    }
    // Statements that failed, and the last one's error.
    int fallite() const { return m_fallite; }
    QString ultimo_errore() const { return m_ultimo_errore; }

private:
    ConnessionePg m_pg;
    int m_fallite = 0;
    QString m_ultimo_errore;
};

// A database of the server's, as the corriere leaves it: its schema and one plan.
struct Archivio
{
    Sessione sessione;
    QString impronta;
    QString proprietario = DepositoCodici::proprietario_per(QString());
    QJsonObject riga; // the log line each record is made from
};

// archivio.sql, as the corriere sends it.
QStringList istruzioni_schema()
{
    const QStringList istruzioni = istruzioni_archivio::schema();
    if (istruzioni.isEmpty())
        fallisci(QStringLiteral("the schema is not among the resources"));
    return istruzioni;
}

void apri_archivio(ServerSuFilo &server, const QString &database, Archivio &a)
{
    QString errore;
    if (!server.nuovo_database(database) ||
        !a.sessione.connetti(server.indirizzo(database), errore))
        fallisci(QStringLiteral("database %1: %2").arg(database, errore));
    for (const QString &sql : istruzioni_schema())
        a.sessione.esegui(sql);
    const PianoCodici piano = piano_intero();
    a.impronta = piano.impronta();
    QStringList codici;
    for (const int c : piano.codici())
        codici << QString::number(c);
    a.sessione.esegui(SQL_PIANO, {a.impronta.toUtf8(), QByteArray::number(codici.size()),
                                  '{' + codici.join(QLatin1Char(',')).toUtf8() + '}'});
    if (a.sessione.fallite() > 0)
        fallisci(QStringLiteral("database %1: %2").arg(database, a.sessione.ultimo_errore()));
}

// A unit's log line as m5ctl writes it: one unit programmed over an unpaced m5sim.
QJsonObject riga_di_m5ctl()
{
    QTemporaryDir cartella;
    qputenv("XDG_DATA_HOME", QFile::encodeName(cartella.filePath(QStringLiteral("dati"))));
    SimulatoreTracciato sim({}, false);
    if (!sim.avvia())
        fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5SIM_PATH)));
    const QString registro = cartella.filePath(QStringLiteral("registro.jsonl"));
    Processo::esegui(QStringLiteral(M5CTL_PATH),
                     {QStringLiteral("--port"), sim.percorso(), QStringLiteral("program"),
                      QStringLiteral("--from"), salva_profilo(cartella.path()),
                      QStringLiteral("--codici"), PIANO, QStringLiteral("--repeat"),
                      QStringLiteral("1"), QStringLiteral("--log"), registro});
    sim.termina();
    QFile f(registro);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &riga : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(riga).object();
            if (o.contains(QLatin1String("esito")))
                return o;
        }
    }
    fallisci(QStringLiteral("m5ctl wrote no unit to %1").arg(registro));
}

// Up to n codes claimed as the corriere claims its reserve.
QList<DepositoCodici::Voce> riserva(Archivio &a, int n, double &ms)
{
    const RisultatoPg r =
        a.sessione.esegui(SQL_RISERVA,
                          {a.impronta.toUtf8(), a.proprietario.toUtf8(), QByteArray::number(n),
                           QByteArray::number(Corriere::LEASE_S)},
                          ms);
    QList<DepositoCodici::Voce> voci;
    for (const QList<QByteArray> &riga : r.righe)
        voci.append({riga.at(0).toInt(), riga.at(1).toInt()});
    return voci;
}

// One code's change, as the corriere sends the store's.
double salda(Archivio &a, const DepositoCodici::Voce &v, const char *stato, const QString &record)
{
    double ms = 0;
    const RisultatoPg r =
        a.sessione.esegui(SQL_SALDO,
                          {uno(a.impronta), uno(QString::number(v.posizione)),
                           uno(QLatin1String(stato)), uno(record), uno(a.proprietario)},
                          ms);
    if (r.riuscito && r.righe.size() != 1)
        fallisci(QStringLiteral("code %1 was not settled as %2").arg(v.codice).arg(stato));
    return ms;
}

double consegna(Archivio &a, const QUuid &id, int codice)
{
    QJsonObject riga = a.riga;
    riga.insert(QStringLiteral("id"), id.toString(QUuid::WithoutBraces));
    const QJsonArray elenco{
        QJsonObject{{QStringLiteral("riga"), riga}, {QStringLiteral("codice"), codice}}};
    double ms = 0;
    const RisultatoPg r =
        a.sessione.esegui(SQL_RECORD, {QJsonDocument(elenco).toJson(QJsonDocument::Compact)}, ms);
    if (r.riuscito && r.modificate != 1)
        fallisci(QStringLiteral("the record of code %1 was not stored").arg(codice));
    return ms;
}

double conta(Archivio &a)
{
    double ms = 0;
    a.sessione.esegui(SQL_CONTA, {a.impronta.toUtf8()}, ms);
    return ms;
}

// A unit as the corriere tells it, in its two rounds: its code started,
// then given with its record, each round ending with the plan's count.
struct CostoUnita
{
    double avviato = 0;
    double dato = 0;
    double record = 0;
    double conti = 0; // both counts
};

CostoUnita unita(Archivio &a, const DepositoCodici::Voce &v, bool con_conti)
{
    CostoUnita c;
    const QUuid id = QUuid::createUuid();
    c.avviato = salda(a, v, "avviato", QString());
    c.conti = con_conti ? conta(a) : 0;
    c.dato = salda(a, v, "dato", id.toString(QUuid::WithoutBraces));
    c.record = consegna(a, id, v.codice);
    c.conti += con_conti ? conta(a) : 0;
    return c;
}

struct TempiUnita
{
    QList<double> riserva_uno;    // LIMIT 1
    QList<double> riserva_decimo; // a reserve of RISERVA, its share of one unit
    QList<double> avviato, dato, record, conti;
    QList<double> unita_uno;     // claim LIMIT 1 + settle + record
    QList<double> unita_riserva; // the reserve's share + settle + record
    QList<double> giri;          // the reserve's share and both of the corriere's rounds
};

void annota(TempiUnita &t, const CostoUnita &c)
{
    t.avviato << c.avviato;
    t.dato << c.dato;
    t.record << c.record;
    t.conti << c.conti;
}

TempiUnita prova_unita(ServerSuFilo &server, const QJsonObject &riga, int prova)
{
    Archivio a;
    a.riga = riga;
    apri_archivio(server, QStringLiteral("unita_%1").arg(prova), a);
    TempiUnita t;
    for (int i = 0; i < UNITA_AVVIO + UNITA_MISURATE; ++i) {
        double ms = 0;
        const QList<DepositoCodici::Voce> voci = riserva(a, 1, ms);
        if (voci.size() != 1)
            fallisci(QStringLiteral("a claim of one code gave %1").arg(voci.size()));
        const CostoUnita c = unita(a, voci.first(), true);
        if (i < UNITA_AVVIO)
            continue;
        annota(t, c);
        t.riserva_uno << ms;
        t.unita_uno << ms + c.dato + c.record;
    }
    for (int g = 0; g < (UNITA_AVVIO + UNITA_MISURATE) / RISERVA; ++g) {
        double ms = 0;
        const QList<DepositoCodici::Voce> voci = riserva(a, RISERVA, ms);
        const double quota = ms / std::max<qsizetype>(1, voci.size());
        for (const DepositoCodici::Voce &v : voci) {
            const CostoUnita c = unita(a, v, true);
            if (g < UNITA_AVVIO / RISERVA)
                continue;
            annota(t, c);
            t.riserva_decimo << quota;
            t.unita_riserva << quota + c.dato + c.record;
            t.giri << quota + c.avviato + c.dato + c.record + c.conti;
        }
    }
    if (a.sessione.fallite() > 0)
        fallisci(QStringLiteral("%1 statement(s) failed: %2")
                     .arg(a.sessione.fallite())
                     .arg(a.sessione.ultimo_errore()));
    return t;
}

// "median [least-most]" of a figure taken in each run.
QString su_prove(const std::vector<double> &valori)
{
    QList<double> l(valori.begin(), valori.end());
    const auto [minimo, massimo] = std::minmax_element(valori.begin(), valori.end());
    return QStringLiteral("%1 [%2-%3]")
        .arg(percentile(l, 0.5), 7, 'f', 3)
        .arg(*minimo, 0, 'f', 3)
        .arg(*massimo, 0, 'f', 3);
}

// The median and p90 of each run; printed, their median over the runs and
// the least and most; the median of the runs' medians is returned.
double riga_unita(const char *nome, const std::vector<TempiUnita> &prove,
                  QList<double> TempiUnita::*serie)
{
    std::vector<double> mediane;
    std::vector<double> p90;
    for (const TempiUnita &t : prove) {
        mediane.push_back(percentile(t.*serie, 0.5));
        p90.push_back(percentile(t.*serie, 0.9));
    }
    std::printf("  %-40s %s   %s\n", nome, qPrintable(su_prove(mediane)),
                qPrintable(su_prove(p90)));
    return percentile(QList<double>(mediane.begin(), mediane.end()), 0.5);
}

void costo_unita(ServerSuFilo &server, const QJsonObject &riga)
{
    std::vector<TempiUnita> prove;
    for (int i = 0; i < PROVE; ++i)
        prove.push_back(prova_unita(server, riga, i + 1));
    std::printf(
        "Archive, one unit's cost: ConnessionePg round trips, each awaited, to the bench's\n"
        "  own PostgreSQL server (Unix socket; fsync and synchronous_commit off), the\n"
        "  corriere's statements on a plan of 4096 codes; each record an m5ctl log line\n"
        "  (%lld bytes); %d runs of %d units with LIMIT 1 claims, then %d with reserves\n"
        "  of %d, each on a fresh database, their first %d units left out\n",
        static_cast<long long>(QJsonDocument(riga).toJson(QJsonDocument::Compact).size()), PROVE,
        UNITA_MISURATE, UNITA_MISURATE, RISERVA, UNITA_AVVIO);
    std::printf("  %-40s %-26s %s\n", "ms, each run's figure over the runs:", "median [least-most]",
                "p90 [least-most]");
    riga_unita("claim one code (LIMIT 1)", prove, &TempiUnita::riserva_uno);
    riga_unita("claim a reserve of 10, a tenth of it", prove, &TempiUnita::riserva_decimo);
    riga_unita("settle: started", prove, &TempiUnita::avviato);
    riga_unita("settle: given, with its record's id", prove, &TempiUnita::dato);
    riga_unita("record (INSERT ... ON CONFLICT)", prove, &TempiUnita::record);
    riga_unita("the plan's count, twice", prove, &TempiUnita::conti);
    const double uno =
        riga_unita("UNIT: claim LIMIT 1 + settle + record", prove, &TempiUnita::unita_uno);
    const double quota =
        riga_unita("UNIT: reserve's share + settle + record", prove, &TempiUnita::unita_riserva);
    riga_unita("unit: share + both rounds of the corriere", prove, &TempiUnita::giri);
    std::printf("  goal median <= 5 ms: claim LIMIT 1 %s, reserve's share %s\n\n", esito(uno <= 5),
                esito(quota <= 5));
}

struct Piano
{
    QList<double> ms; // each claim's, in order
    int codici = 0;
    QString tabella; // m5_codici's live and dead rows, and its last autovacuum
};

Piano prova_piano(ServerSuFilo &server, const QJsonObject &riga, int prova)
{
    Archivio a;
    a.riga = riga;
    apri_archivio(server, QStringLiteral("piano_%1").arg(prova), a);
    Piano p;
    for (;;) {
        double ms = 0;
        const QList<DepositoCodici::Voce> voci = riserva(a, RISERVA, ms);
        if (voci.isEmpty())
            break;
        p.ms << ms;
        p.codici += static_cast<int>(voci.size());
        for (const DepositoCodici::Voce &v : voci)
            unita(a, v, false);
    }
    const RisultatoPg r = a.sessione.esegui(
        QStringLiteral("SELECT n_live_tup, n_dead_tup, coalesce(last_autovacuum::text, 'never') "
                       "FROM pg_stat_user_tables WHERE relname = 'm5_codici'"));
    if (!r.righe.isEmpty())
        p.tabella = QStringLiteral("m5_codici %1 live, %2 dead rows, autovacuum %3")
                        .arg(QString::fromUtf8(r.righe[0][0]), QString::fromUtf8(r.righe[0][1]),
                             QString::fromUtf8(r.righe[0][2]).left(19));
    if (a.sessione.fallite() > 0 || p.codici != 4096)
        fallisci(QStringLiteral("the plan gave %1 codes; %2 statement(s) failed: %3")
                     .arg(p.codici)
                     .arg(a.sessione.fallite())
                     .arg(a.sessione.ultimo_errore()));
    return p;
}

void piano_intero_riservato(ServerSuFilo &server, const QJsonObject &riga)
{
    std::printf("Archive, a plan from start to end: the 4096 codes of one plan claimed in\n"
                "  reserves of %d with the corriere's claim, each code then started, given and\n"
                "  its record delivered (not timed); %d runs, each on a fresh database\n",
                RISERVA, PROVE);
    std::vector<double> rapporti;
    for (int i = 0; i < PROVE; ++i) {
        const Piano p = prova_piano(server, riga, i + 1);
        const qsizetype n = p.ms.size();
        const qsizetype decimo = std::max<qsizetype>(1, n / 10);
        const double primo = percentile(p.ms.mid(0, decimo), 0.5);
        const double ultimo = percentile(p.ms.mid(n - decimo), 0.5);
        rapporti.push_back(ultimo / primo);
        std::printf("  run %d: %lld claims; median first 10%% %.3f ms, last 10%% %.3f ms, "
                    "ratio %.3f; p90 %.3f / %.3f ms\n",
                    i + 1, static_cast<long long>(n), primo, ultimo, ultimo / primo,
                    percentile(p.ms.mid(0, decimo), 0.9), percentile(p.ms.mid(n - decimo), 0.9));
        QString decimi;
        for (int d = 0; d < 10; ++d)
            decimi += QStringLiteral(" %1").arg(
                percentile(p.ms.mid(d * n / 10, (d + 1) * n / 10 - d * n / 10), 0.5), 0, 'f', 3);
        std::printf("    median of each tenth, ms:%s\n    %s\n", qPrintable(decimi),
                    qPrintable(p.tabella));
    }
    const double r = percentile(QList<double>(rapporti.begin(), rapporti.end()), 0.5);
    std::printf("  last 10%% / first 10%%: %s over the runs\n  goal ~1 (judged <= 1.2): %s\n\n",
                qPrintable(su_prove(rapporti)), esito(r <= 1.2));
}

struct Corsa
{
    double secondi = 0;
    int unita = 0;
    int ok = 0;
    int nell_archivio = -1; // records in the archive after the run; -1 without one
    QStringList errori;     // each process that failed, and its last words
    // From the start to the first unit's start, and from the last unit's end
    // to the end: what the run costs beyond its units.
    double prima_s = 0;
    double dopo_s = 0;
};

// The unit records of a run's logs: all, and OK; the first unit's start and the last's end.
void conta_registri(const QTemporaryDir &cartella, qint64 inizio_ms, qint64 fine_ms, Corsa &c)
{
    qint64 primo = fine_ms;
    qint64 ultimo = inizio_ms;
    for (int k = 1; k <= PROCESSI; ++k) {
        QFile f(cartella.filePath(QStringLiteral("registro-%1.jsonl").arg(k)));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &riga : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(riga).object();
            if (!o.contains(QLatin1String("esito")))
                continue;
            ++c.unita;
            c.ok += o.value(QLatin1String("esito")).toInt() == 0 ? 1 : 0;
            const qint64 ora =
                QDateTime::fromString(o.value(QLatin1String("ora")).toString(), Qt::ISODateWithMs)
                    .toMSecsSinceEpoch();
            primo = std::min(primo,
                             ora - qRound64(o.value(QLatin1String("durata_s")).toDouble() * 1000));
            ultimo = std::max(ultimo, ora);
        }
    }
    c.prima_s = (primo - inizio_ms) / 1000.0;
    c.dopo_s = (fine_ms - ultimo) / 1000.0;
}

QString ultime_parole(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll()).trimmed().split(QLatin1Char('\n')).last();
}

int conta_nell_archivio(const QString &indirizzo)
{
    Sessione s;
    QString errore;
    if (!s.connetti(indirizzo, errore))
        return -1;
    const RisultatoPg r = s.esegui(QStringLiteral("SELECT count(*) FROM m5_record"));
    return r.riuscito && !r.righe.isEmpty() ? r.righe[0][0].toInt() : -1;
}

QStringList argomenti_m5ctl(const QStringList &porte, const QString &profilo,
                            const QString &registro, const QString &archivio)
{
    QStringList a;
    for (const QString &p : porte)
        a << QStringLiteral("--port") << p;
    a << QStringLiteral("program") << QStringLiteral("--from") << profilo
      << QStringLiteral("--codici") << PIANO << QStringLiteral("--repeat")
      << QString::number(UNITA_PORTA) << QStringLiteral("--swap-silence")
      << QString::number(SILENZIO_MS / 1000.0) << QStringLiteral("--log") << registro;
    if (!archivio.isEmpty())
        a << QStringLiteral("--archivio") << archivio;
    return a;
}

QString file_errori(const QTemporaryDir &cartella, int k)
{
    return cartella.filePath(QStringLiteral("registro-%1.jsonl.err").arg(k + 1));
}

// PROCESSI m5ctl processes, porte of the simulators each, their standard
// error in the folder beside their logs.
std::vector<std::unique_ptr<Processo>>
avvia_processi(const std::vector<std::unique_ptr<SimulatoreTracciato>> &sim, int porte,
               const QTemporaryDir &cartella, const QString &archivio)
{
    const QString profilo = salva_profilo(cartella.path());
    std::vector<std::unique_ptr<Processo>> processi;
    for (int k = 0; k < PROCESSI; ++k) {
        QStringList mie;
        for (int i = 0; i < porte; ++i)
            mie << sim[static_cast<std::size_t>(k * porte + i)]->percorso();
        const QString registro = cartella.filePath(QStringLiteral("registro-%1.jsonl").arg(k + 1));
        const int errori = ::open(QFile::encodeName(file_errori(cartella, k)).constData(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        processi.push_back(std::make_unique<Processo>());
        const bool avviato = processi.back()->avvia(
            QStringLiteral(M5CTL_PATH), argomenti_m5ctl(mie, profilo, registro, archivio),
            {Processo::NULLO, Processo::NULLO, errori});
        ::close(errori);
        if (!avviato)
            fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5CTL_PATH)));
    }
    return processi;
}

// Each process that failed, or was ended at the run's limit, and its last words.
QStringList attendi_processi(std::vector<std::unique_ptr<Processo>> &processi,
                             Orologio::time_point inizio, const QTemporaryDir &cartella)
{
    QStringList errori;
    for (std::size_t k = 0; k < processi.size(); ++k) {
        Processo &p = *processi[k];
        if (!p.attendi(std::max(1, LIMITE_CORSA_MS - static_cast<int>(ms_da(inizio))))) {
            p.segnala(SIGTERM);
            p.attendi(-1);
        }
        if (p.fine().esito != 0 || p.fine().segnale != 0)
            errori << QStringLiteral("process %1: exit %2: %3")
                          .arg(k + 1)
                          .arg(p.fine().esito)
                          .arg(ultime_parole(file_errori(cartella, static_cast<int>(k))));
    }
    return errori;
}

// PROCESSI m5ctl processes, porte ports each, on the same plan: with the
// archive of database, or with this machine's store when it is empty.
Corsa corsa(ServerSuFilo &server, const std::vector<std::unique_ptr<SimulatoreTracciato>> &sim,
            int porte, const QString &database)
{
    QTemporaryDir cartella;
    qputenv("XDG_DATA_HOME", QFile::encodeName(cartella.filePath(QStringLiteral("dati"))));
    if (!database.isEmpty() && !server.nuovo_database(database))
        fallisci(QStringLiteral("cannot make database %1").arg(database));
    const QString archivio = database.isEmpty() ? QString() : server.indirizzo(database);
    Corsa c;
    const auto inizio = Orologio::now();
    const qint64 inizio_ms = QDateTime::currentMSecsSinceEpoch();
    auto processi = avvia_processi(sim, porte, cartella, archivio);
    c.errori = attendi_processi(processi, inizio, cartella);
    c.secondi = ms_da(inizio) / 1000;
    conta_registri(cartella, inizio_ms, QDateTime::currentMSecsSinceEpoch(), c);
    // The logs of a run that failed stay, to be read.
    if (!c.errori.isEmpty()) {
        cartella.setAutoRemove(false);
        c.errori << QStringLiteral("logs kept in %1").arg(cartella.path());
    }
    if (!archivio.isEmpty())
        c.nell_archivio = conta_nell_archivio(archivio);
    return c;
}

void stampa_corsa(int prova, const char *modo, const Corsa &c)
{
    std::printf("    run %d %-11s %6.2f s (before the first unit %.2f s, after the last %.2f s) "
                "%d units, %d OK",
                prova, modo, c.secondi, c.prima_s, c.dopo_s, c.unita, c.ok);
    if (c.nell_archivio >= 0)
        std::printf(", %d records in the archive", c.nell_archivio);
    std::printf("\n");
    for (const QString &e : c.errori)
        std::printf("      %s\n", qPrintable(e));
}

// The runs' median wall time, printed with their spread and the medians before and after the units.
double stampa_mediane(const char *modo, const std::vector<Corsa> &corse)
{
    QList<double> secondi;
    QList<double> prima;
    QList<double> dopo;
    for (const Corsa &c : corse) {
        secondi << c.secondi;
        prima << c.prima_s;
        dopo << c.dopo_s;
    }
    const double mediana = percentile(secondi, 0.5);
    std::printf("    median %-11s %6.2f s [%.2f-%.2f]; before the first unit %.2f s, after the "
                "last %.2f s\n",
                modo, mediana, percentile(secondi, 0), percentile(secondi, 1),
                percentile(prima, 0.5), percentile(dopo, 0.5));
    return mediana;
}

// Local and archive runs in turn, the first of each pair changing, so that a
// drift of the machine's load falls on both alike. True when within the goal.
bool processi_con_archivio(ServerSuFilo &server,
                           std::vector<std::unique_ptr<SimulatoreTracciato>> &sim, int porte)
{
    while (sim.size() < static_cast<std::size_t>(PROCESSI * porte)) {
        sim.push_back(std::make_unique<SimulatoreTracciato>(SIMULATORE, false));
        if (!sim.back()->avvia())
            fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5SIM_PATH)));
    }
    std::printf("  %d processes x %d ports (%d paced m5sim running), %d units a port:\n", PROCESSI,
                porte, static_cast<int>(sim.size()), UNITA_PORTA);
    std::vector<Corsa> locale;
    std::vector<Corsa> condiviso;
    bool complete = true;
    const int attese = PROCESSI * porte * UNITA_PORTA;
    for (int i = 0; i < PROVE; ++i) {
        for (int turno = 0; turno < 2; ++turno) {
            const bool con_archivio = (turno == 0) == (i % 2 == 1);
            const Corsa c = corsa(server, sim, porte,
                                  con_archivio ? QStringLiteral("corsa_%1_%2").arg(porte).arg(i + 1)
                                               : QString());
            stampa_corsa(i + 1, con_archivio ? "archive" : "local store", c);
            (con_archivio ? condiviso : locale).push_back(c);
            complete = complete && c.errori.isEmpty() && c.ok == attese &&
                       (!con_archivio || c.nell_archivio == attese);
        }
    }
    const double l = stampa_mediane("local store", locale);
    const double a = stampa_mediane("archive", condiviso);
    std::printf("    ratio archive / local store %.4f%s\n", a / l,
                complete ? "" : "  (A RUN FAILED OR LOST UNITS OR RECORDS)");
    return complete && a <= 1.02 * l;
}

void corse_parallele(ServerSuFilo &server)
{
    std::printf("Archive, processes at once: %d m5ctl program --codici %s --repeat %d\n"
                "  --swap-silence %.2f, one m5sim %s per port; wall time from\n"
                "  the first start until all have exited; each run's XDG_DATA_HOME fresh, and\n"
                "  with the archive a fresh database; %d runs of each, in turn\n",
                PROCESSI, qPrintable(PIANO), UNITA_PORTA, SILENZIO_MS / 1000.0,
                qPrintable(SIMULATORE.join(QLatin1Char(' '))), PROVE);
    std::vector<std::unique_ptr<SimulatoreTracciato>> sim;
    const bool piccola = processi_con_archivio(server, sim, 2);
    const bool grande = processi_con_archivio(server, sim, 8);
    std::printf("  goal archive <= 1.02 x local store: 4 x 2 ports %s, 4 x 8 ports %s\n\n",
                esito(piccola), esito(grande));
}

// The station's core on a thread of its own and its window shown offscreen,
// as m5stazione runs them, with a plan and the archive; a paced m5sim on each slot.
class StazioneArchiviata
{
public:
    explicit StazioneArchiviata(const QString &archivio)
        : m_banco(std::make_unique<Banco>(
              Banco::Identita{QStringLiteral("m5bench"), QStringLiteral("m5bench")},
              m_cartella.filePath(QStringLiteral("stazione.json"))))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_cartella.filePath(QStringLiteral("dati"))));
        m_banco->imposta_silenzio(SILENZIO_MS);
        m_banco->imposta_archivio(archivio);
    }
    ~StazioneArchiviata() { ferma(); }

    void avvia()
    {
        QList<PostoConfigurato> posti;
        for (int i = 0; i < POSTI_GELO; ++i) {
            const QString collegamento = m_cartella.filePath(QStringLiteral("p%1").arg(i + 1));
            m_sim.push_back(std::make_unique<SimulatoreTracciato>(
                QStringList{QStringLiteral("--link"), collegamento} + SIMULATORE, false));
            if (!m_sim.back()->avvia())
                fallisci(QStringLiteral("cannot start %1").arg(QStringLiteral(M5SIM_PATH)));
            posti.append({i + 1, collegamento});
        }
        const auto letto = file_unita::carica(salva_profilo(m_cartella.path()));
        QString errore;
        QString avviso;
        if (!std::holds_alternative<file_unita::Contenuto>(letto) ||
            !m_banco->apri_registro(m_cartella.filePath(QStringLiteral("registro.jsonl")), errore,
                                    avviso))
            fallisci(QStringLiteral("the station's log: %1").arg(errore));
        const Profilo profilo{std::get<file_unita::Contenuto>(letto), false, piano_intero(), PIANO};
        m_banco->imposta(profilo, posti);
        m_finestra = std::make_unique<FinestraStazione>(*m_banco, profilo, posti, true);
        m_finestra->resize(1920, 1080);
        m_finestra->show();
        collega();
        m_banco->moveToThread(&m_filo);
        m_filo.start();
        QMetaObject::invokeMethod(m_banco.get(), &Banco::avvia, Qt::QueuedConnection);
    }

    // Units in their dialogue are cut short; what was done goes to the archive first.
    void ferma()
    {
        if (!m_filo.isRunning())
            return;
        QEventLoop ciclo;
        QTimer::singleShot(Banco::CONSEGNA_FINALE_MS + 10'000, &ciclo, &QEventLoop::quit);
        QObject::connect(m_banco.get(), &Banco::concluso, &ciclo, &QEventLoop::quit);
        QMetaObject::invokeMethod(m_banco.get(), &Banco::interrompi, Qt::QueuedConnection);
        if (!m_concluso)
            ciclo.exec();
        QThread *qui = QThread::currentThread();
        QMetaObject::invokeMethod(
            m_banco.get(), [this, qui] { m_banco->moveToThread(qui); },
            Qt::BlockingQueuedConnection);
        m_filo.quit();
        m_filo.wait();
        m_finestra.reset();
        for (auto &s : m_sim)
            s->termina();
    }

    // When each unit ended, as the window heard it.
    const std::vector<Orologio::time_point> &fini() const { return m_fini; }
    const TotaliBanco &totali() const { return m_totali; }
    // Each time the totals changed, and what they said.
    const std::vector<std::pair<Orologio::time_point, TotaliBanco>> &storia() const
    {
        return m_archivio;
    }
    QString messaggio() const { return m_messaggio; }
    QString registro() const { return m_cartella.filePath(QStringLiteral("registro.jsonl")); }

private:
    void collega()
    {
        QObject::connect(m_banco.get(), &Banco::esito_posto, m_finestra.get(),
                         [this] { m_fini.push_back(Orologio::now()); });
        QObject::connect(m_banco.get(), &Banco::totali_cambiati, m_finestra.get(),
                         [this](const TotaliBanco &t) {
                             m_totali = t;
                             m_archivio.push_back({Orologio::now(), t});
                         });
        QObject::connect(m_banco.get(), &Banco::fermato, m_finestra.get(),
                         [this](const QString &m) { m_messaggio = m; });
        QObject::connect(m_banco.get(), &Banco::concluso, m_finestra.get(),
                         [this] { m_concluso = true; });
    }

    QTemporaryDir m_cartella;
    std::unique_ptr<Banco> m_banco;
    QThread m_filo;
    std::unique_ptr<FinestraStazione> m_finestra;
    std::vector<std::unique_ptr<SimulatoreTracciato>> m_sim;
    std::vector<Orologio::time_point> m_fini;
    TotaliBanco m_totali;
    std::vector<std::pair<Orologio::time_point, TotaliBanco>> m_archivio;
    QString m_messaggio;
    bool m_concluso = false;
};

// Runs this thread's event loop for ms, or until fatto() holds, checked every 50 ms.
void gira(
    int ms, const std::function<bool()> &fatto = [] { return false; })
{
    QEventLoop ciclo;
    QTimer limite;
    limite.setSingleShot(true);
    QObject::connect(&limite, &QTimer::timeout, &ciclo, &QEventLoop::quit);
    QTimer sguardo;
    QObject::connect(&sguardo, &QTimer::timeout, &ciclo, [&] {
        if (fatto())
            ciclo.quit();
    });
    limite.start(ms);
    sguardo.start(50);
    ciclo.exec();
}

using Tic = std::pair<Orologio::time_point, double>; // a tick of the timer, and its lateness in ms

struct Tratto
{
    QList<double> ritardi;
    int unita = 0; // units that ended within it
    double secondi = 0;
};

Tratto tratto(const std::vector<Tic> &tic, const std::vector<Orologio::time_point> &fini,
              Orologio::time_point da, Orologio::time_point a)
{
    Tratto t;
    t.secondi = std::chrono::duration<double>(a - da).count();
    for (const Tic &x : tic) {
        if (x.first > da && x.first <= a)
            t.ritardi << x.second;
    }
    t.unita = static_cast<int>(std::count_if(
        fini.begin(), fini.end(), [&](Orologio::time_point f) { return f > da && f <= a; }));
    return t;
}

void stampa_tratto(const char *nome, const Tratto &t)
{
    std::printf("  %-22s %5.1f s: %5lld ticks, lateness p99 %6.2f ms, max %6.2f ms; %3d units "
                "ended\n",
                nome, t.secondi, static_cast<long long>(t.ritardi.size()),
                percentile(t.ritardi, 0.99), percentile(t.ritardi, 1.0), t.unita);
}

int unita_nel_registro(const QString &registro)
{
    QFile f(registro);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    int n = 0;
    for (const QByteArray &riga : f.readAll().split('\n'))
        n += QJsonDocument::fromJson(riga).object().contains(QLatin1String("esito")) ? 1 : 0;
    return n;
}

// The window's timer while the station works: the ticks, and when each unit ended.
struct Gelo
{
    std::vector<Tic> tic;
    std::vector<Orologio::time_point> fini;
    Orologio::time_point inizio;
    Orologio::time_point fine;
    TotaliBanco totali; // as the window last heard them before the end
    std::vector<std::pair<Orologio::time_point, TotaliBanco>> storia;
    int registrate = 0;
    int nell_archivio = 0;
    QString messaggio;
};

Gelo lavora_e_congela(ServerSuFilo &server, const QString &indirizzo)
{
    Gelo g;
    StazioneArchiviata stazione(indirizzo);
    QTimer orologio;
    orologio.setTimerType(Qt::PreciseTimer);
    QObject::connect(&orologio, &QTimer::timeout, [&g] {
        const auto ora = Orologio::now();
        g.tic.emplace_back(
            ora,
            g.tic.empty()
                ? 0.0
                : std::chrono::duration<double, std::milli>(ora - g.tic.back().first).count() - 10);
    });
    stazione.avvia();
    g.inizio = Orologio::now();
    orologio.start(10);
    gira(PRIMA_S * 1000);
    server.congela_per(GELO_S * 1000);
    gira((GELO_S + 10) * 1000, [&] { return server.sciolto(); });
    if (!server.sciolto())
        fallisci(QStringLiteral("the server's stop did not end"));
    gira(DOPO_S * 1000);
    g.fine = Orologio::now();
    orologio.stop();
    g.totali = stazione.totali();
    g.fini = stazione.fini();
    g.storia = stazione.storia();
    stazione.ferma();
    g.messaggio = stazione.messaggio();
    g.registrate = unita_nel_registro(stazione.registro());
    g.nell_archivio = conta_nell_archivio(indirizzo);
    return g;
}

void server_gelato(ServerSuFilo &server)
{
    const QString database = QStringLiteral("stazione");
    if (!server.nuovo_database(database))
        fallisci(QStringLiteral("cannot make database %1").arg(database));
    const Gelo g = lavora_e_congela(server, server.indirizzo(database));
    std::printf("Archive, the server stopped: the station's core on its own thread and its\n"
                "  window (offscreen) in this process, %d slots, each an m5sim\n"
                "  %s, plan %s, the archive on; after %d s every process of the\n"
                "  server stopped (SIGSTOP) for %d s, then %d s more; a 10 ms precise timer\n"
                "  on the window's thread\n",
                POSTI_GELO, qPrintable(SIMULATORE.join(QLatin1Char(' '))), qPrintable(PIANO),
                PRIMA_S, GELO_S, DOPO_S);
    const Tratto gelo = tratto(g.tic, g.fini, server.inizio_gelo(), server.fine_gelo());
    stampa_tratto("before (start-up too)", tratto(g.tic, g.fini, g.inizio, server.inizio_gelo()));
    stampa_tratto("SERVER STOPPED", gelo);
    stampa_tratto("after", tratto(g.tic, g.fini, server.fine_gelo(), g.fine));
    bool offline = false;
    int in_attesa = 0;
    for (const auto &[quando, t] : g.storia) {
        if (quando > server.inizio_gelo() && quando <= server.fine_gelo()) {
            offline = offline || !t.archivio_connesso;
            in_attesa = std::max(in_attesa, t.archivio_in_attesa);
        }
    }
    std::printf("  while stopped the window showed the archive %s, up to %d record(s) waiting;\n"
                "  before the end: %s, %d waiting; after it, %d of the log's %d records in the "
                "archive%s%s\n",
                offline ? "offline" : "CONNECTED", in_attesa,
                g.totali.archivio_connesso ? "connected" : "OFFLINE", g.totali.archivio_in_attesa,
                g.nell_archivio, g.registrate,
                g.messaggio.isEmpty() ? "" : "; stopped: ", qPrintable(g.messaggio));
    const double massimo = percentile(gelo.ritardi, 1.0);
    std::printf("  goal lateness <= 50 ms while the server is stopped: max %.2f ms, p99 %.2f ms: "
                "%s%s\n\n",
                massimo, percentile(gelo.ritardi, 0.99), esito(massimo <= 50),
                server.congelato() ? "" : "  (THE SERVER WAS NOT ALL STOPPED)");
}
} // namespace

void misura_archivio()
{
    const QByteArray dati = qgetenv("XDG_DATA_HOME");
    ServerSuFilo server;
    QString errore;
    if (!server.avvia(errore))
        fallisci(errore);
    const QJsonObject riga = riga_di_m5ctl();
    costo_unita(server, riga);
    piano_intero_riservato(server, riga);
    corse_parallele(server);
    server_gelato(server);
    qputenv("XDG_DATA_HOME", dati);
}
