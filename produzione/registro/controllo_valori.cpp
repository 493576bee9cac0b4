// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllo_valori.h"

#include "codici_uscita.h"
#include "sintetizzatore.h"
#include "valori_unita.h"

#include <QRegularExpression>

namespace controllo_valori {

namespace {
QString finestra(Banda banda)
{
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(testo_finestra_rx(banda)),
                                         QLatin1String(nome_banda(banda)));
}
} // namespace

QString citazione(const QString &valore)
{
    constexpr int MASSIMO = 40;
    const QString testo =
        valore.size() > MASSIMO ? valore.left(MASSIMO) + QStringLiteral("...") : valore;
    return QLatin1Char('"') + testo + QLatin1Char('"');
}

ErroreValore errore(int codice, const QString &nome, const QString &testo)
{
    return {codice, nome + QStringLiteral(": ") + testo};
}

ErroreValore non_valido(const QString &nome, const QString &valore, const QString &atteso)
{
    if (valore.isEmpty())
        return errore(codice_uscita::USO, nome,
                      QStringLiteral("empty value; expected %1").arg(atteso));
    return errore(codice_uscita::USO, nome,
                  QStringLiteral("%1 is not valid; expected %2").arg(citazione(valore), atteso));
}

ErroreValore fuori_range(const QString &nome, const QString &valore, const QString &atteso)
{
    return errore(codice_uscita::FUORI_RANGE, nome,
                  QStringLiteral("%1 is out of range; expected %2").arg(citazione(valore), atteso));
}

bool cifre(const QString &v)
{
    static const QRegularExpression forma(QStringLiteral("^[0-9]+$"));
    return forma.match(v).hasMatch();
}

bool decimale(const QString &v)
{
    static const QRegularExpression forma(QStringLiteral("^[0-9]+(\\.[0-9]+)?$"));
    return forma.match(v).hasMatch();
}

std::variant<Frequenza, ErroreValore> frequenza(const QString &nome, const QString &valore)
{
    static const QString atteso =
        QStringLiteral("MHz, %1 or %2").arg(finestra(Banda::VHF), finestra(Banda::UHF));
    if (!decimale(valore))
        return non_valido(nome, valore, atteso);
    const Frequenza f(valore.toStdString());
    // Only what a unit of one band or the other takes: nothing between the two.
    if (!f.banda())
        return fuori_range(nome, valore, atteso);
    // The window would program a nearby channel without a word.
    const PostoInGriglia griglia = f.griglia();
    if (!griglia.canale)
        return errore(codice_uscita::FUORI_RANGE, nome,
                      QStringLiteral("%1 is not a channel of the 12.5 kHz grid; the nearest "
                                     "are %2 and %3")
                          .arg(citazione(valore), QString::fromStdString(griglia.sotto),
                               QString::fromStdString(griglia.sopra)));
    return f;
}

} // namespace controllo_valori
