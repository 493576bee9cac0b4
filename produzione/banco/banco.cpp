// SPDX-License-Identifier: GPL-3.0-or-later
#include "banco.h"

#include "file_atomico.h"
#include "prese.h"
#include "rapporto.h"
#include "riga_json.h"
#include "sorveglianza_dispositivi.h"
#include "testi_esito.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace {
constexpr int UNITA_SENZA_FINE = 0;
constexpr qint64 UN_ORA_S = 3600;
// Units age out of the hour a minute at most before the figure says so.
constexpr int GIRO_ORA_MS = 60000;
} // namespace

Banco::Banco(const Identita &identita, const QString &percorso_stazione, QObject *parent)
    : QObject(parent), m_identita(identita), m_percorso_stazione(percorso_stazione),
      m_sorveglianza(new SorveglianzaDispositivi(this)), m_orologio_ora(new QTimer(this)),
      m_scadenza_assegnazione(new QTimer(this))
{
    connect(m_sorveglianza, &SorveglianzaDispositivi::porta_nuova, this, &Banco::trovata);
    m_scadenza_assegnazione->setSingleShot(true);
    connect(m_scadenza_assegnazione, &QTimer::timeout, this, [this] {
        const int numero = m_assegnando;
        assegnazione_finita();
        if (numero != 0)
            emit assegnazione_scaduta(numero);
    });
    m_orologio_ora->setInterval(GIRO_ORA_MS);
    connect(m_orologio_ora, &QTimer::timeout, this, &Banco::aggiorna_ora);
}

Banco::~Banco() = default;

bool Banco::apri_registro(const QString &percorso, QString &errore, QString &avviso)
{
    m_percorso_registro = percorso;
    return m_registro.apri(percorso, errore, avviso);
}

void Banco::imposta(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    // A slot kept through a change keeps its last unit's end.
    QList<QuadroPosto> quadri(posti.size());
    QList<std::optional<EsitoUnita>> ultime(posti.size());
    for (int i = 0; i < posti.size(); ++i) {
        for (int j = 0; j < m_posti.size() && j < m_quadri.size(); ++j) {
            if (m_posti.at(j).numero == posti.at(i).numero) {
                quadri[i].ultimo_esito = m_quadri.at(j).ultimo_esito;
                ultime[i] = m_ultime.value(j);
            }
        }
    }
    m_profilo = profilo;
    m_posti = posti;
    m_quadri = quadri;
    m_ultime = ultime;
}

void Banco::avvia()
{
    emit configurato(m_profilo, m_posti);
    if (!prepara_codici())
        return;
    m_linea = std::make_unique<Linea>(m_profilo.incarico());
    for (int i = 0; i < m_posti.size(); ++i) {
        Posto &p = m_linea->aggiungi(m_posti.at(i).presa, PortaSeriale::PRIMA);
        collega(i, &p);
    }
    collega_linea();
    aggiorna_conti();
    emit totali_cambiati(totali());
    m_orologio_ora->start();
    m_linea->avvia();
}

