// SPDX-License-Identifier: GPL-3.0-or-later
#include "deposito_codici.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QVariant>

#include <cerrno>
#include <signal.h>

namespace {
constexpr int VERSIONE = 1;
constexpr int ATTESA_MODO_MS = 15000;

const char *const SCHEMA[] = {
    "CREATE TABLE IF NOT EXISTS versione (numero INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS codici ("
    " archivio TEXT NOT NULL, piano TEXT NOT NULL, posizione INTEGER NOT NULL,"
    " codice INTEGER NOT NULL, stato TEXT NOT NULL, proprietario TEXT, posto TEXT,"
    " scadenza INTEGER, record TEXT, cambiato INTEGER, da_inviare INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY (archivio, piano, posizione))",
    "CREATE INDEX IF NOT EXISTS codici_stato ON codici (archivio, piano, stato, posizione)",
    "CREATE TABLE IF NOT EXISTS uscita (numero INTEGER PRIMARY KEY AUTOINCREMENT,"
    " archivio TEXT NOT NULL, id TEXT NOT NULL UNIQUE, riga BLOB NOT NULL)",
};

QString motivo(const QSqlQuery &q)
{
    return q.lastError().text();
}

// By position: a prepared statement run again takes its values afresh.
bool esegui_con(QSqlQuery &q, std::initializer_list<QVariant> valori, QString &errore)
{
    int i = 0;
    for (const QVariant &v : valori)
        q.bindValue(i++, v);
    if (q.exec())
        return true;
    errore = motivo(q);
    return false;
}

// Rolls back whatever was not committed when it goes out of scope.
class Transazione
{
public:
    explicit Transazione(QSqlDatabase &db) : m_db(db) {}
    ~Transazione()
    {
        if (m_aperta)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    }
    // IMMEDIATE: the write lock now, so two processes never both read a code as free.
    bool inizia(QString &errore)
    {
        QSqlQuery q(m_db);
        m_aperta = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!m_aperta)
            errore = motivo(q);
        return m_aperta;
    }
    bool conferma(QString &errore)
    {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("COMMIT"))) {
            errore = motivo(q);
            return false;
        }
        m_aperta = false;
        return true;
    }

private:
    QSqlDatabase &m_db;
    bool m_aperta = false;
};

QString nome_stato(DepositoCodici::Saldo saldo, bool archivio)
{
    switch (saldo) {
    case DepositoCodici::Saldo::Dato:
        return QStringLiteral("dato");
    case DepositoCodici::Saldo::Speso:
        return QStringLiteral("speso");
    case DepositoCodici::Saldo::Restituito:
        break;
    }
    // A code returned to a reserve stays this process's own.
    return archivio ? QStringLiteral("riservato") : QStringLiteral("libero");
}
} // namespace

QString DepositoCodici::percorso_predefinito()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/m5config/codici.sqlite");
}

QString DepositoCodici::proprietario_per(const QString &registro)
{
    QString radice = QSysInfo::machineHostName() + QLatin1Char(':');
    if (registro.isEmpty() || registro == QLatin1String("-")) {
        radice += QUuid::createUuid().toString(QUuid::WithoutBraces);
    } else {
        const QByteArray percorso = QFileInfo(registro).absoluteFilePath().toUtf8();
        radice += QString::fromLatin1(
            QCryptographicHash::hash(percorso, QCryptographicHash::Sha256).toHex().left(16));
    }
    // Several processes may append to one log at once: the PID tells them
    // apart, and which of them are gone.
    return radice + QLatin1Char(':') + QString::number(QCoreApplication::applicationPid());
}

std::variant<std::unique_ptr<DepositoCodici>, QString>
DepositoCodici::apri(const QString &percorso, const QString &archivio, const QString &proprietario)
{
    std::unique_ptr<DepositoCodici> d(new DepositoCodici);
    d->m_percorso = percorso;
    d->m_locale = archivio.isEmpty();
    d->m_archivio = d->m_locale ? QStringLiteral("locale") : archivio;
    d->m_proprietario = proprietario;
    d->m_nome_connessione =
        QStringLiteral("deposito-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkpath(QFileInfo(percorso).absolutePath()))
        return QStringLiteral("cannot make the folder %1").arg(QFileInfo(percorso).absolutePath());
    d->m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d->m_nome_connessione);
    // Another process may hold the write lock for a moment: wait for it.
    d->m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000"));
    d->m_db.setDatabaseName(percorso);
    if (!d->m_db.open())
        return d->m_db.lastError().text();
    QString errore;
    if (!d->prepara(errore) || !d->riprendi(errore))
        return errore;
    return d;
}

