// SPDX-License-Identifier: GPL-3.0-or-later
#include "testi_esito.h"

#include "messaggi.h"
#include "profilo.h"

QString TestiEsito::motivo(const EsitoUnita &e)
{
    QString testo;
    switch (e.esito) {
    case esiti::PORTA:
        testo = QString::fromLatin1(messaggio::ERRORE_PORTA);
        break;
    case esiti::TIME_OUT:
        testo = QString::fromLatin1(messaggio::ERRORE_TIME_OUT);
        break;
    case esiti::LETTURA:
        testo = QString::fromLatin1(messaggio::ERRORE_LETTURA);
        break;
    case esiti::FUORI_BANDA:
        testo = QString::fromLatin1(messaggio::FUORI_BANDA);
        break;
    case esiti::FUORI_RANGE:
        testo = QString::fromLatin1(messaggio::VALORE_FUORI_RANGE);
        break;
    case esiti::RILETTURA:
        testo = tr("La rilettura differisce da quanto scritto");
        break;
    case esiti::DIVERSA:
        testo = tr("Valori diversi dal profilo");
        break;
    case esiti::INTERROTTO:
        testo = tr("Interrotto");
        break;
    case esiti::ESAURITI:
        testo = tr("Codici esauriti: nulla è stato scritto");
        break;
    default:
        testo = tr("Errore %1").arg(e.esito);
        break;
    }
    testo = testo.trimmed();
    if (e.scritta_in_parte)
        testo += tr(" · unità programmata in parte: riprogrammarla");
    return testo;
}

QStringList TestiEsito::dettagli(const EsitoUnita &e)
{
    QStringList righe;
    for (const Differenza &d : e.differenze)
        righe << tr("%1: atteso %2, trovato %3")
                     .arg(Profilo::nome_campo(QString::fromStdString(d.campo)),
                          QString::fromStdString(d.attesa), QString::fromStdString(d.trovata));
    if (righe.isEmpty() && e.esito == esiti::RILETTURA)
        righe << e.messaggio;
    return righe;
}

QString TestiEsito::ultimo_esito(const EsitoUnita &e)
{
    if (e.riuscita())
        return tr("Ultima unità: OK");
    if (e.esito == esiti::INTERROTTO && !e.scritta_in_parte)
        return tr("Ultima unità: INTERROTTA");
    return tr("Ultima unità: FALLITA · %1").arg(motivo(e));
}

QString TestiEsito::porta_inutilizzabile()
{
    return QString::fromLatin1(messaggio::ERRORE_PORTA).trimmed();
}

QString TestiEsito::occupata(const QString &occupante)
{
    if (occupante.isEmpty())
        return tr("Porta occupata da un altro programma");
    return tr("Porta occupata da %1").arg(occupante);
}

QString TestiEsito::condivisa(int numero)
{
    if (numero <= 0)
        return tr("Stesso dispositivo di un altro posto");
    return tr("Stesso dispositivo del posto %1").arg(numero);
}

QString TestiEsito::consiglio(QuadroPosto::Aspetto aspetto)
{
    using Aspetto = QuadroPosto::Aspetto;
    switch (aspetto) {
    case Aspetto::Mancante:
        return tr("Adattatore assente: collegarlo");
    case Aspetto::Attesa:
        return tr("Collegare un'unità");
    case Aspetto::Lavoro:
        return tr("Non togliere l'unità");
    case Aspetto::Riuscito:
    case Aspetto::Fallito:
        return tr("Togliere l'unità");
    case Aspetto::DaTogliere:
        return tr("Togliere l'unità, lasciare il posto vuoto, poi collegare la prossima");
    case Aspetto::Occupato:
        return tr("Chiudere quel programma, poi attendere");
    case Aspetto::Doppio:
        return tr("Dare a ogni posto il suo adattatore");
    case Aspetto::Pausa:
        return tr("Impostazioni in corso: attendere");
    case Aspetto::Esaurito:
        return tr("Dare un nuovo piano di codici (Impostazioni...)");
    }
    return QString();
}

QString TestiEsito::consiglio_accesso()
{
    return tr("Dare accesso alla porta (gruppo dialout), poi attendere");
}

QString TestiEsito::consiglio_liberare()
{
    return tr("Liberare la porta, poi attendere");
}

QString TestiEsito::consiglio_ricollegare(bool scritta_in_parte)
{
    return scritta_in_parte ? tr("Ricollegare l'adattatore, poi riprogrammare l'unità")
                            : tr("Ricollegare l'adattatore, poi rifare l'unità");
}
