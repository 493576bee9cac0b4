// SPDX-License-Identifier: GPL-3.0-or-later
#include "connessione_pg.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>

#include <libpq-fe.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int LIMITE_PREDEFINITO_MS = 5000;

// The lines of a libpq message that say what happened, one line: several
// hosts tried give a line each; the indented lines are only hints.
QString una_riga(const char *messaggio)
{
    QStringList righe;
    const QStringList tutte =
        QString::fromUtf8(messaggio).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &riga : tutte)
        if (!riga.front().isSpace())
            righe << riga.simplified();
    return righe.join(QStringLiteral("; "));
}

// libpq quotes the piece of a connection string it could not read, and that
// piece may be a password or the whole string: only option names and single
// marks ("=", "]") stay.
QString senza_citazioni(const QString &messaggio)
{
    static const QSet<QString> nomi = [] {
        QSet<QString> n;
        PQconninfoOption *opzioni = PQconndefaults();
        for (const PQconninfoOption *o = opzioni; o && o->keyword; ++o)
            n.insert(QString::fromUtf8(o->keyword));
        PQconninfoFree(opzioni);
        return n;
    }();
    static const QRegularExpression citazione(QStringLiteral("\"([^\"]*)\"?"));
    QString fuori;
    qsizetype da = 0;
    for (auto i = citazione.globalMatch(messaggio); i.hasNext();) {
        const QRegularExpressionMatch m = i.next();
        fuori += messaggio.mid(da, m.capturedStart() - da);
        const QString pezzo = m.captured(1);
        const bool segno = pezzo.size() == 1 && !pezzo.front().isLetterOrNumber();
        fuori += segno || nomi.contains(pezzo) ? m.captured(0) : QStringLiteral("\"…\"");
        da = m.capturedEnd();
    }
    return fuori + messaggio.mid(da);
}

QString valore_di(const PQconninfoOption *opzioni, const char *chiave)
{
    for (const PQconninfoOption *o = opzioni; o && o->keyword; ++o)
        if (qstrcmp(o->keyword, chiave) == 0)
            return o->val ? QString::fromUtf8(o->val) : QString();
    return {};
}

// A value as a key=value connection string writes it.
QString citato(const QString &valore)
{
    static const QRegularExpression speciali(QStringLiteral("[\\s'\\\\]"));
    if (!valore.isEmpty() && !valore.contains(speciali))
        return valore;
    QString fuori = valore;
    fuori.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    fuori.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + fuori + QLatin1Char('\'');
}

} // namespace

ConnessionePg::ConnessionePg(QObject *parent)
    : QObject(parent), m_limite_ms(LIMITE_PREDEFINITO_MS), m_limite(this),
      m_lettura(QSocketNotifier::Read, this), m_scrittura(QSocketNotifier::Write, this)
{
    m_limite.setSingleShot(true);
    m_limite.setTimerType(Qt::PreciseTimer);
    connect(&m_limite, &QTimer::timeout, this, [this] {
        perdi(QStringLiteral("no answer from the archive within %1 s")
                  .arg(QString::number(m_limite.interval() / 1000.0)));
    });
    connect(&m_lettura, &QSocketNotifier::activated, this, &ConnessionePg::leggibile);
    connect(&m_scrittura, &QSocketNotifier::activated, this, &ConnessionePg::scrivibile);
}

ConnessionePg::~ConnessionePg()
{
    lascia();
}

void ConnessionePg::imposta_limite_ms(int ms)
{
    m_limite_ms = std::max(1, ms);
}