DepositoCodici::~DepositoCodici()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_nome_connessione);
}

bool DepositoCodici::esegui(const QString &sql, QString &errore)
{
    QSqlQuery q(m_db);
    if (q.exec(sql))
        return true;
    errore = motivo(q);
    return false;
}

bool DepositoCodici::prepara(QString &errore)
{
    // WAL lets readers go on while a process writes; FULL: a commit is on
    // the disk, not just handed to the system, when it returns. The mode
    // stays with the file: only its first opening sets it, and another
    // process opening it then may find it locked a moment, beyond the wait
    // SQLite gives a busy file.
    QElapsedTimer attesa;
    attesa.start();
    while (true) {
        QSqlQuery modo(m_db);
        if (modo.exec(QStringLiteral("PRAGMA journal_mode")) && modo.next() &&
            modo.value(0).toString() == QLatin1String("wal"))
            break;
        modo.finish();
        if (esegui(QStringLiteral("PRAGMA journal_mode=WAL"), errore))
            break;
        if (attesa.elapsed() > ATTESA_MODO_MS)
            return false;
        QThread::msleep(50);
    }
    if (!esegui(QStringLiteral("PRAGMA synchronous=FULL"), errore))
        return false;
    Transazione t(m_db);
    if (!t.inizia(errore))
        return false;
    for (const char *sql : SCHEMA) {
        if (!esegui(QLatin1String(sql), errore))
            return false;
    }
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT max(numero) FROM versione"))) {
        errore = motivo(q);
        return false;
    }
    const int versione = q.next() ? q.value(0).toInt() : 0;
    q.finish();
    if (versione > VERSIONE) {
        errore = QStringLiteral("made by a newer version (schema %1; this one knows %2)")
                     .arg(versione)
                     .arg(VERSIONE);
        return false;
    }
    if (versione < VERSIONE &&
        !esegui(QStringLiteral("INSERT INTO versione VALUES (%1)").arg(VERSIONE), errore))
        return false;
    return t.conferma(errore);
}

// A code taken for a unit and never settled, by a process on the same log
// that is no longer running, may be in the unit: spent. One that is still
// running settles its own codes.
bool DepositoCodici::riprendi(QString &errore)
{
    const qsizetype fine_radice = m_proprietario.lastIndexOf(QLatin1Char(':')) + 1;
    const QString radice = m_proprietario.left(fine_radice);
    QSqlQuery q(m_db);
    q.prepare(
        QStringLiteral("SELECT DISTINCT proprietario FROM codici WHERE archivio = ? AND "
                       "stato IN ('avviato', 'riservato') AND substr(proprietario, 1, ?) = ?"));
    if (!esegui_con(q, {m_archivio, static_cast<int>(radice.size()), radice}, errore))
        return false;
    QStringList morti;
    while (q.next()) {
        const QString altro = q.value(0).toString();
        bool numero = false;
        const auto pid = static_cast<pid_t>(altro.mid(fine_radice).toLongLong(&numero));
        // This one has taken nothing yet: its own PID on record was a dead process's.
        const bool vivo =
            numero && pid > 0 && altro != m_proprietario && (::kill(pid, 0) == 0 || errno == EPERM);
        if (!vivo)
            morti << altro;
    }
    q.finish();
    QSqlQuery u(m_db);
    // cambiato tells the archive's courier whether a change it sent was the last.
    u.prepare(QStringLiteral("UPDATE codici SET stato = 'speso', da_inviare = 1, cambiato = ? "
                             "WHERE archivio = ? AND proprietario = ? AND stato = 'avviato'"));
    // Its reserve goes back to the plan, now rather than when its lease ends.
    QSqlQuery r(m_db);
    r.prepare(QStringLiteral("UPDATE codici SET stato = 'libero', da_inviare = 1, cambiato = ? "
                             "WHERE archivio = ? AND proprietario = ? AND stato = 'riservato'"));
    for (const QString &altro : std::as_const(morti)) {
        const qint64 adesso = QDateTime::currentMSecsSinceEpoch();
        if (!esegui_con(u, {adesso, m_archivio, altro}, errore))
            return false;
        // SQLite counts the changes of the connection's last statement.
        m_spesi_alla_ripresa += u.numRowsAffected();
        if (!esegui_con(r, {adesso, m_archivio, altro}, errore))
            return false;
    }
    return true;
}

