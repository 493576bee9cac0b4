// SPDX-License-Identifier: GPL-3.0-or-later
#include "posto.h"

#include "occupanti.h"
#include "sorveglianza_dispositivi.h"

Posto::Posto(const QString &percorso, int com, const Incarico &incarico, QObject *parent)
    : QObject(parent), m_ricevitore(this), m_dialogo(m_ricevitore, incarico, this)
{
    m_nome = indirizza(m_ricevitore.porta(), percorso, com);
    m_percorso = percorso;
    m_riprova.setInterval(tempi::RIPROVA_MS);
    connect(&m_riprova, &QTimer::timeout, this, &Posto::riprova);
    m_promemoria.setSingleShot(true);
    connect(&m_promemoria, &QTimer::timeout, this, [this] {
        if (m_stato == Stato::Rimozione)
            emit unita_da_togliere(m_numero);
    });
    connect(&m_dialogo, &DialogoUnita::iniziata, this, [this] {
        cambia_stato(Stato::Lavoro);
        emit unita_iniziata(m_numero);
    });
    connect(&m_dialogo, &DialogoUnita::progresso, this,
            [this](Ricevitore::Operazione operazione, int cella, int ultima) {
                emit progresso(m_numero, operazione, cella, ultima);
            });
    connect(&m_dialogo, &DialogoUnita::conclusa, this, &Posto::conclusa);
}

QString Posto::indirizza(PortaSeriale &porta, const QString &percorso, int com)
{
    if (percorso.isEmpty()) {
        porta.imposta_numero(com);
        return QStringLiteral("Com %1").arg(com);
    }
    porta.mappa(PortaSeriale::PRIMA, percorso);
    return percorso;
}

void Posto::avvia()
{
    m_numero = 0;
    m_fermato = false;
    m_sospeso = false;
    m_senza_codici = false;
    if (m_ripresa && !m_percorso.isEmpty() && !SorveglianzaDispositivi::esiste(m_percorso)) {
        persa(QString());
        return;
    }
    prossima_unita();
}

void Posto::dispositivo_cambiato(bool presente)
{
    if (presente && m_stato == Stato::Mancante)
        riprova();
}

void Posto::controlla_codici()
{
    if (m_stato == Stato::AttesaCodici)
        riprova();
}

void Posto::riprova()
{
    if (m_fermato || m_sospeso) {
        finisci();
        return;
    }
    if (m_stato == Stato::AttesaCodici) {
        m_riprova.stop();
        prossima_unita();
        return;
    }
    if (!m_percorso.isEmpty() && !SorveglianzaDispositivi::esiste(m_percorso)) {
        // Gone: whatever held it, or led another slot to it, no longer does.
        if (m_ostacolo != Ostacolo::Nessuno || !m_motivo_assenza.isEmpty()) {
            togli_ostacolo();
            emit stato_cambiato(m_stato);
        }
        return;
    }
    m_riprova.stop();
    prossima_unita();
}

void Posto::persa(const QString &quando)
{
    if (!m_ripresa) {
        emit porta_persa(DialogoUnita::descrivi_porta(m_ricevitore.porta(), quando));
        finisci();
        return;
    }
    if (m_sospeso) {
        finisci();
        return;
    }
    m_ricevitore.chiudi();
    cambia_stato(Stato::Mancante);
    m_riprova.start();
}

void Posto::nota_ostacolo()
{
    togli_ostacolo();
    if (m_percorso.isEmpty() || !SorveglianzaDispositivi::esiste(m_percorso))
        return;
    const PortaSeriale &porta = m_ricevitore.porta();
    m_motivo_assenza = porta.motivo();
    if (porta.occupata()) {
        m_ostacolo = Ostacolo::Occupata;
        m_occupante = occupanti::da_blocco(porta.dispositivo());
        if (m_occupante.isEmpty())
            m_occupante = occupanti::da_proc(porta.dispositivo()).join(QStringLiteral(", "));
    } else if (porta.errore_apertura() == QSerialPort::PermissionError) {
        m_ostacolo = Ostacolo::Vietata;
    } else {
        m_ostacolo = Ostacolo::Inutilizzabile;
    }
}

void Posto::togli_ostacolo()
{
    m_ostacolo = Ostacolo::Nessuno;
    m_motivo_assenza.clear();
    m_occupante.clear();
}

