// SPDX-License-Identifier: GPL-3.0-or-later
#include "linea.h"

#include "distributore.h"

#include "registro.h"

#include <QDateTime>
#include <QFileInfo>

Linea::Linea(const Incarico &incarico, QObject *parent) : QObject(parent), m_incarico(incarico) {}

Linea::~Linea() = default;

Posto &Linea::aggiungi(const QString &percorso, int com)
{
    auto *posto = new Posto(percorso, com, m_incarico, this);
    m_posti.append(posto);
    m_conti_posti.insert(posto, Conti{});
    connect(posto, &Posto::unita_conclusa, this,
            [this, posto](int numero, const EsitoUnita &esito) {
                conclusa_unita(posto, numero, esito);
            });
    connect(posto, &Posto::unita_da_togliere, this,
            [this, posto](int numero) { emit unita_da_togliere(posto, numero); });
    connect(posto, &Posto::porta_persa, this, [this](const QString &descrizione) {
        fallimento(esiti::PORTA, descrizione + QStringLiteral("; no more units on it"));
    });
    connect(posto, &Posto::finito, this, [this, posto] { posto_finito(posto); });
    return *posto;
}

void Linea::imposta_ripresa()
{
    for (Posto *p : std::as_const(m_posti)) {
        p->imposta_ripresa(true);
        p->imposta_impedimento([this, p] {
            Posto *altro = condiviso_con(p);
            if (!altro)
                return QString();
            // The other slot looks again too, once this one's check is over.
            QMetaObject::invokeMethod(altro, &Posto::controlla_impedimento, Qt::QueuedConnection);
            return dispositivo_condiviso(p, altro);
        });
    }
}

Posto *Linea::condiviso_con(const Posto *posto) const
{
    const QString dispositivo = QFileInfo(posto->percorso()).canonicalFilePath();
    if (dispositivo.isEmpty())
        return nullptr;
    for (Posto *altro : m_posti) {
        if (altro != posto && !altro->percorso().isEmpty() &&
            QFileInfo(altro->percorso()).canonicalFilePath() == dispositivo)
            return altro;
    }
    return nullptr;
}

QString Linea::dispositivo_condiviso(const Posto *posto, const Posto *altro)
{
    return QStringLiteral("%1 and %2 lead to the same device, %3: give each slot its own")
        .arg(posto->nome(), altro->nome(), QFileInfo(altro->percorso()).canonicalFilePath());
}

void Linea::imposta_unita(int quante)
{
    for (Posto *p : std::as_const(m_posti))
        p->imposta_unita(quante);
}

void Linea::imposta_silenzio(int ms)
{
    for (Posto *p : std::as_const(m_posti))
        p->imposta_silenzio(ms);
}

void Linea::imposta_traccia(Traccia *traccia)
{
    for (Posto *p : std::as_const(m_posti))
        p->ricevitore().porta().imposta_traccia(traccia);
}

void Linea::imposta_registro(Registro *registro, const QString &nome)
{
    m_registro = registro;
    m_nome_registro = nome;
}

void Linea::imposta_distributore(Distributore *distributore)
{
    m_distributore = distributore;
    if (!distributore->piano())
        return;
    // Looked at after the dialogue's step that took a code, not within it.
    connect(distributore, &Distributore::cambiati, this, &Linea::codici_cambiati,
            Qt::QueuedConnection);
    for (Posto *p : std::as_const(m_posti)) {
        p->imposta_fonte_codici(
            [distributore, p](QString &errore) { return distributore->prendi(p->nome(), errore); });
        p->imposta_codici_disponibili([distributore] { return distributore->disponibilita(); });
    }
}

// The last code went to a unit: slots waiting for their next unit stop
// now, rather than take one they could not program.
void Linea::codici_cambiati()
{
    if (m_distributore->disponibilita() != Distributore::Disponibilita::Esauriti) {
        for (Posto *p : std::as_const(m_posti))
            p->controlla_codici();
        return;
    }
    for (Posto *p : std::as_const(m_posti)) {
        if (p->stato() == Posto::Stato::AttesaUnita || p->stato() == Posto::Stato::Mancante ||
            p->stato() == Posto::Stato::AttesaCodici)
            p->ferma_senza_codici();
    }
}