void ConnessionePg::connetti(const QString &indirizzo)
{
    chiudi();
    const quint64 tentativo = m_tentativo;
    const QByteArray testo = indirizzo.toUtf8();
    char *errore = nullptr;
    PQconninfoOption *opzioni = PQconninfoParse(testo.constData(), &errore);
    if (!opzioni) {
        const QString motivo =
            errore ? senza_citazioni(una_riga(errore)) : QStringLiteral("out of memory");
        PQfreemem(errore);
        QTimer::singleShot(0, this, [this, tentativo, motivo] {
            if (tentativo == m_tentativo)
                emit persa(motivo);
        });
        return;
    }
    // Host names are looked up here, not by libpq, whose lookup would block.
    PQconninfoOption *predefinite = PQconndefaults();
    const auto valore = [&](const char *chiave) {
        const QString v = valore_di(opzioni, chiave);
        return v.isEmpty() ? valore_di(predefinite, chiave) : v;
    };
    const QStringList host = valore("host").split(QLatin1Char(','));
    const QStringList porte = valore("port").split(QLatin1Char(','));
    const bool con_indirizzi = !valore("hostaddr").isEmpty();
    PQconninfoFree(predefinite);
    PQconninfoFree(opzioni);

    m_indirizzo = testo;
    m_porte_per_host = porte.size() > 1;
    // Ports that do not match the hosts are libpq's to refuse.
    if (!con_indirizzi && (!m_porte_per_host || porte.size() == host.size())) {
        for (int i = 0; i < host.size(); ++i) {
            Destinazione d;
            d.host = host.at(i);
            d.porta = m_porte_per_host ? porte.at(i) : QString();
            d.nome = !d.host.isEmpty() && !d.host.startsWith(QLatin1Char('/')) &&
                     !d.host.startsWith(QLatin1Char('@'));
            m_destinazioni << d;
        }
    }
    m_fase = Fase::Risoluzione;
    m_limite.start(m_limite_ms);
    QTimer::singleShot(0, this, [this, tentativo] {
        if (tentativo == m_tentativo)
            risolvi();
    });
}

void ConnessionePg::risolvi()
{
    m_da_risolvere = int(std::count_if(m_destinazioni.cbegin(), m_destinazioni.cend(),
                                       [](const Destinazione &d) { return d.nome; }));
    if (m_da_risolvere == 0) {
        avvia_libpq({}, {});
        return;
    }
    const quint64 tentativo = m_tentativo;
    for (int i = 0; i < m_destinazioni.size() && tentativo == m_tentativo; ++i) {
        if (!m_destinazioni.at(i).nome)
            continue;
        QHostInfo::lookupHost(m_destinazioni.at(i).host, this,
                              [this, tentativo, i](const QHostInfo &trovato) {
                                  if (tentativo != m_tentativo)
                                      return;
                                  Destinazione &d = m_destinazioni[i];
                                  for (const QHostAddress &a : trovato.addresses())
                                      d.indirizzi << a.toString();
                                  if (d.indirizzi.isEmpty())
                                      d.errore = QStringLiteral("could not translate host name "
                                                                "\"%1\" to address: %2")
                                                     .arg(d.host, trovato.errorString());
                                  if (--m_da_risolvere == 0)
                                      risolto();
                              });
    }
}

// Each address of a name becomes a host of its own for libpq, tried in turn.
void ConnessionePg::risolto()
{
    QStringList host, indirizzi, porte, errori;
    for (const Destinazione &d : std::as_const(m_destinazioni)) {
        if (!d.errore.isEmpty())
            errori << d.errore;
        const QStringList tutti = d.nome ? d.indirizzi : QStringList{QString()};
        for (const QString &a : tutti) {
            host << d.host;
            indirizzi << a;
            porte << d.porta;
        }
    }
    if (host.isEmpty()) {
        perdi(errori.join(QStringLiteral("; ")));
        return;
    }
    QList<QByteArray> chiavi{"host", "hostaddr"};
    QList<QByteArray> valori{host.join(QLatin1Char(',')).toUtf8(),
                             indirizzi.join(QLatin1Char(',')).toUtf8()};
    if (m_porte_per_host) {
        chiavi << "port";
        valori << porte.join(QLatin1Char(',')).toUtf8();
    }
    avvia_libpq(chiavi, valori);
}

