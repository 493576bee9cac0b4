// SPDX-License-Identifier: GPL-3.0-or-later
#include "rapporto_grande.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
constexpr int RECORD = 1'000'000;
constexpr int POSTI = 16;
constexpr double SECONDI_MASSIMI = 10;
constexpr double MB_MASSIMI = 50;

// A station's record as m5stazione writes it: both blocks of cells, the
// station's fields; one unit in twenty failed.
QByteArray riga(int n)
{
    static const QByteArray celle =
        "[0,2,6,96,0,136,1,0,1,1,0,30,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,"
        "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,235,85]";
    const int posto = n % POSTI + 1;
    const bool fallita = n % 20 == 7;
    const qint64 secondi = 1'796'000'000LL + n / POSTI * 5;
    QByteArray r = "{\"ora\":\"";
    r += QDateTime::fromSecsSinceEpoch(secondi, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1();
    r += "\",\"porta\":\"/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + QByteArray::number(posto) +
         ":1.0-port0\",\"comando\":\"program\",\"unita\":" + QByteArray::number(n / POSTI + 1) +
         ",\"esito\":" + (fallita ? "4" : "0") + ",\"messaggio\":\"" +
         (fallita ? "\\\"Errore TIME OUT   \\\": no answer" : "OK") +
         "\",\"celle_prima\":" + celle +
         ",\"celle_dopo\":" + (fallita ? QByteArray("null") : celle) +
         ",\"durata_s\":2.7,\"attesa_s\":1.2,\"stazione\":\"banco-3\",\"posto\":" +
         QByteArray::number(posto) +
         ",\"presa\":\"/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + QByteArray::number(posto) +
         ":1.0-port0\",\"profilo\":\"0ec308c5\",\"operatore\":\"anna\"}\n";
    return r;
}

bool scrivi_registro(const QString &percorso)
{
    QFile f(percorso);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray blocco;
    for (int n = 0; n < RECORD; ++n) {
        blocco += riga(n);
        if (blocco.size() >= 1 << 20) {
            if (f.write(blocco) != blocco.size())
                return false;
            blocco.clear();
        }
    }
    return f.write(blocco) == blocco.size() && f.flush();
}

struct Corsa
{
    bool riuscita = false;
    double secondi = 0;
    double mb = 0; // the child's peak resident set
};

const char *esito(bool entro)
{
    return entro ? "met" : "MISSED";
}

// m5ctl report on the log, stdout to /dev/null; its own peak from wait4.
Corsa corri(const QString &registro, bool csv)
{
    Corsa c;
    const QByteArray percorso = QFile::encodeName(registro);
    std::vector<char *> argv{const_cast<char *>(M5CTL_PATH), const_cast<char *>("report"),
                             const_cast<char *>(percorso.constData())};
    if (csv)
        argv.push_back(const_cast<char *>("--csv"));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t azioni;
    posix_spawn_file_actions_init(&azioni);
    posix_spawn_file_actions_addopen(&azioni, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer tempo;
    tempo.start();
    pid_t pid = 0;
    const int errore = posix_spawn(&pid, M5CTL_PATH, &azioni, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&azioni);
    if (errore != 0)
        return c;
    int stato = 0;
    rusage uso{};
    if (::wait4(pid, &stato, 0, &uso) != pid)
        return c;
    c.secondi = tempo.nsecsElapsed() / 1e9;
    c.mb = uso.ru_maxrss / 1024.0;
    c.riuscita = WIFEXITED(stato) && WEXITSTATUS(stato) == 0;
    return c;
}
} // namespace

void misura_rapporto()
{
    std::printf("m5ctl report on a station's log of %d records (%d slots, both blocks of\n"
                "  cells in each), stdout to /dev/null; the peak resident set from wait4\n",
                RECORD, POSTI);
    QTemporaryDir d;
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    if (!d.isValid() || !scrivi_registro(registro)) {
        std::printf("  the log could not be written in %s\n\n", qPrintable(d.path()));
        return;
    }
    std::printf("  the log: %.0f MB\n", QFileInfo(registro).size() / 1e6);
    const Corsa figure = corri(registro, false);
    std::printf("  report (the figures): %.2f s, peak %.1f MB%s\n", figure.secondi, figure.mb,
                figure.riuscita ? "" : " (FAILED)");
    std::printf(
        "  goal <= %.0f s and <= %.0f MB: %s\n", SECONDI_MASSIMI, MB_MASSIMI,
        esito(figure.riuscita && figure.secondi <= SECONDI_MASSIMI && figure.mb <= MB_MASSIMI));
    // Every record decoded and written out: more work, the same bound on memory.
    const Corsa csv = corri(registro, true);
    std::printf("  report --csv: %.2f s, peak %.1f MB%s\n", csv.secondi, csv.mb,
                csv.riuscita ? "" : " (FAILED)");
    std::printf("  goal <= %.0f MB: %s\n\n", MB_MASSIMI,
                esito(csv.riuscita && csv.mb <= MB_MASSIMI));
}