bool DepositoCodici::registra(const PianoCodici &piano, QString &errore)
{
    Transazione t(m_db);
    if (!t.inizia(errore))
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO codici (archivio, piano, posizione, codice, "
                             "stato) VALUES (?, ?, ?, ?, 'libero')"));
    const QString impronta = piano.impronta();
    for (qsizetype i = 0; i < piano.codici().size(); ++i) {
        if (!esegui_con(q, {m_archivio, impronta, static_cast<int>(i), piano.codici().at(i)},
                        errore))
            return false;
    }
    return t.conferma(errore);
}

std::optional<int> DepositoCodici::prendi(const QString &piano, const QString &posto,
                                          qint64 adesso_ms, QString &errore)
{
    Transazione t(m_db);
    if (!t.inizia(errore))
        return std::nullopt;
    QSqlQuery q(m_db);
    bool letto = false;
    if (m_locale) {
        q.prepare(QStringLiteral("SELECT posizione, codice FROM codici WHERE archivio = ? AND "
                                 "piano = ? AND stato = 'libero' ORDER BY posizione LIMIT 1"));
        letto = esegui_con(q, {m_archivio, piano}, errore);
    } else {
        q.prepare(QStringLiteral("SELECT posizione, codice FROM codici WHERE archivio = ? AND "
                                 "piano = ? AND stato = 'riservato' AND proprietario = ? AND "
                                 "scadenza > ? ORDER BY posizione LIMIT 1"));
        letto = esegui_con(q, {m_archivio, piano, m_proprietario, adesso_ms}, errore);
    }
    if (!letto || !q.next())
        return std::nullopt;
    const int posizione = q.value(0).toInt();
    const int codice = q.value(1).toInt();
    q.finish();
    QSqlQuery u(m_db);
    u.prepare(QStringLiteral("UPDATE codici SET stato = 'avviato', proprietario = ?, posto = ?, "
                             "cambiato = ?, da_inviare = 1 WHERE archivio = ? AND piano = ? AND "
                             "posizione = ?"));
    if (!esegui_con(u, {m_proprietario, posto, adesso_ms, m_archivio, piano, posizione}, errore))
        return std::nullopt;
    if (!t.conferma(errore))
        return std::nullopt;
    return codice;
}

bool DepositoCodici::salda(const QString &piano, int codice, Saldo saldo, const QUuid &id,
                           const QByteArray &riga, QString &errore)
{
    Transazione t(m_db);
    if (!t.inizia(errore))
        return false;
    const bool restituito = saldo == Saldo::Restituito;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE codici SET stato = ?, record = ?, cambiato = ?, da_inviare = 1"
                             "%1 WHERE archivio = ? AND piano = ? AND codice = ? AND "
                             "stato = 'avviato' AND proprietario = ?")
                  .arg(restituito && m_locale
                           ? QStringLiteral(", proprietario = NULL, posto = NULL")
                           : QString()));
    if (!esegui_con(q,
                    {nome_stato(saldo, !m_locale),
                     restituito ? QVariant() : QVariant(id.toString(QUuid::WithoutBraces)),
                     QDateTime::currentMSecsSinceEpoch(), m_archivio, piano, codice,
                     m_proprietario},
                    errore))
        return false;
    if (q.numRowsAffected() != 1) {
        errore = QStringLiteral("code %1 of plan %2 was not taken by this process")
                     .arg(codice)
                     .arg(piano);
        return false;
    }
    if (!riga.isEmpty() && !accoda(id, riga, errore))
        return false;
    return t.conferma(errore);
}

bool DepositoCodici::accoda(const QUuid &id, const QByteArray &riga, QString &errore)
{
    if (m_locale)
        return true;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO uscita (archivio, id, riga) VALUES (?, ?, ?)"));
    return esegui_con(q, {m_archivio, id.toString(QUuid::WithoutBraces), riga}, errore);
}

DepositoCodici::Conti DepositoCodici::conti(const QString &piano) const
{
    Conti c;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT stato, count(*) FROM codici WHERE archivio = ? AND piano = ? GROUP BY stato"));
    QString errore;
    if (!esegui_con(q, {m_archivio, piano}, errore))
        return c;
    while (q.next())
        aggiungi_conto(c, q.value(0).toString(), q.value(1).toInt());
    return c;
}

void DepositoCodici::aggiungi_conto(Conti &c, const QString &stato, int n)
{
    c.totale += n;
    if (stato == QLatin1String("libero"))
        c.liberi += n;
    else if (stato == QLatin1String("riservato"))
        c.riservati += n;
    else if (stato == QLatin1String("avviato"))
        c.avviati += n;
    else if (stato == QLatin1String("dato"))
        c.dati += n;
    else if (stato == QLatin1String("speso"))
        c.spesi += n;
}