bool Banco::prepara_codici()
{
    const std::optional<PianoCodici> piano = m_profilo.verifica ? std::nullopt : m_profilo.piano;
    const QString chiave =
        (piano ? piano->impronta() : QString()) + QLatin1Char(' ') + m_indirizzo_archivio;
    if (chiave == m_chiave_codici)
        return true;
    m_archivio.reset();
    m_distributore.reset();
    m_chiave_codici.clear();
    if (!piano && m_indirizzo_archivio.isEmpty())
        return true;
    auto aperti = CodiciProcesso::apri(piano, m_indirizzo_archivio, m_percorso_registro,
                                       static_cast<int>(m_posti.size()));
    if (const auto *e = std::get_if<QString>(&aperti)) {
        emit fermato(tr("Codici e registri non si possono tenere: %1").arg(*e));
        return false;
    }
    CodiciProcesso &c = std::get<CodiciProcesso>(aperti);
    m_chiave_codici = chiave;
    m_distributore = std::move(c.distributore);
    m_archivio = std::move(c.archivio);
    // The store is counted after the step of the dialogue that took a code,
    // never in it: the unit's first read goes out first.
    connect(
        m_distributore.get(), &Distributore::cambiati, this,
        [this] { emit totali_cambiati(totali()); }, Qt::QueuedConnection);
    if (m_archivio) {
        connect(m_archivio.get(), &ArchivioCondiviso::stato_cambiato, this,
                [this] { emit totali_cambiati(totali()); });
        connect(m_archivio.get(), &ArchivioCondiviso::rifiutato, this, [this](const QString &m) {
            const QString testo = tr("L'archivio rifiuta la stazione: %1").arg(m);
            if (m_linea)
                m_linea->ferma(esiti::ARCHIVIO, testo);
            else
                emit fermato(testo);
        });
        connect(m_archivio.get(), &ArchivioCondiviso::avviso, this,
                [this](const QString &testo) { emit avviso(tr("Archivio: %1").arg(testo)); });
        m_archivio->avvia();
    }
    return true;
}

void Banco::collega_linea()
{
    m_linea->imposta_ripresa();
    m_linea->imposta_unita(UNITA_SENZA_FINE);
    m_linea->imposta_silenzio(m_silenzio_ms);
    if (m_registro.aperto())
        m_linea->imposta_registro(&m_registro, m_percorso_registro);
    if (m_distributore)
        m_linea->imposta_distributore(m_distributore.get());
    if (m_etichette)
        m_linea->imposta_etichette([this](const Resoconto &r) {
            return m_etichette(r, m_distributore ? m_distributore->impronta() : QString(),
                               m_profilo.impronta(), m_identita.stazione);
        });
    connect(m_linea.get(), &Linea::unita_registrata, this, &Banco::registrata);
    connect(m_linea.get(), &Linea::unita_da_togliere, this, [this](Posto *p, int) {
        const int indice = static_cast<int>(m_linea->posti().indexOf(p));
        QuadroPosto q = m_quadri.at(indice);
        q.aspetto = QuadroPosto::Aspetto::DaTogliere;
        cambia_quadro(indice, q);
    });
    connect(m_linea.get(), &Linea::fermata, this, &Banco::fermato);
    connect(m_linea.get(), &Linea::conclusa, this, &Banco::conclusa, Qt::QueuedConnection);
    // A link that now leads to another slot's device is seen by both slots,
    // also by one that waits for a unit.
    connect(m_sorveglianza, &SorveglianzaDispositivi::percorsi_ricontrollati, m_linea.get(),
            [this] {
                for (Posto *p : m_linea->posti())
                    p->controlla_impedimento();
            });
}

void Banco::collega(int indice, Posto *posto)
{
    const PostoConfigurato &c = m_posti.at(indice);
    posto->imposta_campi_registro({{QStringLiteral("stazione"), m_identita.stazione},
                                   {QStringLiteral("posto"), c.numero},
                                   {QStringLiteral("presa"), c.presa},
                                   {QStringLiteral("profilo"), m_profilo.impronta()},
                                   {QStringLiteral("operatore"), m_identita.operatore}});
    m_sorveglianza->sorveglia(c.presa);
    connect(m_sorveglianza, &SorveglianzaDispositivi::cambiato, posto,
            [posto](const QString &percorso, bool presente) {
                if (percorso == posto->percorso())
                    posto->dispositivo_cambiato(presente);
            });
    connect(posto, &Posto::stato_cambiato, this,
            [this, indice](Posto::Stato stato) { stato_posto(indice, stato); });
    connect(posto, &Posto::progresso, this,
            [this, indice](int, Ricevitore::Operazione, int cella, int ultima) {
                QuadroPosto q = m_quadri.at(indice);
                q.cella = cella;
                q.ultima = ultima;
                cambia_quadro(indice, q);
            });
}

