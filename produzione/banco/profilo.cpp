// SPDX-License-Identifier: GPL-3.0-or-later
#include "profilo.h"

using file_unita::testo_frequenza;
using file_unita::testo_gruppo;
using file_unita::testo_intero;

QString Profilo::impronta() const
{
    return file_unita::impronta(contenuto.richiesti, contenuto.banda);
}

Incarico Profilo::incarico() const
{
    Incarico i;
    i.azione = verifica ? Incarico::Azione::Verifica : Incarico::Azione::Programma;
    i.richiesti = contenuto.richiesti;
    i.banda_richiesti = contenuto.banda;
    return i;
}

QString Profilo::nome_campo(const QString &campo)
{
    // The unit file's own keys: lupdate finds them here.
    static const char *const nomi[] = {
        QT_TR_NOOP("codice"),        QT_TR_NOOP("frequenza"), QT_TR_NOOP("rele"),
        QT_TR_NOOP("impulsi"),       QT_TR_NOOP("toni"),      QT_TR_NOOP("uscite"),
        QT_TR_NOOP("trasmettitori"), QT_TR_NOOP("banda"),
    };
    for (const char *nome : nomi) {
        if (campo == QLatin1String(nome))
            return tr(nome);
    }
    return campo;
}

QStringList Profilo::righe() const
{
    const ValoriRichiesti &i = contenuto.richiesti;
    const auto riga = [](const char *campo, const QString &valore) {
        return nome_campo(QLatin1String(campo)) + QLatin1Char(' ') + valore;
    };
    const QString codice = piano ? tr("%1 dal piano %2 (%3)")
                                       .arg(origine_piano, piano->impronta())
                                       .arg(piano->codici().size())
                                 : testo_intero(i.codice);
    QStringList r{riga("codice", codice),
                  riga("frequenza", QStringLiteral("%1 MHz (%2)")
                                        .arg(testo_frequenza(i.frequenza),
                                             QLatin1String(nome_banda(contenuto.banda)))),
                  riga("rele", testo_intero(i.rele)), riga("impulsi", testo_intero(i.impulsi))};
    for (int g = 0; g < NUM_GRUPPI; ++g)
        r << riga(GRUPPI_OPZIONI[g].nome, testo_gruppo(g, i.opzioni[g]));
    return r;
}
