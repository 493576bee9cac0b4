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
#include <QJsonArray>

namespace {
constexpr int UNITA_SENZA_FINE = 0;
} // namespace

Banco::Banco(const Identita &identita, const QString &percorso_stazione, QObject *parent)
    : QObject(parent), m_identita(identita), m_percorso_stazione(percorso_stazione),
      m_sorveglianza(new SorveglianzaDispositivi(this))
{
    connect(m_sorveglianza, &SorveglianzaDispositivi::porta_nuova, this,
            [this](const QString &percorso) {
                if (m_assegnando == 0)
                    return;
                const int numero = std::exchange(m_assegnando, 0);
                m_sorveglianza->smetti_ricerca();
                emit presa_trovata(numero, prese::nome_presa(percorso));
            });
}

Banco::~Banco() = default;

bool Banco::apri_registro(const QString &percorso, QString &errore, QString &avviso)
{
    m_percorso_registro = percorso;
    return m_registro.apri(percorso, errore, avviso);
}

void Banco::imposta(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    m_profilo = profilo;
    m_posti = posti;
    m_quadri = QList<QuadroPosto>(posti.size());
}

void Banco::avvia()
{
    emit configurato(m_profilo, m_posti);
    m_linea = std::make_unique<Linea>(m_profilo.incarico());
    for (int i = 0; i < m_posti.size(); ++i) {
        Posto &p = m_linea->aggiungi(m_posti.at(i).presa, PortaSeriale::PRIMA);
        collega(i, &p);
    }
    m_linea->imposta_ripresa();
    m_linea->imposta_unita(UNITA_SENZA_FINE);
    m_linea->imposta_silenzio(m_silenzio_ms);
    if (m_registro.aperto())
        m_linea->imposta_registro(&m_registro, m_percorso_registro);
    connect(m_linea.get(), &Linea::unita_registrata, this, &Banco::registrata);
    connect(m_linea.get(), &Linea::unita_da_togliere, this, [this](Posto *p, int) {
        const int indice = static_cast<int>(m_linea->posti().indexOf(p));
        QuadroPosto q = m_quadri.at(indice);
        q.aspetto = QuadroPosto::Aspetto::DaTogliere;
        cambia_quadro(indice, q);
    });
    connect(m_linea.get(), &Linea::fermata, this, &Banco::fermato);
    connect(m_linea.get(), &Linea::conclusa, this, &Banco::conclusa, Qt::QueuedConnection);
    aggiorna_conti();
    m_linea->avvia();
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
    case Posto::Stato::Mancante:
    case Posto::Stato::Fermo:
        q.aspetto = Aspetto::Mancante;
        // An adapter that is there but cannot be used is no adapter to plug in.
        if (const QString motivo = m_linea->posti().at(indice)->motivo_assenza();
            !motivo.isEmpty()) {
            q.motivo = TestiEsito::porta_inutilizzabile();
            q.dettagli = {motivo};
        } else if (q.motivo == TestiEsito::porta_inutilizzabile()) {
            // The device went: it is missing now, not unusable.
            q.motivo.clear();
            q.dettagli.clear();
        }
        break;
    case Posto::Stato::AttesaUnita:
    case Posto::Stato::Lavoro:
        q.aspetto = stato == Posto::Stato::Lavoro ? Aspetto::Lavoro : Aspetto::Attesa;
        q.motivo.clear();
        q.dettagli.clear();
        break;
    case Posto::Stato::Rimozione:
        // OK or FAIL stays up until the unit is taken out.
        break;
    }
    if (q.aspetto != Aspetto::Lavoro)
        q.cella = q.ultima = 0;
    cambia_quadro(indice, q);
    controlla_blocco();
}

void Banco::cambia_quadro(int indice, const QuadroPosto &q)
{
    m_quadri[indice] = q;
    emit quadro_cambiato(indice, q);
}

void Banco::controlla_blocco()
{
    const bool ora = al_lavoro();
    if (ora == m_bloccato)
        return;
    m_bloccato = ora;
    emit bloccato(ora);
}

void Banco::interrompi()
{
    // Ended while a settings change waited for the slots: the station ends.
    m_cambio_in_attesa.reset();
    if (m_linea)
        m_linea->interrompi();
}

void Banco::ferma()
{
    if (!m_linea)
        return;
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
    if (auto record = interpreta_record(riga_registro(r), m_figure.totale.unita + 1)) {
        conta_record(m_figure, *record);
        m_record.append(*record);
    }
    const QDateTime un_ora_fa = QDateTime::currentDateTimeUtc().addSecs(-3600);
    while (!m_record.isEmpty() && m_record.first().ora < un_ora_fa)
        m_record.removeFirst();
    const int indice = static_cast<int>(m_linea->posti().indexOf(posto));
    QuadroPosto q = m_quadri.at(indice);
    q.aspetto = r.esito.riuscita() ? QuadroPosto::Aspetto::Riuscito : QuadroPosto::Aspetto::Fallito;
    q.motivo = r.esito.riuscita() ? QString() : TestiEsito::motivo(r.esito);
    q.dettagli = r.esito.riuscita() ? QStringList() : TestiEsito::dettagli(r.esito);
    q.cella = q.ultima = 0;
    m_quadri[indice] = q;
    aggiorna_conti(indice);
    emit esito_posto(indice, r.numero, r.esito);
    controlla_blocco();
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
    emit totali_cambiati(totali());
}

TotaliBanco Banco::totali() const
{
    TotaliBanco t;
    t.unita = m_figure.totale.unita;
    t.ok = m_figure.totale.ok;
    t.fallite = m_figure.totale.fallite;
    t.resa = m_figure.totale.resa();
    t.ora = unita_ultima_ora(m_record, QDateTime::currentDateTimeUtc());
    return t;
}

void Banco::conclusa()
{
    m_linea.reset();
    controlla_blocco();
    if (m_cambio_in_attesa) {
        const Cambio c = *std::exchange(m_cambio_in_attesa, std::nullopt);
        riparti(c.profilo, c.posti);
        return;
    }
    emit concluso();
}

void Banco::chiedi_cambio(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    if (al_lavoro()) {
        emit cambio_rifiutato(tr("Un posto è al lavoro: le impostazioni non sono cambiate. "
                                 "Riprovare quando nessun posto lavora."));
        return;
    }
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
    // A unit may have begun while the question was open.
    if (al_lavoro()) {
        emit cambio_rifiutato(tr("Un posto è al lavoro: le impostazioni non sono cambiate. "
                                 "Riprovare quando nessun posto lavora."));
        return;
    }
    cambia(c.profilo, c.posti);
}

void Banco::cambia(const Profilo &profilo, const QList<PostoConfigurato> &posti)
{
    QString errore;
    QString da_parte;
    if (!file_stazione::salva(m_percorso_stazione, posti, errore, da_parte))
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
    m_linea->interrompi();
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
    const LetturaRegistro letto = interpreta_registro(registro);
    QByteArray csv = rapporto::intestazione_csv();
    for (const RecordRegistro &r : letto.record)
        csv += rapporto::riga_csv(r);
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
}

void Banco::annulla_assegnazione()
{
    m_assegnando = 0;
    m_sorveglianza->smetti_ricerca();
}