bool DepositoCodici::aggiungi_riserva(const QString &piano, const QList<Voce> &voci,
                                      qint64 scadenza_ms, QString &errore)
{
    Transazione t(m_db);
    if (!t.inizia(errore))
        return false;
    QSqlQuery q(m_db);
    // A code that this machine gave back, and the archive gives again, is
    // reserved afresh; one it took keeps its state.
    q.prepare(QStringLiteral(
        "INSERT INTO codici (archivio, piano, posizione, codice, stato, proprietario, scadenza) "
        "VALUES (?, ?, ?, ?, 'riservato', ?, ?) ON CONFLICT (archivio, piano, posizione) DO "
        "UPDATE SET stato = 'riservato', proprietario = excluded.proprietario, scadenza = "
        "excluded.scadenza WHERE codici.stato IN ('riservato', 'libero') AND "
        "codici.da_inviare = 0"));
    for (const Voce &v : voci) {
        if (!esegui_con(q, {m_archivio, piano, v.posizione, v.codice, m_proprietario, scadenza_ms},
                        errore))
            return false;
    }
    return t.conferma(errore);
}

QList<DepositoCodici::Cambio> DepositoCodici::cambi_da_inviare(int quanti, QString &errore) const
{
    QList<Cambio> cambi;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT piano, posizione, stato, record, proprietario, cambiato FROM "
                             "codici WHERE archivio = ? AND da_inviare = 1 ORDER BY cambiato "
                             "LIMIT ?"));
    if (!esegui_con(q, {m_archivio, quanti}, errore))
        return cambi;
    while (q.next())
        cambi.append({q.value(0).toString(), q.value(1).toInt(), q.value(2).toString(),
                      q.value(3).isNull() ? QString() : q.value(3).toString(),
                      q.value(4).toString(), q.value(5).toLongLong()});
    return cambi;
}

bool DepositoCodici::inviati(const QList<Cambio> &cambi, QString &errore)
{
    Transazione t(m_db);
    if (!t.inizia(errore))
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE codici SET da_inviare = 0 WHERE archivio = ? AND piano = ? "
                             "AND posizione = ? AND stato = ? AND cambiato IS ?"));
    for (const Cambio &c : cambi) {
        if (!esegui_con(q, {m_archivio, c.piano, c.posizione, c.stato, c.cambiato}, errore))
            return false;
    }
    return t.conferma(errore);
}

QList<DepositoCodici::Uscita> DepositoCodici::da_consegnare(int quanti, QString &errore) const
{
    QList<Uscita> uscita;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT numero, riga FROM uscita WHERE archivio = ? ORDER BY numero LIMIT ?"));
    if (!esegui_con(q, {m_archivio, quanti}, errore))
        return uscita;
    while (q.next())
        uscita.append({q.value(0).toLongLong(), q.value(1).toByteArray()});
    return uscita;
}

bool DepositoCodici::consegnati(qint64 fino_a, QString &errore)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM uscita WHERE archivio = ? AND numero <= ?"));
    return esegui_con(q, {m_archivio, fino_a}, errore);
}

int DepositoCodici::in_attesa() const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM uscita WHERE archivio = ?"));
    QString errore;
    return esegui_con(q, {m_archivio}, errore) && q.next() ? q.value(0).toInt() : 0;
}

int DepositoCodici::riserva(const QString &piano, qint64 adesso_ms) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM codici WHERE archivio = ? AND piano = ? AND "
                             "stato = 'riservato' AND proprietario = ? AND scadenza > ?"));
    QString errore;
    return esegui_con(q, {m_archivio, piano, m_proprietario, adesso_ms}, errore) && q.next()
               ? q.value(0).toInt()
               : 0;
}

bool DepositoCodici::rinnova_riserva(const QString &piano, qint64 scadenza_ms, QString &errore)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE codici SET scadenza = ? WHERE archivio = ? AND piano = ? AND "
                             "stato = 'riservato' AND proprietario = ?"));
    return esegui_con(q, {scadenza_ms, m_archivio, piano, m_proprietario}, errore);
}

bool DepositoCodici::togli_riserva(const QString &piano, QString &errore)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM codici WHERE archivio = ? AND piano = ? AND "
                             "stato = 'riservato' AND proprietario = ? AND da_inviare = 0"));
    return esegui_con(q, {m_archivio, piano, m_proprietario}, errore);
}
