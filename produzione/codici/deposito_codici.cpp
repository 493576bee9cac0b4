// SPDX-License-Identifier: GPL-3.0-or-later
#include "deposito_codici.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QVariant>

namespace {
constexpr int VERSIONE = 1;

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
    const QString macchina = QSysInfo::machineHostName();
    if (registro.isEmpty() || registro == QLatin1String("-"))
        return macchina + QLatin1Char(':') + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray percorso = QFileInfo(registro).absoluteFilePath().toUtf8();
    return macchina + QLatin1Char(':') +
           QString::fromLatin1(
               QCryptographicHash::hash(percorso, QCryptographicHash::Sha256).toHex().left(16));
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
    // the disk, not just handed to the system, when it returns.
    if (!esegui(QStringLiteral("PRAGMA journal_mode=WAL"), errore) ||
        !esegui(QStringLiteral("PRAGMA synchronous=FULL"), errore))
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

// A code taken for a unit and never settled may be in the unit: spent.
bool DepositoCodici::riprendi(QString &errore)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE codici SET stato = 'speso', da_inviare = 1 WHERE archivio = ? "
                             "AND proprietario = ? AND stato = 'avviato'"));
    if (!esegui_con(q, {m_archivio, m_proprietario}, errore))
        return false;
    m_spesi_alla_ripresa = q.numRowsAffected();
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
    while (q.next()) {
        const QString stato = q.value(0).toString();
        const int n = q.value(1).toInt();
        c.totale += n;
        if (stato == QLatin1String("libero"))
            c.liberi = n;
        else if (stato == QLatin1String("riservato"))
            c.riservati = n;
        else if (stato == QLatin1String("avviato"))
            c.avviati = n;
        else if (stato == QLatin1String("dato"))
            c.dati = n;
        else if (stato == QLatin1String("speso"))
            c.spesi = n;
    }
    return c;
}

bool DepositoCodici::aggiungi_riserva(const QString &piano, const QList<Voce> &voci,
                                      qint64 scadenza_ms, QString &errore)
{
    Transazione t(m_db);
    if (!t.inizia(errore))
        return false;
    QSqlQuery q(m_db);
    // A code already journaled here keeps its state: only its lease is new.
    q.prepare(QStringLiteral(
        "INSERT INTO codici (archivio, piano, posizione, codice, stato, proprietario, scadenza) "
        "VALUES (?, ?, ?, ?, 'riservato', ?, ?) ON CONFLICT (archivio, piano, posizione) DO "
        "UPDATE SET scadenza = excluded.scadenza WHERE stato = 'riservato'"));
    for (const Voce &v : voci) {
        if (!esegui_con(q, {m_archivio, piano, v.posizione, v.codice, m_proprietario, scadenza_ms},
                        errore))
            return false;
    }
    return t.conferma(errore);
}
