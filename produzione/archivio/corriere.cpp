// SPDX-License-Identifier: GPL-3.0-or-later
#include "corriere.h"

#include "istruzioni_archivio.h"

#include "lettura_registro.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
constexpr int CAMBI_PER_GIRO = 500;
constexpr int RECORD_PER_GIRO = 200;
constexpr int LOTTI_PER_GIRO = 20;
constexpr int PAUSA_MS = 1000;
constexpr int CONTO_MS = 2000;

// A PostgreSQL array literal of texts; a null QString is NULL.
QByteArray vettore(const QStringList &valori)
{
    QByteArray testo = "{";
    for (qsizetype i = 0; i < valori.size(); ++i) {
        if (i > 0)
            testo += ',';
        if (valori.at(i).isNull()) {
            testo += "NULL";
            continue;
        }
        QByteArray v = valori.at(i).toUtf8();
        v.replace('\\', "\\\\").replace('"', "\\\"");
        testo += '"' + v + '"';
    }
    return testo + '}';
}

QByteArray numero(qint64 n)
{
    return QByteArray::number(n);
}

QString primo_testo(const RisultatoPg &r)
{
    return r.righe.isEmpty() || r.righe.first().isEmpty() || r.nulli.first().first()
               ? QString()
               : QString::fromUtf8(r.righe.first().first());
}
} // namespace

QString Corriere::chiave(const QString &indirizzo)
{
    return ConnessionePg::senza_segreti(indirizzo);
}

Corriere::Corriere(const Impostazioni &impostazioni, QObject *parent)
    : QObject(parent), m_impostazioni(impostazioni), m_chiave(chiave(impostazioni.indirizzo)),
      m_impronta(impostazioni.piano ? impostazioni.piano->impronta() : QString())
{
    qRegisterMetaType<Corriere::Stato>();
}

Corriere::~Corriere() = default;

void Corriere::avvia()
{
    auto aperto = DepositoCodici::apri(m_impostazioni.percorso_deposito, m_chiave,
                                       m_impostazioni.proprietario);
    if (const auto *e = std::get_if<QString>(&aperto)) {
        emit rifiutato(
            QStringLiteral("the store of codes %1: %2").arg(m_impostazioni.percorso_deposito, *e));
        return;
    }
    m_deposito = std::move(std::get<0>(aperto));
    m_pg = new ConnessionePg(this);
    m_pg->imposta_limite_ms(LIMITE_MS);
    connect(m_pg, &ConnessionePg::connessa_ora, this, &Corriere::connessa);
    connect(m_pg, &ConnessionePg::persa, this, &Corriere::persa);
    m_riconnessione = new QTimer(this);
    m_riconnessione->setSingleShot(true);
    m_riconnessione->setInterval(RICONNESSIONE_MS);
    connect(m_riconnessione, &QTimer::timeout, this,
            [this] { m_pg->connetti(m_impostazioni.indirizzo); });
    m_rinnovo = new QTimer(this);
    m_rinnovo->setInterval(RINNOVO_MS);
    connect(m_rinnovo, &QTimer::timeout, this, &Corriere::rinnova);
    m_pausa = new QTimer(this);
    m_pausa->setSingleShot(true);
    connect(m_pausa, &QTimer::timeout, this, &Corriere::giro);
    annuncia();
    m_pg->connetti(m_impostazioni.indirizzo);
}

void Corriere::connessa()
{
    m_stato.connesso = true;
    m_stato.offline_da = QDateTime();
    m_avviato = true;
    annuncia();
    prepara_schema();
}

void Corriere::persa(const QString &motivo)
{
    const bool era_connesso = m_stato.connesso;
    m_stato.connesso = false;
    m_pronto = false;
    m_in_giro = false;
    m_rinnovo->stop();
    if (!m_stato.offline_da.isValid())
        m_stato.offline_da = QDateTime::currentDateTimeUtc();
    if (m_fermando) {
        emit fermato();
        return;
    }
    if (!m_avviato && ConnessionePg::rifiuto_del_server(motivo)) {
        emit rifiutato(QStringLiteral("the archive %1 refused: %2").arg(m_chiave, motivo));
        return;
    }
    if (era_connesso)
        emit avviso(QStringLiteral("the archive %1: %2; working from the reserve, records wait")
                        .arg(m_chiave, motivo));
    annuncia();
    m_riconnessione->start();
}

