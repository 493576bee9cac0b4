// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A PostgreSQL server of a test's own: a new cluster in a temporary folder, on a Unix socket only.

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// initdb and postgres run as the user running the test, or, for root (whom
// initdb refuses), as the postgres user of Debian's packages, the folder
// handed to it. The superuser, trusted on the socket, is then postgres or the
// test's user. Roles that are members of GRUPPO_PASSWORD must give their
// password (SCRAM); any other role is trusted, so that what a test sees is
// the server's own word on the role. No TCP port is opened.
class ServerPostgres
{
public:
    static constexpr const char *GRUPPO_PASSWORD = "con_password";

    ServerPostgres();
    // Stops the server, thawed first, and removes the folder.
    ~ServerPostgres();
    ServerPostgres(const ServerPostgres &) = delete;
    ServerPostgres &operator=(const ServerPostgres &) = delete;

    // The folder of initdb and postgres; empty when this machine has none.
    static QString cartella_programmi();

    // A new cluster, started, ready for connections within 30 s.
    bool avvia(QString *errore);
    // A key=value connection string; ruolo empty: the superuser.
    QString indirizzo(const QString &ruolo = {},
                      const QString &database = QStringLiteral("postgres")) const;
    QString superutente() const { return m_superutente; }
    // Where the socket is, its name given by the port.
    QString cartella() const { return m_cartella.path(); }
    int porta() const { return m_porta; }

    // SQL run by psql as the superuser, stopping at the first error; passed on
    // its standard input, never on a command line. uscita: what it printed,
    // unaligned, tuples only ("a|b" a row); on failure its error.
    bool sql(const QString &comandi, QString *uscita = nullptr);

    // A fast shutdown: clients are cut off; waits for the server to end.
    bool ferma();
    // The same cluster on the same socket.
    bool riavvia(QString *errore = nullptr);
    // The server and every process of it stopped (SIGSTOP): connections stay
    // open and go unanswered. scongela() lets them go on.
    bool congela();
    bool scongela();

private:
    bool avvia_postmaster(QString *errore);
    bool attendi_pronto(QString *errore);
    bool esegui_programma(const QString &nome, const QStringList &argomenti, QString *errore);
    void prepara(QProcess &processo, bool come_proprietario) const;
    QString coda_registro() const;
    QList<pid_t> processi() const;
    bool segnala(int segnale, bool fermo);

    QTemporaryDir m_cartella;
    QString m_programmi;
    QString m_superutente;
    int m_porta;
    bool m_altro_utente = false; // root: the programs run as the postgres user
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    QProcess m_postmaster;
    bool m_congelato = false;
};