void Linea::avvia()
{
    // Stopped before it began: no port is touched.
    m_in_corso = m_interrotta || m_fermata ? 0 : static_cast<int>(m_posti.size());
    if (m_in_corso == 0) {
        emit conclusa();
        return;
    }
    for (Posto *p : std::as_const(m_posti))
        p->avvia();
}

void Linea::interrompi()
{
    m_interrotta = true;
    for (Posto *p : std::as_const(m_posti))
        p->interrompi();
}

void Linea::ferma(int esito, const QString &descrizione)
{
    fallimento(esito, descrizione);
    m_fermata = true;
    for (Posto *p : std::as_const(m_posti))
        p->ferma();
    emit fermata(descrizione);
}

Linea::Conti Linea::conti(const Posto *posto) const
{
    return m_conti_posti.value(posto);
}

void Linea::conclusa_unita(Posto *posto, int numero, const EsitoUnita &esito)
{
    Resoconto r{
        posto->nome(),          m_incarico.nome(), numero, esito, QDateTime::currentDateTimeUtc(),
        posto->campi_registro()};
    if (esito.esito == esiti::ESAURITI)
        m_esaurita = true;
    Conti &c = m_conti_posti[posto];
    ++c.unita;
    ++m_conti.unita;
    if (esito.riuscita()) {
        ++c.riuscite;
        ++m_conti.riuscite;
    } else {
        ++m_fallite;
        fallimento(
            esito.esito,
            QStringLiteral("%1 unit %2: %3").arg(posto->nome()).arg(numero).arg(esito.messaggio));
    }
    if (m_distributore)
        archivia(posto, r);
    // Whatever became of the label, the unit is as good as it ended.
    if (m_etichette && esito.riuscita()) {
        const QString errore = m_etichette(r);
        r.aggiunte << qMakePair(QStringLiteral("etichetta"),
                                QJsonValue(errore.isEmpty() ? QStringLiteral("stampata") : errore));
    }
    QString errore;
    if (m_registro && !m_registro->registra(riga_registro(r), errore))
        ferma(esiti::PORTA,
              QStringLiteral("%1: cannot write the record of %2 unit %3: %4; the run stopped")
                  .arg(m_nome_registro, posto->nome())
                  .arg(numero)
                  .arg(errore));
    emit unita_registrata(posto, r);
}

void Linea::archivia(Posto *posto, Resoconto &r)
{
    const EsitoUnita &esito = r.esito;
    if (m_distributore->piano()) {
        QJsonValue stato;
        if (esito.codice)
            stato = Distributore::saldo_previsto(esito.riuscita(), esito.scrittura_avviata);
        r.aggiunte << qMakePair(QStringLiteral("piano"), QJsonValue(m_distributore->impronta()))
                   << qMakePair(QStringLiteral("codice_stato"), stato);
    }
    QString errore;
    if (m_distributore->chiudi(esito.codice, esito.riuscita(), esito.scrittura_avviata, r.id,
                               riga_registro(r), errore))
        return;
    // A code the store could not settle stays taken: it counts as spent.
    if (esito.codice)
        r.aggiunte.last().second = QStringLiteral("speso");
    ferma(esiti::PORTA, QStringLiteral("the store of codes %1: %2 unit %3: %4; the run stopped")
                            .arg(m_distributore->deposito().percorso(), posto->nome())
                            .arg(r.numero)
                            .arg(errore));
}

void Linea::fallimento(int esito, const QString &descrizione)
{
    if (m_primo_esito != 0)
        return;
    m_primo_esito = esito;
    m_primo = descrizione;
}

void Linea::posto_finito(Posto *posto)
{
    if (posto->senza_codici()) {
        m_esaurita = true;
        fallimento(esiti::ESAURITI, QStringLiteral("plan %1 has no code left (\"CODICI ESAURITI\")")
                                        .arg(m_distributore->impronta()));
    }
    if (--m_in_corso == 0)
        emit conclusa();
}
