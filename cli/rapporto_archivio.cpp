// SPDX-License-Identifier: GPL-3.0-or-later
#include "rapporto_archivio.h"

#include "connessione_pg.h"
#include "esiti.h"
#include "rapporto.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace rapporto_archivio {

namespace {
// The server sums up: however many records, a row per group comes back.
// GROUPING() tells a group's own NULL from the rows summed over it.
const char *const PER_GRUPPO =
    "SELECT GROUPING(stazione, posto, operatore), stazione, posto, operatore, count(*), "
    "count(*) FILTER (WHERE esito = 0), count(*) FILTER (WHERE esito NOT IN (0, 130)), "
    "count(*) FILTER (WHERE esito = 130) FROM m5_record "
    "GROUP BY GROUPING SETS ((stazione), (stazione, posto), (operatore), ()) "
    "ORDER BY 1, 2, 3, 4";
constexpr int SOLO_STAZIONE = 3;
constexpr int STAZIONE_E_POSTO = 1;
constexpr int SOLO_OPERATORE = 6;
constexpr int TUTTO = 7;

// A code taken for a unit and not settled is in a unit being written, or
// in one cut short: it is no longer free either way.
const char *const PER_PIANO =
    "WITH r AS (SELECT piano, count(*) AS unita, count(*) FILTER (WHERE esito = 0) AS ok, "
    "count(*) FILTER (WHERE esito NOT IN (0, 130)) AS fallite, "
    "count(*) FILTER (WHERE esito = 130) AS interrotte FROM m5_record "
    "WHERE piano IS NOT NULL GROUP BY piano), "
    "c AS (SELECT piano, count(*) FILTER (WHERE stato = 'dato') AS dati, "
    "count(*) FILTER (WHERE stato IN ('speso', 'avviato')) AS spesi, "
    "count(*) FILTER (WHERE stato = 'riservato') AS riservati, "
    "count(*) FILTER (WHERE stato = 'libero') AS liberi FROM m5_codici GROUP BY piano) "
    "SELECT coalesce(r.piano, c.piano), coalesce(r.unita, 0), coalesce(r.ok, 0), "
    "coalesce(r.fallite, 0), coalesce(r.interrotte, 0), c.dati, c.spesi, c.riservati, c.liberi "
    "FROM r FULL JOIN c ON c.piano = r.piano ORDER BY 1";

int numero(const QByteArray &testo)
{
    return static_cast<int>(testo.toLongLong());
}

// Units, OK, failed, interrupted from the column da on.
StatistichePorta figure_da(const QList<QByteArray> &riga, int da)
{
    StatistichePorta s;
    s.unita = numero(riga.at(da));
    s.ok = numero(riga.at(da + 1));
    s.fallite = numero(riga.at(da + 2));
    s.interrotte = numero(riga.at(da + 3));
    return s;
}

void per_gruppo(const RisultatoPg &r, Figure &f)
{
    for (const QList<QByteArray> &riga : r.righe) {
        Riga g;
        g.figure = figure_da(riga, 4);
        switch (numero(riga.at(0))) {
        case SOLO_STAZIONE:
            g.chiave = QString::fromUtf8(riga.at(1));
            f.stazioni << g;
            break;
        case STAZIONE_E_POSTO:
            g.chiave = QString::fromUtf8(riga.at(1));
            if (!riga.at(2).isNull())
                g.posto = numero(riga.at(2));
            f.posti << g;
            break;
        case SOLO_OPERATORE:
            g.chiave = QString::fromUtf8(riga.at(3));
            f.operatori << g;
            break;
        case TUTTO:
            f.totale = g;
            break;
        }
    }
}

void per_piano(const RisultatoPg &r, Figure &f)
{
    for (const QList<QByteArray> &riga : r.righe) {
        Riga p;
        p.chiave = QString::fromUtf8(riga.at(0));
        p.figure = figure_da(riga, 1);
        if (!riga.at(5).isNull())
            p.codici = Riga::Codici{riga.at(5).toLongLong(), riga.at(6).toLongLong(),
                                    riga.at(7).toLongLong(), riga.at(8).toLongLong()};
        f.piani << p;
    }
}

QString chiave(const QString &testo)
{
    return testo.isEmpty() ? QStringLiteral("-") : testo;
}

QStringList colonne(const StatistichePorta &s)
{
    return {QString::number(s.unita), QString::number(s.ok), QString::number(s.fallite),
            QString::number(s.interrotte), rapporto::resa(s.resa())};
}

QStringList colonne_codici(const std::optional<Riga::Codici> &c)
{
    if (!c)
        return {QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-")};
    return {QString::number(c->dati), QString::number(c->spesi), QString::number(c->riservati),
            QString::number(c->liberi)};
}

const QStringList FIGURE = {"UNITS", "OK", "FAILED", "INTERRUPTED", "YIELD"};

QString riga_csv(const QString &gruppo, const Riga &r)
{
    const StatistichePorta &s = r.figure;
    const auto resa = s.resa();
    QStringList campi = {gruppo,
                         rapporto::campo(r.chiave),
                         r.posto ? QString::number(*r.posto) : QString(),
                         QString::number(s.unita),
                         QString::number(s.ok),
                         QString::number(s.fallite),
                         QString::number(s.interrotte),
                         resa ? QString::number(*resa * 100, 'f', 1) : QString()};
    if (r.codici)
        campi << colonne_codici(r.codici);
    else
        campi << QString() << QString() << QString() << QString();
    return campi.join(QLatin1Char(',')) + QLatin1Char('\n');
}
} // namespace

std::variant<Figure, ErroreValore> leggi(const QString &indirizzo, int limite_ms)
{
    const QString nome =
        QStringLiteral("report --archivio %1: ").arg(ConnessionePg::senza_segreti(indirizzo));
    ConnessionePg pg;
    pg.imposta_limite_ms(limite_ms);
    QEventLoop ciclo;
    std::optional<ErroreValore> errore;
    const auto ferma = [&](int esito, const QString &motivo) {
        if (!errore)
            errore = ErroreValore{esito, nome + motivo};
        ciclo.quit();
    };
    QObject::connect(&pg, &ConnessionePg::persa, &ciclo, [&](const QString &motivo) {
        ferma(ConnessionePg::rifiuto_del_server(motivo) ? esiti::ARCHIVIO : esiti::PORTA, motivo);
    });
    QTimer limite;
    limite.setSingleShot(true);
    QObject::connect(&limite, &QTimer::timeout, &ciclo, [&] {
        ferma(esiti::PORTA,
              QStringLiteral("no answer from the archive within %1 s").arg(limite_ms / 1000.0));
    });

    Figure f;
    int risposte = 0;
    const auto risposta = [&](void (*leggi_righe)(const RisultatoPg &, Figure &)) {
        return [&, leggi_righe](const RisultatoPg &r) {
            // A connection lost is told by persa(); a statement refused, here.
            if (!r.riuscito) {
                if (pg.connessa())
                    ferma(esiti::ARCHIVIO, r.errore);
                return;
            }
            leggi_righe(r, f);
            if (++risposte == 2)
                ciclo.quit();
        };
    };
    pg.connetti(indirizzo);
    pg.esegui(QLatin1String(PER_GRUPPO), {}, risposta(per_gruppo));
    pg.esegui(QLatin1String(PER_PIANO), {}, risposta(per_piano));
    limite.start(limite_ms);
    ciclo.exec();
    if (errore)
        return *errore;
    return f;
}

QByteArray tabella(const Figure &f)
{
    QList<QStringList> stazioni = {QStringList{"STATION"} + FIGURE};
    for (const Riga &r : f.stazioni)
        stazioni.append(QStringList{chiave(r.chiave)} + colonne(r.figure));
    stazioni.append(QStringList{QStringLiteral("total")} + colonne(f.totale.figure));

    QList<QStringList> posti = {QStringList{"STATION", "SLOT"} + FIGURE};
    for (const Riga &r : f.posti)
        posti.append(QStringList{chiave(r.chiave),
                                 r.posto ? QString::number(*r.posto) : QStringLiteral("-")} +
                     colonne(r.figure));

    QList<QStringList> operatori = {QStringList{"OPERATOR"} + FIGURE};
    for (const Riga &r : f.operatori)
        operatori.append(QStringList{chiave(r.chiave)} + colonne(r.figure));

    QList<QStringList> piani = {QStringList{"PLAN"} + FIGURE +
                                QStringList{"GIVEN", "SPENT", "RESERVED", "FREE"}};
    for (const Riga &r : f.piani)
        piani.append(QStringList{r.chiave} + colonne(r.figure) + colonne_codici(r.codici));

    return rapporto::allinea(stazioni) + '\n' + rapporto::allinea(posti) + '\n' +
           rapporto::allinea(operatori) + '\n' + rapporto::allinea(piani);
}

QByteArray csv(const Figure &f)
{
    QString testo = QStringLiteral("gruppo,chiave,posto,unita,ok,fallite,interrotte,resa,dati,"
                                   "spesi,riservati,liberi\n");
    for (const Riga &r : f.stazioni)
        testo += riga_csv(QStringLiteral("stazione"), r);
    testo += riga_csv(QStringLiteral("totale"), f.totale);
    for (const Riga &r : f.posti)
        testo += riga_csv(QStringLiteral("posto"), r);
    for (const Riga &r : f.operatori)
        testo += riga_csv(QStringLiteral("operatore"), r);
    for (const Riga &r : f.piani)
        testo += riga_csv(QStringLiteral("piano"), r);
    return testo.toUtf8();
}

} // namespace rapporto_archivio