void Corriere::fallito(const RisultatoPg &r)
{
    m_in_giro = false;
    if (m_fermando) {
        emit fermato();
        return;
    }
    // A lost connection is told by persa(); a statement refused is worth a
    // line, and the next round tries again.
    if (m_pg->connessa()) {
        emit avviso(QStringLiteral("the archive %1: %2").arg(m_chiave, r.errore));
        m_pausa->start(RICONNESSIONE_MS);
    }
}

void Corriere::prepara_schema()
{
    m_pg->esegui(
        QStringLiteral("SELECT max(numero) FROM m5_versione"), {}, [this](const RisultatoPg &r) {
            if (!r.riuscito) {
                if (r.stato_sql == "42P01")
                    crea_schema();
                else if (r.stato_sql == "42501")
                    emit rifiutato(
                        QStringLiteral("the archive %1 refused: %2").arg(m_chiave, r.errore));
                else
                    fallito(r);
                return;
            }
            const int versione = primo_testo(r).toInt();
            if (versione > VERSIONE_SCHEMA) {
                emit rifiutato(QStringLiteral("the archive %1 has schema version %2; "
                                              "this m5config knows %3: upgrade it")
                                   .arg(m_chiave)
                                   .arg(versione)
                                   .arg(VERSIONE_SCHEMA));
                return;
            }
            if (versione < VERSIONE_SCHEMA)
                crea_schema();
            else
                registra_piano();
        });
}

// The same statements an administrator can run from the package's file.
void Corriere::crea_schema()
{
    const QStringList istruzioni = istruzioni_archivio::schema();
    auto errore = std::make_shared<RisultatoPg>();
    errore->riuscito = true;
    const auto annota = [errore](const RisultatoPg &r) {
        if (!r.riuscito && errore->riuscito)
            *errore = r;
    };
    m_pg->esegui(QStringLiteral("BEGIN"), {}, annota);
    for (const QString &sql : std::as_const(istruzioni))
        m_pg->esegui(sql, {}, annota);
    // After a statement that failed, COMMIT rolls back.
    m_pg->esegui(QStringLiteral("COMMIT"), {}, [this, errore](const RisultatoPg &r) {
        if (!r.riuscito)
            fallito(r);
        else if (errore->riuscito)
            prepara_schema();
        else if (errore->stato_sql == "42501")
            emit rifiutato(QStringLiteral("the archive %1 has no tables, and this role may not "
                                          "make them: have its owner run archivio.sql and grant "
                                          "the role its rights (README)")
                               .arg(m_chiave));
        else
            fallito(*errore);
    });
}

void Corriere::registra_piano()
{
    if (!m_impostazioni.piano) {
        m_pronto = true;
        m_rinnovo->start();
        giro();
        return;
    }
    QStringList codici;
    for (const int c : m_impostazioni.piano->codici())
        codici << QString::number(c);
    m_pg->esegui(QLatin1String(istruzioni_archivio::PIANO),
                 {m_impronta.toUtf8(), numero(codici.size()), vettore(codici)},
                 [this](const RisultatoPg &r) {
                     if (!r.riuscito) {
                         fallito(r);
                         return;
                     }
                     m_pronto = true;
                     m_rinnovo->start();
                     rinnova();
                     giro();
                 });
}

void Corriere::sollecita()
{
    annuncia();
    if (m_pronto)
        giro();
}

// Settled codes, then records, then the reserve and the plan's count: one
// statement at a time, each after the one before.
void Corriere::giro()
{
    if (!m_pronto || m_in_giro) {
        m_ancora = m_in_giro;
        return;
    }
    m_in_giro = true;
    m_lotti = 0;
    invia_codici();
}

