// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllo_valori.h"

#include "esiti.h"
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

ErroreValore errore(int esito, const QString &nome, const QString &testo)
{
    return {esito, nome + QStringLiteral(": ") + testo};
}

ErroreValore non_valido(const QString &nome, const QString &valore, const QString &atteso)
{
    if (valore.isEmpty())
        return errore(esiti::USO, nome, QStringLiteral("empty value; expected %1").arg(atteso));
    return errore(esiti::USO, nome,
                  QStringLiteral("%1 is not valid; expected %2").arg(citazione(valore), atteso));
}

ErroreValore fuori_range(const QString &nome, const QString &valore, const QString &atteso)
{
    return errore(esiti::FUORI_RANGE, nome,
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
        return errore(esiti::FUORI_RANGE, nome,
                      QStringLiteral("%1 is not a channel of the 12.5 kHz grid; the nearest "
                                     "are %2 and %3")
                          .arg(citazione(valore), QString::fromStdString(griglia.sotto),
                               QString::fromStdString(griglia.sopra)));
    return f;
}

std::variant<PercorsoNumerato, ErroreValore>
percorso_numerato(const QString &nome, const QString &valore, int massimo, const QString &atteso)
{
    const qsizetype uguale = valore.indexOf(QLatin1Char('='));
    if (uguale <= 0 || uguale == valore.size() - 1)
        return non_valido(nome, valore, atteso);
    const QString numero = valore.left(uguale);
    if (!cifre(numero))
        return non_valido(nome, valore, atteso);
    const int n = numero.size() > 3 ? 0 : numero.toInt();
    if (n < 1 || n > massimo)
        return fuori_range(nome, valore, atteso);
    return PercorsoNumerato{n, valore.mid(uguale + 1)};
}

std::optional<ErroreValore> aiuto_da_solo(const QStringList &parole, bool aiuto, bool versione)
{
    // Next to a command either would turn that command into something else,
    // and a script would take it for done.
    if ((!aiuto && !versione) || parole.size() == 2)
        return std::nullopt;
    return ErroreValore{esiti::USO,
                        QStringLiteral("%1 is given alone; it cannot go with other arguments")
                            .arg(aiuto ? QStringLiteral("--help") : QStringLiteral("--version"))};
}

} // namespace controllo_valori
