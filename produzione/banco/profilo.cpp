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
    QStringList r{riga("codice", intero(i.codice)),
                  riga("frequenza", QStringLiteral("%1 MHz (%2)")
                                        .arg(frequenza(i.frequenza),
                                             QLatin1String(nome_banda(contenuto.banda)))),
                  riga("rele", intero(i.rele)), riga("impulsi", intero(i.impulsi))};
    for (int g = 0; g < NUM_GRUPPI; ++g)
        r << riga(GRUPPI_OPZIONI[g].nome, opzione(g, i.opzioni[g]));
    return r;
}