void Corriere::invia_codici()
{
    QString errore;
    const QList<DepositoCodici::Cambio> cambi =
        m_deposito->cambi_da_inviare(CAMBI_PER_GIRO, errore);
    // Whatever keeps a change from counting as sent, the round goes on, and
    // the reserve is not starved by it.
    if (cambi.isEmpty() || ++m_lotti > LOTTI_PER_GIRO) {
        if (!cambi.isEmpty())
            m_pausa->start(PAUSA_MS);
        consegna_record();
        return;
    }
    QStringList piani, posizioni, stati, record, proprietari;
    for (const DepositoCodici::Cambio &c : cambi) {
        piani << c.piano;
        posizioni << QString::number(c.posizione);
        stati << c.stato;
        record << c.record;
        proprietari << c.proprietario;
    }
    // Sent again after an answer that was lost, a change finds its code
    // already so, and counts as made.
    m_pg->esegui(
        QLatin1String(istruzioni_archivio::SALDO),
        {vettore(piani), vettore(posizioni), vettore(stati), vettore(record), vettore(proprietari)},
        [this, cambi](const RisultatoPg &r) {
            if (!r.riuscito) {
                fallito(r);
                return;
            }
            if (r.righe.size() < cambi.size())
                emit avviso(QStringLiteral("the archive %1 holds %2 of this process's codes "
                                           "otherwise than it settled them: its lease ran out "
                                           "while it was offline")
                                .arg(m_chiave)
                                .arg(cambi.size() - r.righe.size()));
            QString errore;
            if (!m_deposito->inviati(cambi, errore))
                emit avviso(QStringLiteral("the store of codes: %1").arg(errore));
            invia_codici();
        });
}

void Corriere::consegna_record()
{
    QString errore;
    const QList<DepositoCodici::Uscita> uscita = m_deposito->da_consegnare(RECORD_PER_GIRO, errore);
    if (uscita.isEmpty() || ++m_lotti > 2 * LOTTI_PER_GIRO) {
        if (!uscita.isEmpty())
            m_pausa->start(PAUSA_MS);
        rifornisci();
        return;
    }
    QJsonArray elenco;
    for (const DepositoCodici::Uscita &u : uscita) {
        const auto record = interpreta_record(u.riga, 1);
        QJsonObject o{{QStringLiteral("riga"), QJsonDocument::fromJson(u.riga).object()}};
        if (record && record->codice)
            o.insert(QStringLiteral("codice"), *record->codice);
        elenco.append(o);
    }
    const qint64 ultimo = uscita.last().numero;
    // By its id, a record delivered twice is one.
    m_pg->esegui(QLatin1String(istruzioni_archivio::RECORD),
                 {QJsonDocument(elenco).toJson(QJsonDocument::Compact)},
                 [this, ultimo](const RisultatoPg &r) {
                     if (!r.riuscito) {
                         fallito(r);
                         return;
                     }
                     QString errore;
                     if (!m_deposito->consegnati(ultimo, errore))
                         emit avviso(QStringLiteral("the store of codes: %1").arg(errore));
                     annuncia();
                     consegna_record();
                 });
}

void Corriere::rifornisci()
{
    const qint64 adesso = QDateTime::currentMSecsSinceEpoch();
    const int riserva = m_impostazioni.piano
                            ? m_deposito->riserva(m_impronta, adesso + DepositoCodici::MARGINE_MS)
                            : 0;
    if (!m_impostazioni.piano || m_fermando || riserva * 2 > m_impostazioni.riserva) {
        conta();
        return;
    }
    // Half the free codes at most: stations that share a small plan share it.
    m_rifornito = true;
    m_pg->esegui(QLatin1String(istruzioni_archivio::RISERVA),
                 {m_impronta.toUtf8(), m_impostazioni.proprietario.toUtf8(),
                  numero(m_impostazioni.riserva - riserva), numero(LEASE_S)},
                 [this, adesso](const RisultatoPg &r) {
                     if (!r.riuscito) {
                         fallito(r);
                         return;
                     }
                     QList<DepositoCodici::Voce> voci;
                     for (const QList<QByteArray> &riga : r.righe)
                         voci.append({riga.at(0).toInt(), riga.at(1).toInt()});
                     QString errore;
                     if (!voci.isEmpty() &&
                         !m_deposito->aggiungi_riserva(
                             m_impronta, voci,
                             adesso + qint64(LEASE_S) * 1000 - DepositoCodici::MARGINE_MS, errore))
                         emit avviso(QStringLiteral("the store of codes: %1").arg(errore));
                     conta();
                 });
}