void ConnessionePg::avvia_libpq(const QList<QByteArray> &chiavi_host,
                                const QList<QByteArray> &valori_host)
{
    // libpq heeds connect_timeout only in its blocking calls; m_limite bounds this one.
    // Before dbname, the connection string may set its own; after it, what must hold.
    QList<QByteArray> chiavi{"connect_timeout", "fallback_application_name", "dbname",
                             "client_encoding"};
    QList<QByteArray> valori{QByteArray::number(std::max(2, (m_limite_ms + 999) / 1000)),
                             QCoreApplication::applicationName().toUtf8(), m_indirizzo, "UTF8"};
    chiavi += chiavi_host;
    valori += valori_host;
    std::vector<const char *> k, v;
    for (int i = 0; i < chiavi.size(); ++i) {
        k.push_back(chiavi.at(i).constData());
        v.push_back(valori.at(i).constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    m_pg = PQconnectStartParams(k.data(), v.data(), 1);
    if (!m_pg) {
        perdi(QStringLiteral("out of memory"));
        return;
    }
    PQsetNoticeReceiver(
        m_pg,
        [](void *arg, const PGresult *avviso) {
            const char *gravita = PQresultErrorField(avviso, PG_DIAG_SEVERITY_NONLOCALIZED);
            if (qstrcmp(gravita, "FATAL") == 0 || qstrcmp(gravita, "PANIC") == 0)
                static_cast<ConnessionePg *>(arg)->m_fatale =
                    QString::fromUtf8(PQresultErrorField(avviso, PG_DIAG_MESSAGE_PRIMARY))
                        .simplified();
        },
        this);
    if (PQstatus(m_pg) == CONNECTION_BAD) {
        perdi(motivo_perdita());
        return;
    }
    m_fase = Fase::Connessione;
    attendi_socket(false, true);
}

void ConnessionePg::passo_connessione()
{
    switch (PQconnectPoll(m_pg)) {
    case PGRES_POLLING_OK:
        pronta();
        break;
    case PGRES_POLLING_READING:
        attendi_socket(true, false);
        break;
    case PGRES_POLLING_WRITING:
        attendi_socket(false, true);
        break;
    case PGRES_POLLING_ACTIVE:
        attendi_socket(true, true);
        break;
    case PGRES_POLLING_FAILED:
        perdi(motivo_perdita());
        break;
    }
}

void ConnessionePg::pronta()
{
    m_limite.stop();
    if (PQsetnonblocking(m_pg, 1) != 0) {
        perdi(motivo_perdita());
        return;
    }
    m_fase = Fase::Pronta;
    attendi_socket(true, false);
    const quint64 tentativo = m_tentativo;
    const QPointer<ConnessionePg> vivo(this);
    emit connessa_ora();
    if (vivo && tentativo == m_tentativo)
        invia_prossima();
}

// libpq may move to another socket while connecting: another host, another try.
void ConnessionePg::attendi_socket(bool lettura, bool scrittura)
{
    const int socket = PQsocket(m_pg);
    if (socket != m_socket) {
        m_lettura.setEnabled(false);
        m_scrittura.setEnabled(false);
        m_socket = socket;
        if (socket < 0)
            return; // nothing to wait on: m_limite ends it
        m_lettura.setSocket(socket);
        m_scrittura.setSocket(socket);
    }
    if (m_socket < 0)
        return;
    m_lettura.setEnabled(lettura);
    m_scrittura.setEnabled(scrittura);
}

void ConnessionePg::leggibile()
{
    if (m_fase == Fase::Connessione)
        passo_connessione();
    else if (m_fase == Fase::Pronta)
        leggi_risultati();
}

void ConnessionePg::scrivibile()
{
    if (m_fase == Fase::Connessione)
        passo_connessione();
    else if (m_fase == Fase::Pronta)
        svuota();
}

void ConnessionePg::esegui(const QString &sql, const QList<QByteArray> &parametri,
                           Risposta risposta)
{
    if (m_fase == Fase::Chiusa) {
        rimanda_fallimento(std::move(risposta), QStringLiteral("not connected to the archive"));
        return;
    }
    m_coda.append({sql.toUtf8(), parametri, std::move(risposta)});
    if (m_fase == Fase::Pronta)
        QMetaObject::invokeMethod(this, &ConnessionePg::invia_prossima, Qt::QueuedConnection);
}

// False when the connection was left meanwhile, or this object is gone.
bool ConnessionePg::invia_prossima()
{
    while (m_fase == Fase::Pronta && !m_inviata && !m_coda.isEmpty()) {
        const Richiesta &prossima = m_coda.constFirst();
        std::vector<const char *> valori;
        for (const QByteArray &p : prossima.parametri)
            valori.push_back(p.isNull() ? nullptr : p.constData());
        if (PQsendQueryParams(m_pg, prossima.sql.constData(), int(valori.size()), nullptr,
                              valori.data(), nullptr, nullptr, 0)) {
            m_inviata = true;
            m_limite.start(m_limite_ms);
            return svuota();
        }
        if (PQstatus(m_pg) == CONNECTION_BAD) {
            perdi(motivo_perdita());
            return false;
        }
        const Richiesta rifiutata = m_coda.takeFirst();
        RisultatoPg esito;
        esito.errore = una_riga(PQerrorMessage(m_pg));
        if (!rispondi(rifiutata.risposta, esito))
            return false;
    }
    return true;
}

bool ConnessionePg::svuota()
{
    const int esito = PQflush(m_pg);
    if (esito < 0) {
        perdi(motivo_perdita());
        return false;
    }
    m_scrittura.setEnabled(esito == 1);
    return true;
}

void ConnessionePg::leggi_risultati()
{
    if (!PQconsumeInput(m_pg)) {
        perdi(motivo_perdita());
        return;
    }
    // A statement not all written yet may wait for the server to read what it sent.
    if (m_scrittura.isEnabled() && !svuota())
        return;
    while (m_inviata && !PQisBusy(m_pg)) {
        PGresult *risultato = PQgetResult(m_pg);
        if (!risultato) {
            if (!completa())
                return;
            continue;
        }
        const ExecStatusType stato = PQresultStatus(risultato);
        const bool copia =
            stato == PGRES_COPY_IN || stato == PGRES_COPY_OUT || stato == PGRES_COPY_BOTH;
        if (!copia)
            accumula(risultato);
        PQclear(risultato);
        if (copia) {
            perdi(QStringLiteral("COPY is not carried by this connection"));
            return;
        }
    }
    // Also reads what came unasked, as a server's last word before it goes.
    while (PGnotify *n = PQnotifies(m_pg))
        PQfreemem(n);
    if (PQstatus(m_pg) == CONNECTION_BAD)
        perdi(motivo_perdita());
}

bool ConnessionePg::completa()
{
    m_limite.stop();
    m_inviata = false;
    const Richiesta fatta = m_coda.takeFirst();
    const RisultatoPg risultato = std::exchange(m_risultato, RisultatoPg{});
    return rispondi(fatta.risposta, risultato) && invia_prossima();
}

void ConnessionePg::accumula(pg_result *risultato)
{
    if (!m_risultato.errore.isEmpty())
        return; // the first error stands
    const ExecStatusType stato = PQresultStatus(risultato);
    if (stato != PGRES_COMMAND_OK && stato != PGRES_TUPLES_OK && stato != PGRES_EMPTY_QUERY) {
        m_risultato = RisultatoPg{};
        const char *primario = PQresultErrorField(risultato, PG_DIAG_MESSAGE_PRIMARY);
        m_risultato.errore = primario ? QString::fromUtf8(primario).simplified()
                                      : una_riga(PQresultErrorMessage(risultato));
        if (m_risultato.errore.isEmpty())
            m_risultato.errore = QString::fromUtf8(PQresStatus(stato));
        m_risultato.stato_sql = QByteArray(PQresultErrorField(risultato, PG_DIAG_SQLSTATE));
        return;
    }
    m_risultato.riuscito = true;
    m_risultato.modificate = QByteArray(PQcmdTuples(risultato)).toInt();
    const int righe = PQntuples(risultato);
    const int colonne = PQnfields(risultato);
    for (int r = 0; r < righe; ++r) {
        QList<QByteArray> valori;
        QList<bool> nulli;
        for (int c = 0; c < colonne; ++c) {
            const bool nullo = PQgetisnull(risultato, r, c);
            nulli << nullo;
            valori << (nullo
                           ? QByteArray()
                           : QByteArray(PQgetvalue(risultato, r, c), PQgetlength(risultato, r, c)));
        }
        m_risultato.righe << valori;
        m_risultato.nulli << nulli;
    }
}

// False when the answer left the connection, or this object is gone.
bool ConnessionePg::rispondi(const Risposta &risposta, const RisultatoPg &risultato)
{
    if (!risposta)
        return true;
    const QPointer<ConnessionePg> vivo(this);
    const quint64 tentativo = m_tentativo;
    risposta(risultato);
    return vivo && tentativo == m_tentativo;
}

void ConnessionePg::rimanda_fallimento(Risposta risposta, const QString &motivo)
{
    if (!risposta)
        return;
    RisultatoPg esito;
    esito.errore = motivo;
    QTimer::singleShot(0, this, [risposta = std::move(risposta), esito] { risposta(esito); });
}

QString ConnessionePg::motivo_perdita() const
{
    if (!m_fatale.isEmpty())
        return m_fatale;
    if (m_inviata && !m_risultato.errore.isEmpty())
        return m_risultato.errore;
    const QString motivo = m_pg ? una_riga(PQerrorMessage(m_pg)) : QString();
    return motivo.isEmpty() ? QStringLiteral("the connection to the archive was lost") : motivo;
}

void ConnessionePg::perdi(const QString &motivo)
{
    lascia();
    const QList<Richiesta> sospese = std::exchange(m_coda, {});
    const QPointer<ConnessionePg> vivo(this);
    emit persa(motivo);
    RisultatoPg esito;
    esito.errore = motivo;
    for (const Richiesta &r : sospese) {
        if (!vivo)
            return;
        if (r.risposta)
            r.risposta(esito);
    }
}

void ConnessionePg::chiudi()
{
    lascia();
    const QList<Richiesta> sospese = std::exchange(m_coda, {});
    for (const Richiesta &r : sospese)
        rimanda_fallimento(r.risposta, QStringLiteral("the connection to the archive was closed"));
}

void ConnessionePg::lascia()
{
    ++m_tentativo;
    m_limite.stop();
    if (m_socket >= 0) {
        m_lettura.setEnabled(false);
        m_scrittura.setEnabled(false);
    }
    m_socket = -1;
    if (m_pg) {
        PQfinish(m_pg);
        m_pg = nullptr;
    }
    m_fase = Fase::Chiusa;
    m_inviata = false;
    m_risultato = RisultatoPg{};
    m_fatale.clear();
    m_destinazioni.clear();
}

namespace {
// libpq's own reading of the string, as it will connect with it; null when
// it cannot read it. Its message is not kept: it may quote the string.
using Opzioni = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;
Opzioni leggi_indirizzo(const QString &indirizzo)
{
    char *messaggio = nullptr;
    Opzioni o(PQconninfoParse(indirizzo.toUtf8().constData(), &messaggio), &PQconninfoFree);
    PQfreemem(messaggio);
    return o;
}

bool con_password(const QString &indirizzo, int profondita = 0)
{
    const Opzioni o = leggi_indirizzo(indirizzo);
    for (const PQconninfoOption *v = o.get(); v && v->keyword; ++v) {
        if (!v->val)
            continue;
        const QString chiave = QString::fromLatin1(v->keyword);
        if (chiave == QLatin1String("password"))
            return true;
        // libpq reads a dbname that is itself a connection string as one.
        const QString valore = QString::fromUtf8(v->val);
        if (chiave == QLatin1String("dbname") && profondita == 0 &&
            (valore.contains(QLatin1Char('=')) ||
             valore.startsWith(QLatin1String("postgresql://")) ||
             valore.startsWith(QLatin1String("postgres://"))) &&
            con_password(valore, 1))
            return true;
    }
    return false;
}
} // namespace

QString ConnessionePg::rifiuto(const QString &indirizzo)
{
    if (!leggi_indirizzo(indirizzo))
        return QStringLiteral("not a connection string that libpq reads; give \"host=HOST "
                              "dbname=NAME user=USER\" or postgresql://USER@HOST/NAME");
    if (con_password(indirizzo))
        return QStringLiteral("the string holds a password; keep it in ~/.pgpass or a service "
                              "file (PGPASSFILE, PGSERVICEFILE)");
    return QString();
}

bool ConnessionePg::rifiuto_del_server(const QString &motivo)
{
    if (!motivo.contains(QLatin1String("FATAL")))
        return false;
    for (const char *passeggero : {"starting up", "shutting down", "recovery", "too many",
                                   "not yet accepting", "administrator command"}) {
        if (motivo.contains(QLatin1String(passeggero)))
            return false;
    }
    return true;
}

QString ConnessionePg::senza_segreti(const QString &indirizzo)
{
    char *errore = nullptr;
    PQconninfoOption *opzioni = PQconninfoParse(indirizzo.toUtf8().constData(), &errore);
    PQfreemem(errore);
    if (!opzioni)
        return {};
    QStringList parti;
    for (const char *chiave : {"host", "port", "dbname", "user"}) {
        const QString valore = valore_di(opzioni, chiave);
        if (valore.isEmpty())
            continue;
        // A dbname that is itself a connection string may hold a password.
        if (qstrcmp(chiave, "dbname") == 0 &&
            (valore.contains(QLatin1Char('=')) || valore.contains(QLatin1String("://"))))
            continue;
        parti << QLatin1String(chiave) + QLatin1Char('=') + citato(valore);
    }
    PQconninfoFree(opzioni);
    return parti.join(QLatin1Char(' '));
}