void Banco::stato_posto(int indice, Posto::Stato stato)
{
    using Aspetto = QuadroPosto::Aspetto;
    QuadroPosto q = m_quadri.at(indice);
    switch (stato) {
    case Posto::Stato::Fermo:
        if (m_cambio_in_attesa || (posto(indice) && posto(indice)->senza_codici())) {
            q.aspetto = m_cambio_in_attesa ? Aspetto::Pausa : Aspetto::Esaurito;
            q.motivo.clear();
            q.dettagli.clear();
            break;
        }
        assente(indice, q);
        break;
    case Posto::Stato::Mancante:
        assente(indice, q);
        break;
    case Posto::Stato::AttesaUnita:
    case Posto::Stato::Lavoro:
        q.aspetto = stato == Posto::Stato::Lavoro ? Aspetto::Lavoro : Aspetto::Attesa;
        q.motivo.clear();
        q.dettagli.clear();
        if (stato == Posto::Stato::Lavoro) {
            q.ultimo_esito.clear();
            m_ultime[indice].reset();
        }
        break;
    case Posto::Stato::Rimozione:
        // OK or FAIL stays up until the unit is taken out.
        break;
    case Posto::Stato::AttesaCodici:
        // No unit until the archive grants codes: the worker waits.
        q.aspetto = Aspetto::Pausa;
        q.motivo = tr("In attesa di codici dall'archivio");
        q.dettagli.clear();
        break;
    }
    if (q.aspetto != Aspetto::Lavoro)
        q.cella = q.ultima = 0;
    cambia_quadro(indice, q);
    controlla_lavoro();
}

void Banco::assente(int indice, QuadroPosto &q) const
{
    using Aspetto = QuadroPosto::Aspetto;
    const Posto *p = posto(indice);
    const Posto::Ostacolo ostacolo = p ? p->ostacolo() : Posto::Ostacolo::Nessuno;
    q.dettagli.clear();
    switch (ostacolo) {
    case Posto::Ostacolo::Nessuno: {
        // A unit that failed as its adapter went stays failed: it is still
        // in its socket, and needs doing again.
        const std::optional<EsitoUnita> &ultima = m_ultime.at(indice);
        const bool fallita = ultima && !ultima->riuscita();
        if (fallita && (q.aspetto == Aspetto::Fallito || q.aspetto == Aspetto::DaTogliere)) {
            q.aspetto = Aspetto::Fallito;
            q.motivo = TestiEsito::motivo(*ultima);
            q.dettagli = TestiEsito::dettagli(*ultima);
        } else {
            q.aspetto = Aspetto::Mancante;
            q.motivo.clear();
        }
        break;
    }
    case Posto::Ostacolo::Occupata:
        q.aspetto = Aspetto::Occupato;
        q.motivo = TestiEsito::occupata(p->occupante());
        break;
    case Posto::Ostacolo::Vietata:
    case Posto::Ostacolo::Inutilizzabile:
        // An adapter that is there but cannot be used is no adapter to plug in.
        q.aspetto = Aspetto::Mancante;
        q.motivo = TestiEsito::porta_inutilizzabile();
        if (!p->motivo_assenza().isEmpty())
            q.dettagli = {p->motivo_assenza()};
        break;
    case Posto::Ostacolo::Impedita: {
        q.aspetto = Aspetto::Doppio;
        Posto *altro = m_linea->condiviso_con(p);
        const int j = altro ? static_cast<int>(m_linea->posti().indexOf(altro)) : -1;
        q.motivo = TestiEsito::condivisa(j < 0 ? 0 : m_posti.at(j).numero);
        if (altro)
            q.dettagli = {QFileInfo(altro->percorso()).canonicalFilePath()};
        break;
    }
    }
}

