// SPDX-License-Identifier: GPL-3.0-or-later
#include "server_postgres.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <QtDebug>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int ATTESA_AVVIO_MS = 30000;
constexpr int ATTESA_PROGRAMMA_MS = 60000;
constexpr int ATTESA_SEGNALE_MS = 5000;

QString citato(const QString &valore)
{
    if (!valore.isEmpty() && !valore.contains(QLatin1Char(' ')) &&
        !valore.contains(QLatin1Char('\'')) && !valore.contains(QLatin1Char('\\')))
        return valore;
    QString fuori = valore;
    fuori.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    fuori.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + fuori + QLatin1Char('\'');
}

// The "pid (name) state ppid ..." of /proc/<pid>/stat from the state on; the name may hold
// anything.
QList<QByteArray> campi_stato(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray riga = stat.readAll();
    const qsizetype fine_nome = riga.lastIndexOf(')');
    return fine_nome < 0 ? QList<QByteArray>{} : riga.mid(fine_nome + 2).split(' ');
}

// 'T' stopped, 'Z' ended and not reaped yet, 0 gone.
char stato_di(pid_t pid)
{
    const QList<QByteArray> campi = campi_stato(pid);
    return campi.isEmpty() || campi.first().isEmpty() ? 0 : campi.first().at(0);
}

