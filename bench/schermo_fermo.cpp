// SPDX-License-Identifier: GPL-3.0-or-later
#include "schermo_fermo.h"
#include "misure_stazione.h"
#include "percentile.h"

#include "simulatore_tracciato.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {
constexpr int POSTI = 2;
constexpr int FERMO_S = 8;
constexpr int UNITA_PRIMA = 2 * POSTI; // in the log before the stop
constexpr int UNITA_DOPO = 2 * POSTI;  // ended after it
constexpr int ATTESA_MS = 120'000;

struct Dialogo
{
    QDateTime inizio;
    QDateTime fine;
    double durata_s = 0;
};

// The good units of the log.
std::vector<Dialogo> dialoghi(const QString &registro)
{
    std::vector<Dialogo> d;
    QFile f(registro);
    if (!f.open(QIODevice::ReadOnly))
        return d;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(riga).object();
        if (!o.contains(QLatin1String("unita")) || o.value(QLatin1String("esito")).toInt() != 0)
            continue;
        const QDateTime fine =
            QDateTime::fromString(o.value(QLatin1String("ora")).toString(), Qt::ISODateWithMs);
        const double durata = o.value(QLatin1String("durata_s")).toDouble();
        d.push_back({fine.addMSecs(-static_cast<qint64>(durata * 1000)), fine, durata});
    }
    return d;
}

// Polls the log until condizione holds or ms pass: this process only waits.
template <typename C> bool attendi_registro(const QString &registro, C condizione, int ms)
{
    for (int t = 0; t < ms; t += 200) {
        if (condizione(dialoghi(registro)))
            return true;
        QThread::msleep(200);
    }
    return false;
}

// Xvfb on a display of its own choosing; its number, empty when none.
QString avvia_xvfb(QProcess &x)
{
    x.start(QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("1366x768x24"), QStringLiteral("-nolisten"),
             QStringLiteral("tcp")});
    if (!x.waitForStarted() || !x.waitForReadyRead(10'000))
        return QString();
    return QString::fromLatin1(x.readLine().trimmed());
}

// One paced simulator per slot at a link of its own, and the --slot options for them.
bool avvia_simulatori(const QTemporaryDir &d,
                      std::vector<std::unique_ptr<SimulatoreTracciato>> &sim,
                      QStringList &argomenti)
{
    for (int i = 0; i < POSTI; ++i) {
        const QString presa = d.filePath(QStringLiteral("p%1").arg(i + 1));
        sim.push_back(std::make_unique<SimulatoreTracciato>(
            QStringList{QStringLiteral("--baud"), QStringLiteral("2400"),
                        QStringLiteral("--swap-ms"), QStringLiteral("2500"),
                        QStringLiteral("--link"), presa},
            false));
        if (!sim.back()->avvia())
            return false;
        argomenti << QStringLiteral("--slot") << QStringLiteral("%1=%2").arg(i + 1).arg(presa);
    }
    return true;
}

// The X server stopped for FERMO_S, then going on: when it stopped and when it went on.
std::pair<QDateTime, QDateTime> ferma_schermo(qint64 pid)
{
    const QDateTime fermo = QDateTime::currentDateTimeUtc();
    ::kill(static_cast<pid_t>(pid), SIGSTOP);
    QThread::sleep(FERMO_S);
    ::kill(static_cast<pid_t>(pid), SIGCONT);
    return {fermo, QDateTime::currentDateTimeUtc()};
}

// m5stazione on the display, its configuration and data in d.
void avvia_su_schermo(QProcess &stazione, const QTemporaryDir &d, const QString &schermo,
                      const QStringList &argomenti)
{
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + schermo);
    ambiente.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    ambiente.insert(QStringLiteral("XDG_CONFIG_HOME"), d.filePath(QStringLiteral("config")));
    ambiente.insert(QStringLiteral("XDG_DATA_HOME"), d.filePath(QStringLiteral("data")));
    stazione.setProcessEnvironment(ambiente);
    stazione.setStandardOutputFile(QProcess::nullDevice());
    stazione.setStandardErrorFile(QProcess::nullDevice());
    stazione.start(QStringLiteral(M5STAZIONE_PATH), argomenti);
}

void riporta(const std::vector<Dialogo> &tutti, const QDateTime &fermo, const QDateTime &ripreso)
{
    QList<double> liberi;
    QList<double> toccati;
    for (const Dialogo &d : tutti)
        (d.inizio < ripreso && d.fine > fermo ? toccati : liberi).append(d.durata_s);
    if (liberi.isEmpty() || toccati.isEmpty()) {
        std::printf("  no unit overlapped the stop, or none was without it: nothing measured\n\n");
        return;
    }
    const double mediana = percentile(liberi, 0.5);
    const double peggiore = *std::max_element(toccati.begin(), toccati.end());
    const double rapporto = peggiore / mediana;
    std::printf("  %lld units without the stop: durata_s median %.3f s\n"
                "  %lld units whose dialogue overlapped it: worst %.3f s = %.3f x\n"
                "  goal <= 1.05 x: %s\n\n",
                static_cast<long long>(liberi.size()), mediana,
                static_cast<long long>(toccati.size()), peggiore, rapporto,
                rapporto <= 1.05 ? "met" : "MISSED");
}
} // namespace

void misura_schermo_fermo()
{
    std::printf("Display stopped: m5stazione on Xvfb, %d paced slots (2400 baud, swaps of "
                "2.5 s),\n  the X server stopped (SIGSTOP) for %d s while they work\n",
                POSTI, FERMO_S);
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        std::printf("  skipped: no Xvfb (Debian's xvfb)\n\n");
        return;
    }
    QTemporaryDir d;
    const QString profilo = salva_profilo(d.path());
    if (profilo.isEmpty())
        return;
    QProcess x;
    const QString schermo = avvia_xvfb(x);
    if (schermo.isEmpty()) {
        std::printf("  skipped: Xvfb did not start\n\n");
        return;
    }
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QStringList argomenti{QStringLiteral("--from"), profilo, QStringLiteral("--log"), registro,
                          QStringLiteral("--mute")};
    std::vector<std::unique_ptr<SimulatoreTracciato>> sim;
    if (!avvia_simulatori(d, sim, argomenti))
        return;
    QProcess stazione;
    avvia_su_schermo(stazione, d, schermo, argomenti);
    const bool prima =
        stazione.waitForStarted() &&
        attendi_registro(
            registro, [](const auto &v) { return v.size() >= UNITA_PRIMA; }, ATTESA_MS);
    const std::pair<QDateTime, QDateTime> fermata = ferma_schermo(x.processId());
    const QDateTime &fermo = fermata.first;
    const QDateTime &ripreso = fermata.second;
    const bool dopo = prima && attendi_registro(
                                   registro,
                                   [&](const auto &v) {
                                       return std::count_if(v.begin(), v.end(), [&](const auto &u) {
                                                  return u.inizio > ripreso;
                                              }) >= UNITA_DOPO;
                                   },
                                   ATTESA_MS);
    stazione.terminate();
    stazione.waitForFinished(10'000);
    x.terminate();
    x.waitForFinished(5000);
    if (!dopo) {
        std::printf("  the station did not log its units in time: nothing measured\n\n");
        return;
    }
    riporta(dialoghi(registro), fermo, ripreso);
}