QString Banco::consiglio(int indice, const QuadroPosto &q) const
{
    const Posto *p = posto(indice);
    switch (q.aspetto) {
    case QuadroPosto::Aspetto::Mancante:
        if (p && p->stato() == Posto::Stato::Mancante && p->ostacolo() == Posto::Ostacolo::Vietata)
            return TestiEsito::consiglio_accesso();
        if (p && p->stato() == Posto::Stato::Mancante &&
            p->ostacolo() == Posto::Ostacolo::Inutilizzabile)
            return TestiEsito::consiglio_liberare();
        break;
    case QuadroPosto::Aspetto::Pausa:
        if (p && p->stato() == Posto::Stato::AttesaCodici)
            return tr("Attendere: l'archivio dà i codici appena risponde");
        break;
    case QuadroPosto::Aspetto::Fallito:
        if (p && p->stato() == Posto::Stato::Mancante && m_ultime.at(indice))
            return TestiEsito::consiglio_ricollegare(m_ultime.at(indice)->scritta_in_parte);
        break;
    default:
        break;
    }
    return TestiEsito::consiglio(q.aspetto);
}

void Banco::cambia_quadro(int indice, const QuadroPosto &q)
{
    m_quadri[indice] = q;
    m_quadri[indice].consiglio = consiglio(indice, q);
    emit quadro_cambiato(indice, m_quadri.at(indice));
}

void Banco::controlla_lavoro()
{
    const bool ora = al_lavoro();
    if (ora == m_al_lavoro)
        return;
    m_al_lavoro = ora;
    emit unita_in_dialogo(ora);
}

void Banco::interrompi()
{
    // Ended while a settings change waited for the slots: the station ends.
    m_cambio_in_attesa.reset();
    m_fine = true;
    if (m_linea)
        m_linea->interrompi();
    else
        concludi();
}

void Banco::ferma()
{
    m_fine = true;
    if (!m_linea) {
        concludi();
        return;
    }
    for (Posto *p : m_linea->posti())
        p->ferma();
}

Posto *Banco::posto(int indice) const
{
    if (!m_linea || indice < 0 || indice >= m_linea->posti().size())
        return nullptr;
    return m_linea->posti().at(indice);
}

bool Banco::al_lavoro() const
{
    if (!m_linea)
        return false;
    for (const Posto *p : m_linea->posti()) {
        if (p->stato() == Posto::Stato::Lavoro)
            return true;
    }
    return false;
}

void Banco::registrata(Posto *posto, const Resoconto &r)
{
    // Counted as a reader of the log counts it.
    std::optional<int> codice;
    if (auto record = interpreta_record(riga_registro(r), m_figure.totale.unita + 1)) {
        conta_record(m_figure, *record);
        codice = record->codice;
        m_record.append(*record);
    }
    scarta_record_vecchi();
    const int indice = static_cast<int>(m_linea->posti().indexOf(posto));
    QuadroPosto q = m_quadri.at(indice);
    q.aspetto = r.esito.riuscita() ? QuadroPosto::Aspetto::Riuscito : QuadroPosto::Aspetto::Fallito;
    q.motivo = r.esito.riuscita() ? QString() : TestiEsito::motivo(r.esito);
    q.dettagli = r.esito.riuscita() ? QStringList() : TestiEsito::dettagli(r.esito);
    q.ultimo_esito = TestiEsito::ultimo_esito(r.esito);
    // The code the unit holds, as read back: the worker checks it against the label.
    q.codice = r.esito.riuscita() ? codice : std::nullopt;
    q.etichetta.clear();
    for (const auto &[chiave, valore] : r.aggiunte) {
        if (chiave == QLatin1String("etichetta") && valore.toString() != QLatin1String("stampata"))
            q.etichetta = valore.toString();
    }
    q.cella = q.ultima = 0;
    m_quadri[indice] = q;
    m_ultime[indice] = r.esito;
    aggiorna_conti(indice);
    emit esito_posto(indice, r.numero, r.esito);
    controlla_lavoro();
}

