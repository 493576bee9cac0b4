// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A connection to the shared PostgreSQL archive that never holds up its thread.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

struct pg_conn;
struct pg_result;

// What one statement gave back. A NULL value is a null QByteArray in righe
// and true in nulli; an empty text is an empty, non-null QByteArray.
struct RisultatoPg
{
    bool riuscito = false;
    QString errore;       // one line, the server's or libpq's; empty when riuscito
    QByteArray stato_sql; // SQLSTATE, "23505"; empty when there is none
    QList<QList<QByteArray>> righe;
    QList<QList<bool>> nulli;
    int modificate = 0; // rows a command touched
};

// libpq driven by the event loop: the connection is started and polled, each
// statement sent and its answer read, only when the socket is ready. One
// statement is on the wire at a time; the others wait in order. Answers and
// signals always come from the event loop, never from within a call.
class ConnessionePg : public QObject
{
    Q_OBJECT

public:
    explicit ConnessionePg(QObject *parent = nullptr);
    // Pending answers are dropped, not called.
    ~ConnessionePg() override;

    // A connection attempt or a statement that takes longer drops the connection, told by persa().
    void imposta_limite_ms(int ms);
    int limite_ms() const { return m_limite_ms; }

    // A libpq connection string, URL or key=value. Any connection open is
    // closed first. Statements given before connessa_ora() wait for it.
    void connetti(const QString &indirizzo);
    bool connessa() const { return m_fase == Fase::Pronta; }

    using Risposta = std::function<void(const RisultatoPg &)>;
    // Text parameters, $1 on; a null QByteArray is SQL NULL. Not connected,
    // nor connecting, or the connection lost before its answer: riuscito is false.
    void esegui(const QString &sql, const QList<QByteArray> &parametri, Risposta risposta);
    // Statements still waiting are answered with riuscito false; no persa().
    void chiudi();

    // host, port, dbname and user of a connection string, for messages:
    // never a password. Empty when the string cannot be read.
    static QString senza_segreti(const QString &indirizzo);
    // Why a connection string given on a command line or kept in a file
    // will not do: it cannot be read, or it holds a password, which belongs
    // in the password or service file. Empty when it will do.
    static QString rifiuto(const QString &indirizzo);
    // A reason of persa() that is the server's no to this role or database,
    // rather than a server away or one that will answer in a while.
    static bool rifiuto_del_server(const QString &motivo);

signals:
    void connessa_ora();
    // A connection that could not be made, was lost or timed out; one line, never a password.
    void persa(const QString &motivo);

private:
    enum class Fase { Chiusa, Risoluzione, Connessione, Pronta };
    struct Richiesta
    {
        QByteArray sql;
        QList<QByteArray> parametri;
        Risposta risposta;
    };
    // One host of the connection string, and the addresses its name was found at.
    struct Destinazione
    {
        QString host;
        QString porta;
        bool nome = false; // false: a Unix socket's folder, or libpq's default
        QStringList indirizzi;
        QString errore;
    };

    void risolvi();
    void risolto();
    void avvia_libpq(const QList<QByteArray> &chiavi, const QList<QByteArray> &valori);
    void passo_connessione();
    void pronta();
    void attendi_socket(bool lettura, bool scrittura);
    void leggibile();
    void scrivibile();
    bool invia_prossima();
    bool svuota();
    void leggi_risultati();
    bool completa();
    void accumula(pg_result *risultato);
    bool rispondi(const Risposta &risposta, const RisultatoPg &risultato);
    void rimanda_fallimento(Risposta risposta, const QString &motivo);
    QString motivo_perdita() const;
    void perdi(const QString &motivo);
    void lascia();

    pg_conn *m_pg = nullptr;
    Fase m_fase = Fase::Chiusa;
    // Changes whenever a connection is left: work queued for an older one is dropped.
    quint64 m_tentativo = 0;
    int m_limite_ms;
    QTimer m_limite;
    QSocketNotifier m_lettura;
    QSocketNotifier m_scrittura;
    int m_socket = -1;
    QByteArray m_indirizzo;
    QList<Destinazione> m_destinazioni;
    bool m_porte_per_host = false;
    int m_da_risolvere = 0;
    QList<Richiesta> m_coda;
    bool m_inviata = false; // the first of m_coda is on the wire
    RisultatoPg m_risultato;
    QString m_fatale; // a FATAL message the server sent while idle, before it went
};
