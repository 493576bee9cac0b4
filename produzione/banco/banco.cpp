// SPDX-License-Identifier: GPL-3.0-or-later
#include "banco.h"

#include "riga_json.h"
#include "sorveglianza_dispositivi.h"

#include <QDateTime>

namespace {
constexpr int UNITA_SENZA_FINE = 0;
} // namespace

Banco::Banco(const Identita &identita, QObject *parent)
    : QObject(parent), m_identita(identita),
      m_sorveglianza(std::make_unique<SorveglianzaDispositivi>())
{
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
}

void Banco::avvia()
{
    m_linea = std::make_unique<Linea>(m_profilo.incarico());
    for (int i = 0; i < m_posti.size(); ++i) {
        Posto &p = m_linea->aggiungi(m_posti.at(i).presa, PortaSeriale::PRIMA);
        collega(i, &p);
    }
    m_linea->imposta_unita(UNITA_SENZA_FINE);
    m_linea->imposta_silenzio(m_silenzio_ms);
    if (m_registro.aperto())
        m_linea->imposta_registro(&m_registro, m_percorso_registro);
    connect(m_linea.get(), &Linea::unita_registrata, this, &Banco::registrata);
    connect(m_linea.get(), &Linea::unita_da_togliere, this, [this](Posto *p, int numero) {
        emit da_togliere(static_cast<int>(m_linea->posti().indexOf(p)), numero);
    });
    connect(m_linea.get(), &Linea::fermata, this, &Banco::fermato);
    connect(m_linea.get(), &Linea::conclusa, this, &Banco::conclusa, Qt::QueuedConnection);
    m_linea->avvia();
}

void Banco::collega(int indice, Posto *posto)
{
    const PostoConfigurato &c = m_posti.at(indice);
    posto->imposta_ripresa(true);
    posto->imposta_campi_registro({{QStringLiteral("stazione"), m_identita.stazione},
                                   {QStringLiteral("posto"), c.numero},
                                   {QStringLiteral("presa"), c.presa},
                                   {QStringLiteral("profilo"), m_profilo.impronta()},
                                   {QStringLiteral("operatore"), m_identita.operatore}});
    m_sorveglianza->sorveglia(c.presa);
    connect(m_sorveglianza.get(), &SorveglianzaDispositivi::cambiato, posto,
            [posto](const QString &percorso, bool presente) {
                if (percorso == posto->percorso())
                    posto->dispositivo_cambiato(presente);
            });
    connect(posto, &Posto::stato_cambiato, this,
            [this, indice](Posto::Stato stato) { emit stato_posto(indice, stato); });
    connect(posto, &Posto::unita_iniziata, this,
            [this, indice](int numero) { emit unita_iniziata(indice, numero); });
    connect(posto, &Posto::progresso, this,
            [this, indice](int, Ricevitore::Operazione, int cella, int ultima) {
                emit progresso_posto(indice, cella, ultima);
            });
}

void Banco::termina()
{
    if (m_linea)
        m_linea->interrompi();
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

QString Banco::porta(int indice) const
{
    return indice >= 0 && indice < m_posti.size() ? m_posti.at(indice).presa : QString();
}

void Banco::registrata(Posto *posto, const Resoconto &r)
{
    // Counted as a reader of the log counts it.
    if (auto record = leggi_record(riga_registro(r), m_figure.totale.unita + 1)) {
        conta_record(m_figure, *record);
        m_record.append(*record);
    }
    const QDateTime un_ora_fa = QDateTime::currentDateTimeUtc().addSecs(-3600);
    while (!m_record.isEmpty() && m_record.first().ora < un_ora_fa)
        m_record.removeFirst();
    const int indice = static_cast<int>(m_linea->posti().indexOf(posto));
    emit esito_posto(indice, r.numero, r.esito);
    emit figure_cambiate();
}

void Banco::conclusa()
{
    m_linea.reset();
    emit concluso();
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
    return m_registro.scrivi(riga.testo(), errore);
}