// Each slot's counts and flag, as the figures of the records give them.
void Banco::aggiorna_conti(int cambiato)
{
    const QStringList sospette = porte_sospette(m_figure);
    for (int i = 0; i < m_quadri.size(); ++i) {
        const QString porta = m_posti.at(i).presa;
        StatistichePorta p;
        for (const StatistichePorta &s : std::as_const(m_figure.porte)) {
            if (s.porta == porta)
                p = s;
        }
        QuadroPosto q = m_quadri.at(i);
        const bool segnalato = sospette.contains(porta);
        if (i != cambiato && q.unita == p.unita && q.ok == p.ok && q.fallite == p.fallite &&
            q.segnalato == segnalato)
            continue;
        q.unita = p.unita;
        q.ok = p.ok;
        q.fallite = p.fallite;
        q.segnalato = segnalato;
        cambia_quadro(i, q);
    }
    const TotaliBanco t = totali();
    m_ora_detta = t.ora;
    emit totali_cambiati(t);
}

void Banco::aggiorna_ora()
{
    scarta_record_vecchi();
    const TotaliBanco t = totali();
    if (t.ora == m_ora_detta)
        return;
    m_ora_detta = t.ora;
    emit totali_cambiati(t);
}

void Banco::scarta_record_vecchi()
{
    const QDateTime un_ora_fa = QDateTime::currentDateTimeUtc().addSecs(-UN_ORA_S);
    while (!m_record.isEmpty() && m_record.first().ora <= un_ora_fa)
        m_record.removeFirst();
}

TotaliBanco Banco::totali() const
{
    TotaliBanco t;
    t.unita = m_figure.totale.unita;
    t.ok = m_figure.totale.ok;
    t.fallite = m_figure.totale.fallite;
    t.resa = m_figure.totale.resa();
    t.ora = unita_ultima_ora(m_record, QDateTime::currentDateTimeUtc());
    if (m_distributore && m_distributore->piano()) {
        t.codici_rimasti = m_distributore->rimasti();
        t.codici_piano = static_cast<int>(m_distributore->piano()->codici().size());
        t.codici_pochi = m_distributore->pochi(*t.codici_rimasti);
    }
    if (m_archivio) {
        const Corriere::Stato &s = m_archivio->stato();
        t.archivio = true;
        t.archivio_connesso = s.connesso;
        t.archivio_offline_da = s.offline_da;
        t.archivio_in_attesa = s.in_attesa;
    }
    return t;
}

void Banco::conclusa()
{
    const bool esaurita = m_linea && m_linea->esaurita();
    m_linea.reset();
    m_orologio_ora->stop();
    controlla_lavoro();
    if (m_cambio_in_attesa) {
        const Cambio c = *std::exchange(m_cambio_in_attesa, std::nullopt);
        riparti(c.profilo, c.posti);
        return;
    }
    // Out of codes: the station waits for a new plan, its tiles saying so.
    if (esaurita && !m_fine)
        return;
    concludi();
}

// What the station did goes to the archive, and its reserve back, before
// it ends: as long as the archive answers within its limit.
void Banco::concludi()
{
    if (!m_archivio) {
        emit concluso();
        return;
    }
    auto *limite = new QTimer(this);
    limite->setSingleShot(true);
    const auto fine = [this, limite] {
        limite->deleteLater();
        disconnect(m_archivio.get(), &ArchivioCondiviso::fermato, this, nullptr);
        emit concluso();
    };
    connect(limite, &QTimer::timeout, this, fine);
    connect(m_archivio.get(), &ArchivioCondiviso::fermato, this, fine);
    limite->start(CONSEGNA_FINALE_MS);
    m_archivio->ferma();
}

void Banco::chiedi_cambio(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    m_cambio_chiesto = Cambio{profilo, posti};
    emit conferma_chiesta(
        tr("Cambiare profilo e posti della stazione? Il cambio resta nel registro."));
}