void Posto::ferma()
{
    m_fermato = true;
    if (m_stato == Stato::Mancante || m_stato == Stato::AttesaCodici)
        finisci();
    else if (m_stato == Stato::AttesaUnita)
        m_dialogo.interrompi();
    else if (m_stato == Stato::Rimozione)
        m_ricevitore.interrompi();
}

void Posto::sospendi()
{
    m_sospeso = true;
    if (m_stato != Stato::Lavoro && m_stato != Stato::Rimozione)
        ferma();
}

void Posto::controlla_impedimento()
{
    if (m_stato != Stato::AttesaUnita || !m_ripresa || !m_impedimento || m_impedimento().isEmpty())
        return;
    m_controllo = true;
    m_dialogo.interrompi();
    m_controllo = false;
}

void Posto::interrompi()
{
    m_fermato = true;
    if (m_stato == Stato::Lavoro)
        m_dialogo.interrompi();
    else
        ferma();
}

void Posto::prossima_unita()
{
    if (m_fermato || m_sospeso) {
        finisci();
        return;
    }
    if (m_ripresa && m_impedimento) {
        if (const QString motivo = m_impedimento(); !motivo.isEmpty()) {
            m_ricevitore.chiudi();
            const bool nuovo = m_ostacolo != Ostacolo::Impedita || motivo != m_motivo_assenza;
            togli_ostacolo();
            m_ostacolo = Ostacolo::Impedita;
            m_motivo_assenza = motivo;
            if (m_stato == Stato::Mancante && nuovo)
                emit stato_cambiato(m_stato); // the same state, for another reason
            cambia_stato(Stato::Mancante);
            m_riprova.start();
            return;
        }
    }
    if (m_codici_disponibili) {
        switch (m_codici_disponibili()) {
        case Distributore::Disponibilita::Esauriti:
            m_senza_codici = true;
            finisci();
            return;
        case Distributore::Disponibilita::Attesa:
            m_ricevitore.chiudi();
            cambia_stato(Stato::AttesaCodici);
            m_riprova.start();
            return;
        case Distributore::Disponibilita::Pronti:
            break;
        }
    }
    ++m_numero;
    togli_ostacolo();
    cambia_stato(Stato::AttesaUnita);
    m_dialogo.avvia();
}

void Posto::conclusa(const EsitoUnita &esito)
{
    // Stopped while waiting for a unit: there was no unit.
    if (!esito.iniziata && esito.esito == esiti::INTERROTTO && (m_fermato || m_controllo)) {
        --m_numero;
        if (m_fermato)
            finisci();
        else
            prossima_unita();
        return;
    }
    // The device went, or never opened, before any unit came.
    if (m_ripresa && !esito.iniziata && esito.esito == esiti::PORTA) {
        --m_numero;
        nota_ostacolo();
        persa(QString());
        return;
    }
    emit unita_conclusa(m_numero, esito);
    if (m_fermato || (m_quante != 0 && m_numero >= m_quante)) {
        finisci();
        return;
    }
    if (!m_ricevitore.apri()) {
        persa(QStringLiteral("between units"));
        return;
    }
    cambia_stato(Stato::Rimozione);
    m_ascolto_rimozione = connect(&m_ricevitore, &Ricevitore::concluso, this, &Posto::rimossa);
    m_promemoria.start(tempi::promemoria_ms(m_silenzio_ms));
    m_ricevitore.attendi_rimozione(m_silenzio_ms);
}

void Posto::rimossa(const Ricevitore::Risultato &r)
{
    disconnect(m_ascolto_rimozione);
    m_promemoria.stop();
    switch (r.esito) {
    case Ricevitore::EsitoOperazione::Riuscito:
        prossima_unita();
        return;
    case Ricevitore::EsitoOperazione::PortaChiusa:
        if (m_ripresa && (m_fermato || m_sospeso))
            break;
        persa(QStringLiteral("between units"));
        return;
    default:
        break;
    }
    finisci();
}

void Posto::cambia_stato(Stato stato)
{
    if (m_stato == stato)
        return;
    m_stato = stato;
    emit stato_cambiato(stato);
}

void Posto::finisci()
{
    m_riprova.stop();
    // Between units there is no dialogue to end: just let the port go.
    m_ricevitore.chiudi();
    cambia_stato(Stato::Fermo);
    emit finito();
}
