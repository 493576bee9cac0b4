// SPDX-License-Identifier: GPL-3.0-or-later
#include "profilo.h"

#include <QCryptographicHash>

namespace {
QString intero(const std::optional<int> &n)
{
    return n ? QString::number(*n) : QStringLiteral("-");
}

QString frequenza(const std::optional<Frequenza> &f)
{
    return f ? QString::fromStdString(f->testo()) : QStringLiteral("-");
}

QString opzione(int g, const std::optional<int> &valore)
{
    if (!valore)
        return QStringLiteral("-");
    return QString::fromStdString(testo_opzione(GRUPPI_OPZIONI[g], *valore));
}
} // namespace

QString Profilo::impronta() const
{
    const ValoriRichiesti &i = contenuto.richiesti;
    QStringList campi{QStringLiteral("banda=") + QLatin1String(nome_banda(contenuto.banda)),
                      QStringLiteral("codice=") + intero(i.codice),
                      QStringLiteral("frequenza=") + frequenza(i.frequenza),
                      QStringLiteral("rele=") + intero(i.rele),
                      QStringLiteral("impulsi=") + intero(i.impulsi)};
    for (int g = 0; g < NUM_GRUPPI; ++g)
        campi << QLatin1String(GRUPPI_OPZIONI[g].nome) + QLatin1Char('=') +
                     opzione(g, i.opzioni[g]);
    const QByteArray testo = campi.join(QLatin1Char('\n')).toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(testo, QCryptographicHash::Sha256).toHex().left(8));
}

Incarico Profilo::incarico() const
{
    Incarico i;
    i.azione = verifica ? Incarico::Azione::Verifica : Incarico::Azione::Programma;
    i.richiesti = contenuto.richiesti;
    i.banda_richiesti = contenuto.banda;
    return i;
}

QStringList Profilo::righe() const
{
    const ValoriRichiesti &i = contenuto.richiesti;
    QStringList r{QStringLiteral("codice %1").arg(intero(i.codice)),
                  QStringLiteral("frequenza %1 MHz (%2)")
                      .arg(frequenza(i.frequenza), QLatin1String(nome_banda(contenuto.banda))),
                  QStringLiteral("rele %1").arg(intero(i.rele)),
                  QStringLiteral("impulsi %1").arg(intero(i.impulsi))};
    for (int g = 0; g < NUM_GRUPPI; ++g)
        r << QStringLiteral("%1 %2").arg(QLatin1String(GRUPPI_OPZIONI[g].nome),
                                         opzione(g, i.opzioni[g]));
    return r;
}