// A signal is delivered some time after kill(): wait until the process shows it.
bool attendi_stato(pid_t pid, bool fermo, const QDeadlineTimer &scadenza)
{
    for (;;) {
        const char stato = stato_di(pid);
        if (stato == 0 || stato == 'Z' || stato == 'X' || (stato == 'T') == fermo)
            return true;
        if (scadenza.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

// psql and pg_isready of the server's own version, else any.
QString programma(const QString &cartella, const QString &nome)
{
    const QString qui = cartella + QLatin1Char('/') + nome;
    return QFileInfo(qui).isExecutable() ? qui : QStandardPaths::findExecutable(nome);
}

} // namespace

ServerPostgres::ServerPostgres()
    : m_cartella(QDir::tempPath() + QStringLiteral("/m5pg-XXXXXX")),
      m_porta(5432 + int(getpid() % 1000))
{
}

ServerPostgres::~ServerPostgres()
{
    ferma();
}

QString ServerPostgres::cartella_programmi()
{
    QStringList candidate;
    const QString pg_config = QStandardPaths::findExecutable(QStringLiteral("pg_config"));
    if (!pg_config.isEmpty()) {
        QProcess p;
        p.start(pg_config, {QStringLiteral("--bindir")});
        if (p.waitForFinished(ATTESA_PROGRAMMA_MS) && p.exitStatus() == QProcess::NormalExit &&
            p.exitCode() == 0)
            candidate << QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    candidate << QStringLiteral("/usr/lib/postgresql/15/bin");
    for (const QString &c : std::as_const(candidate))
        if (QFileInfo(c + QStringLiteral("/initdb")).isExecutable() &&
            QFileInfo(c + QStringLiteral("/postgres")).isExecutable())
            return c;
    return {};
}

bool ServerPostgres::avvia(QString *errore)
{
    const auto fallisci = [errore](const QString &messaggio) {
        if (errore)
            *errore = messaggio;
        return false;
    };
    m_programmi = cartella_programmi();
    if (m_programmi.isEmpty())
        return fallisci(QStringLiteral("no PostgreSQL server programs (initdb, postgres) here"));
    if (!m_cartella.isValid())
        return fallisci(QStringLiteral("no temporary folder: ") + m_cartella.errorString());
    if (QFile::encodeName(m_cartella.filePath(QStringLiteral(".s.PGSQL.65535.lock"))).size() > 107)
        return fallisci(QStringLiteral("%1 is too long a path for a socket").arg(cartella()));
    if (geteuid() == 0) {
        const passwd *utente = getpwnam("postgres");
        if (!utente)
            return fallisci(QStringLiteral("initdb refuses root, and there is no postgres user"));
        m_altro_utente = true;
        m_uid = utente->pw_uid;
        m_gid = utente->pw_gid;
        m_superutente = QStringLiteral("postgres");
        if (chown(QFile::encodeName(cartella()).constData(), m_uid, m_gid) != 0)
            return fallisci(QStringLiteral("cannot hand %1 to postgres: %2")
                                .arg(cartella(), QString::fromLocal8Bit(strerror(errno))));
    } else {
        const passwd *utente = getpwuid(geteuid());
        m_superutente =
            utente ? QString::fromLocal8Bit(utente->pw_name) : qEnvironmentVariable("USER");
    }
    const QString dati = m_cartella.filePath(QStringLiteral("dati"));
    if (!esegui_programma(QStringLiteral("initdb"),
                          {QStringLiteral("-D"), dati, QStringLiteral("-U"), m_superutente,
                           QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                           QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                           QStringLiteral("--no-sync")},
                          errore))
        return false;
    // Rewritten in place, so that it stays the server's file.
    QFile accessi(dati + QStringLiteral("/pg_hba.conf"));
    if (!accessi.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fallisci(accessi.fileName() + QStringLiteral(": ") + accessi.errorString());
    accessi.write(QStringLiteral("local all \"%1\" trust\n"
                                 "local all +%2 scram-sha-256\n"
                                 "local all all trust\n")
                      .arg(m_superutente, QLatin1String(GRUPPO_PASSWORD))
                      .toUtf8());
    accessi.close();
    if (!avvia_postmaster(errore))
        return false;
    QString uscita;
    if (!sql(QStringLiteral("CREATE ROLE %1 NOLOGIN;").arg(QLatin1String(GRUPPO_PASSWORD)),
             &uscita))
        return fallisci(uscita);
    return true;
}

bool ServerPostgres::esegui_programma(const QString &nome, const QStringList &argomenti,
                                      QString *errore)
{
    QProcess processo;
    prepara(processo, true);
    processo.setProcessChannelMode(QProcess::MergedChannels);
    processo.start(m_programmi + QLatin1Char('/') + nome, argomenti);
    const bool finito = processo.waitForFinished(ATTESA_PROGRAMMA_MS);
    if (finito && processo.exitStatus() == QProcess::NormalExit && processo.exitCode() == 0)
        return true;
    QString perche;
    if (processo.error() == QProcess::FailedToStart) {
        perche = processo.errorString();
    } else if (!finito) {
        processo.kill();
        processo.waitForFinished();
        perche = QStringLiteral("no end within %1 s").arg(ATTESA_PROGRAMMA_MS / 1000);
    } else {
        perche = QString::fromLocal8Bit(processo.readAll()).trimmed();
    }
    if (errore)
        *errore = nome + QStringLiteral(" failed: ") + perche;
    return false;
}

// Programs start in the folder (root's own may be closed to postgres), with
// no PG* variable of the test's and in the C locale, so that messages are
// the same everywhere.
void ServerPostgres::prepara(QProcess &processo, bool come_proprietario) const
{
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    const QStringList nomi = ambiente.keys();
    for (const QString &nome : nomi)
        if (nome.startsWith(QLatin1String("PG")))
            ambiente.remove(nome);
    ambiente.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    processo.setProcessEnvironment(ambiente);
    processo.setWorkingDirectory(cartella());
    if (!come_proprietario)
        return;
    const bool altro = m_altro_utente;
    const uid_t uid = m_uid;
    const gid_t gid = m_gid;
    processo.setChildProcessModifier([altro, uid, gid] {
        if (altro && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(126);
        // A test that dies does not leave its server behind.
        prctl(PR_SET_PDEATHSIG, SIGQUIT);
    });
}

bool ServerPostgres::avvia_postmaster(QString *errore)
{
    prepara(m_postmaster, true);
    m_postmaster.setProcessChannelMode(QProcess::MergedChannels);
    m_postmaster.setStandardOutputFile(m_cartella.filePath(QStringLiteral("postgres.log")),
                                       QIODevice::Append);
    const QStringList impostazioni{
        QStringLiteral("listen_addresses="),
        QStringLiteral("unix_socket_directories=") + cartella(),
        QStringLiteral("fsync=off"),
        QStringLiteral("full_page_writes=off"),
        QStringLiteral("synchronous_commit=off"),
        QStringLiteral("shared_buffers=16MB"),
        QStringLiteral("max_connections=20"),
    };
    QStringList argomenti{QStringLiteral("-D"), m_cartella.filePath(QStringLiteral("dati")),
                          QStringLiteral("-p"), QString::number(m_porta)};
    for (const QString &i : impostazioni)
        argomenti << QStringLiteral("-c") << i;
    m_postmaster.start(m_programmi + QStringLiteral("/postgres"), argomenti);
    if (!m_postmaster.waitForStarted(ATTESA_AVVIO_MS)) {
        if (errore)
            *errore = QStringLiteral("postgres did not start: ") + m_postmaster.errorString();
        return false;
    }
    return attendi_pronto(errore);
}

bool ServerPostgres::attendi_pronto(QString *errore)
{
    const QString pg_isready = programma(m_programmi, QStringLiteral("pg_isready"));
    const QDeadlineTimer scadenza(ATTESA_AVVIO_MS);
    QString perche = QStringLiteral("not ready within %1 s").arg(ATTESA_AVVIO_MS / 1000);
    while (!scadenza.hasExpired()) {
        QProcess prova;
        prepara(prova, false);
        prova.start(pg_isready,
                    {QStringLiteral("-q"), QStringLiteral("-h"), cartella(), QStringLiteral("-p"),
                     QString::number(m_porta), QStringLiteral("-d"), QStringLiteral("postgres"),
                     QStringLiteral("-U"), m_superutente, QStringLiteral("-t"),
                     QStringLiteral("2")});
        if (prova.waitForFinished(10000) && prova.exitStatus() == QProcess::NormalExit &&
            prova.exitCode() == 0)
            return true;
        if (prova.error() == QProcess::FailedToStart) {
            perche = QStringLiteral("pg_isready: ") + prova.errorString();
            break;
        }
        if (prova.state() != QProcess::NotRunning) {
            prova.kill();
            prova.waitForFinished();
        }
        if (m_postmaster.state() == QProcess::NotRunning || m_postmaster.waitForFinished(50)) {
            perche = QStringLiteral("ended");
            break;
        }
    }
    if (errore)
        *errore = QStringLiteral("postgres %1: %2").arg(perche, coda_registro());
    return false;
}

// The server's last lines, for a message.
QString ServerPostgres::coda_registro() const
{
    QFile registro(m_cartella.filePath(QStringLiteral("postgres.log")));
    if (!registro.open(QIODevice::ReadOnly))
        return {};
    const QStringList righe =
        QString::fromLocal8Bit(registro.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return righe.mid(std::max<qsizetype>(0, righe.size() - 5)).join(QStringLiteral(" | "));
}

QString ServerPostgres::indirizzo(const QString &ruolo, const QString &database) const
{
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4")
        .arg(citato(cartella()), QString::number(m_porta), citato(database),
             citato(ruolo.isEmpty() ? m_superutente : ruolo));
}

bool ServerPostgres::sql(const QString &comandi, QString *uscita)
{
    QProcess psql;
    prepara(psql, false);
    psql.start(programma(m_programmi, QStringLiteral("psql")),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-d"), indirizzo(), QStringLiteral("-f"), QStringLiteral("-")});
    psql.write(comandi.toUtf8());
    psql.closeWriteChannel();
    const bool finito = psql.waitForFinished(ATTESA_PROGRAMMA_MS);
    const bool riuscito =
        finito && psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0;
    QString detto;
    if (riuscito) {
        detto = QString::fromUtf8(psql.readAllStandardOutput()).trimmed();
    } else if (psql.error() == QProcess::FailedToStart) {
        detto = QStringLiteral("psql: ") + psql.errorString();
    } else if (!finito) {
        psql.kill();
        psql.waitForFinished();
        detto = QStringLiteral("psql: no end within %1 s").arg(ATTESA_PROGRAMMA_MS / 1000);
    } else {
        detto = QString::fromUtf8(psql.readAllStandardError()).trimmed();
    }
    if (!riuscito)
        qWarning().noquote() << detto;
    if (uscita)
        *uscita = detto;
    return riuscito;
}

bool ServerPostgres::ferma()
{
    if (m_postmaster.state() == QProcess::NotRunning)
        return true;
    if (m_congelato)
        scongela();
    ::kill(pid_t(m_postmaster.processId()), SIGINT);
    if (m_postmaster.waitForFinished(ATTESA_AVVIO_MS))
        return true;
    qWarning("postgres did not stop within %d s: killed", ATTESA_AVVIO_MS / 1000);
    const QList<pid_t> tutti = processi();
    for (pid_t p : tutti)
        ::kill(p, SIGKILL);
    m_postmaster.waitForFinished(ATTESA_SEGNALE_MS);
    return false;
}

bool ServerPostgres::riavvia(QString *errore)
{
    if (!ferma()) {
        if (errore)
            *errore = QStringLiteral("postgres did not stop");
        return false;
    }
    return avvia_postmaster(errore);
}

// The postmaster, then its children: the postmaster
// stopped first starts no more of them while they are looked for.
bool ServerPostgres::segnala(int segnale, bool fermo)
{
    if (m_postmaster.state() == QProcess::NotRunning)
        return false;
    const QDeadlineTimer scadenza(ATTESA_SEGNALE_MS);
    const pid_t padre = pid_t(m_postmaster.processId());
    ::kill(padre, segnale);
    if (!attendi_stato(padre, fermo, scadenza))
        return false;
    const QList<pid_t> tutti = processi();
    for (pid_t p : tutti)
        ::kill(p, segnale);
    for (pid_t p : tutti)
        if (!attendi_stato(p, fermo, scadenza))
            return false;
    return true;
}

bool ServerPostgres::congela()
{
    m_congelato = true;
    return segnala(SIGSTOP, true);
}

bool ServerPostgres::scongela()
{
    m_congelato = false;
    return segnala(SIGCONT, false);
}

QList<pid_t> ServerPostgres::processi() const
{
    const pid_t padre = pid_t(m_postmaster.processId());
    QList<pid_t> tutti{padre};
    const QStringList voci = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &voce : voci) {
        bool numero = false;
        const pid_t pid = voce.toInt(&numero);
        if (!numero || pid == padre)
            continue;
        const QList<QByteArray> campi = campi_stato(pid);
        if (campi.size() > 1 && campi.at(1).toInt() == padre)
            tutti << pid;
    }
    return tutti;
}
