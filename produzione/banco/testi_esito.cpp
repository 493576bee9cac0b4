// SPDX-License-Identifier: GPL-3.0-or-later
#include "testi_esito.h"

#include "messaggi.h"

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
    default:
        testo = tr("Errore %1").arg(e.esito);
        break;
    }
    if (e.scritta_in_parte)
        testo += tr(" · unità programmata in parte: riprogrammarla");
    return testo.trimmed();
}

QStringList TestiEsito::dettagli(const EsitoUnita &e)
{
    QStringList righe;
    for (const Differenza &d : e.differenze)
        righe << tr("%1: atteso %2, trovato %3")
                     .arg(QString::fromStdString(d.campo), QString::fromStdString(d.attesa),
                          QString::fromStdString(d.trovata));
    if (righe.isEmpty() && e.esito == esiti::RILETTURA)
        righe << e.messaggio;
    return righe;
}

QString TestiEsito::porta_inutilizzabile()
{
    return QString::fromLatin1(messaggio::ERRORE_PORTA).trimmed();
}