void Corriere::conta()
{
    if (!m_impostazioni.piano) {
        fine_giro();
        return;
    }
    // The count costs more than the rest of a unit's round: without a claim
    // in this round it is taken at most every CONTO_MS.
    if (!std::exchange(m_rifornito, false) && m_conto.isValid() && m_conto.elapsed() < CONTO_MS) {
        fine_giro();
        return;
    }
    m_pg->esegui(QLatin1String(istruzioni_archivio::CONTA), {m_impronta.toUtf8()},
                 [this](const RisultatoPg &r) {
                     if (!r.riuscito) {
                         fallito(r);
                         return;
                     }
                     m_conto.start();
                     m_stato.conti = DepositoCodici::Conti{};
                     for (const QList<QByteArray> &riga : r.righe)
                         DepositoCodici::aggiungi_conto(
                             m_stato.conti, QString::fromUtf8(riga.at(0)), riga.at(1).toInt());
                     m_stato.liberi = m_stato.conti.liberi;
                     fine_giro();
                 });
}

void Corriere::fine_giro()
{
    m_in_giro = false;
    annuncia();
    emit riserva_cambiata();
    if (m_fermando) {
        restituisci_riserva();
        return;
    }
    if (std::exchange(m_ancora, false)) {
        giro();
        return;
    }
    // A reserve still short while the plan has codes, free or held by other
    // processes that may give them back: another claim soon, rather than at
    // the next unit, which may wait for it.
    const int riserva = m_deposito->riserva(m_impronta, QDateTime::currentMSecsSinceEpoch() +
                                                            DepositoCodici::MARGINE_MS);
    const DepositoCodici::Conti &c = m_stato.conti;
    if (m_impostazioni.piano && riserva * 2 <= m_impostazioni.riserva &&
        c.liberi + c.riservati + c.avviati > 0)
        m_pausa->start(PAUSA_MS);
}

// Leases of this process's reserve run on; those of processes gone run out.
void Corriere::rinnova()
{
    if (!m_pronto)
        return;
    m_pg->esegui(QStringLiteral("UPDATE m5_codici SET stato = 'libero', proprietario = NULL, "
                                "scadenza = NULL WHERE stato = 'riservato' AND scadenza < now() - "
                                "make_interval(secs => $1::int)"),
                 {numero(LEASE_S)}, [](const RisultatoPg &) {});
    const qint64 adesso = QDateTime::currentMSecsSinceEpoch();
    m_pg->esegui(QStringLiteral("UPDATE m5_codici SET scadenza = now() + make_interval(secs => "
                                "$2::int) WHERE proprietario = $1 AND stato = 'riservato'"),
                 {m_impostazioni.proprietario.toUtf8(), numero(LEASE_S)},
                 [this, adesso](const RisultatoPg &r) {
                     QString errore;
                     if (r.riuscito && m_impostazioni.piano &&
                         !m_deposito->rinnova_riserva(
                             m_impronta,
                             adesso + qint64(LEASE_S) * 1000 - DepositoCodici::MARGINE_MS, errore))
                         emit avviso(QStringLiteral("the store of codes: %1").arg(errore));
                 });
}

void Corriere::ferma()
{
    m_fermando = true;
    if (!m_pg || !m_pronto) {
        emit fermato();
        return;
    }
    if (!m_in_giro)
        giro();
}

// What this process claimed and never started goes back to the plan now,
// rather than when its lease runs out.
void Corriere::restituisci_riserva()
{
    m_pg->esegui(QStringLiteral("UPDATE m5_codici SET stato = 'libero', proprietario = NULL, "
                                "scadenza = NULL WHERE proprietario = $1 AND stato = 'riservato'"),
                 {m_impostazioni.proprietario.toUtf8()}, [this](const RisultatoPg &r) {
                     QString errore;
                     if (r.riuscito && m_impostazioni.piano &&
                         !m_deposito->togli_riserva(m_impronta, errore))
                         emit avviso(QStringLiteral("the store of codes: %1").arg(errore));
                     emit fermato();
                 });
}

void Corriere::annuncia()
{
    if (m_deposito)
        m_stato.in_attesa = m_deposito->in_attesa();
    emit stato_cambiato(m_stato);
}