void Banco::conferma_cambio(bool si)
{
    if (!m_cambio_chiesto)
        return;
    const Cambio c = *std::exchange(m_cambio_chiesto, std::nullopt);
    if (!si)
        return;
    cambia(c.profilo, c.posti);
}

void Banco::cambia(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    QString errore;
    QString da_parte;
    if (!file_stazione::salva(m_percorso_stazione, posti, m_indirizzo_archivio, errore, da_parte))
        emit avviso(tr("Il file della stazione %1 non si può scrivere: %2")
                        .arg(m_percorso_stazione, errore));
    QJsonArray elenco;
    for (const PostoConfigurato &p : posti)
        elenco.append(
            QJsonObject{{QStringLiteral("posto"), p.numero}, {QStringLiteral("presa"), p.presa}});
    if (!registra_evento(
            QStringLiteral("impostazioni"),
            {{QStringLiteral("profilo"), profilo.impronta()}, {QStringLiteral("posti"), elenco}},
            errore))
        emit avviso(tr("Il registro non si può scrivere: %1").arg(errore));
    if (!in_corso()) {
        riparti(profilo, posti);
        return;
    }
    m_cambio_in_attesa = Cambio{profilo, posti};
    // Units in their dialogue end as they would have: none is cut short.
    for (int i = 0; i < m_linea->posti().size(); ++i) {
        Posto *p = m_linea->posti().at(i);
        p->sospendi();
        // Already stopped, by an earlier change that waits too.
        if (p->stato() == Posto::Stato::Fermo)
            stato_posto(i, Posto::Stato::Fermo);
    }
}

void Banco::riparti(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    for (const PostoConfigurato &p : std::as_const(m_posti))
        m_sorveglianza->dimentica(p.presa);
    imposta(profilo, posti);
    avvia();
}

bool Banco::registra_evento(const QString &evento, const QJsonObject &dettagli, QString &errore)
{
    if (!m_registro.aperto())
        return true;
    RigaJson riga;
    riga.aggiungi(QStringLiteral("ora"),
                  QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs))
        .aggiungi(QStringLiteral("evento"), evento)
        .aggiungi(QStringLiteral("stazione"), m_identita.stazione)
        .aggiungi(QStringLiteral("operatore"), m_identita.operatore);
    for (auto it = dettagli.constBegin(); it != dettagli.constEnd(); ++it)
        riga.aggiungi(it.key(), it.value());
    return m_registro.registra(riga.testo(), errore);
}

void Banco::esporta_csv(const QString &destinazione)
{
    QFile registro(m_percorso_registro);
    if (!registro.open(QIODevice::ReadOnly)) {
        emit esportato(destinazione, registro.errorString());
        return;
    }
    // The rows made as the log is read, as m5ctl report --csv makes them.
    QByteArray csv = rapporto::intestazione_csv();
    scorri_registro(
        registro, [&csv](const RecordRegistro &, const QByteArray &riga) { csv += riga; }, true,
        rapporto::riga_csv);
    // Written as it is: the unit file's writer would end it with an empty line.
    std::string motivo;
    const bool ok =
        salva_file_atomico(QFile::encodeName(destinazione).toStdString(), csv.constData(),
                           static_cast<std::size_t>(csv.size()), motivo);
    emit esportato(destinazione, ok ? QString() : QString::fromLocal8Bit(motivo.c_str()));
}

void Banco::assegna(int numero)
{
    m_assegnando = numero;
    m_sorveglianza->cerca_porte_nuove();
    m_scadenza_assegnazione->start(m_assegnazione_ms);
}

void Banco::annulla_assegnazione()
{
    assegnazione_finita();
}

void Banco::trovata(const QString &percorso)
{
    if (m_assegnando == 0)
        return;
    const int numero = m_assegnando;
    assegnazione_finita();
    emit presa_trovata(numero, prese::nome_presa(percorso));
}

void Banco::assegnazione_finita()
{
    m_assegnando = 0;
    m_scadenza_assegnazione->stop();
    m_sorveglianza->smetti_ricerca();
}
