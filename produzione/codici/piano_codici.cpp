// SPDX-License-Identifier: GPL-3.0-or-later
#include "piano_codici.h"

#include "esiti.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace {
constexpr qint64 TESTO_MASSIMO = 1 << 20;

// A code as a user writes it: digits alone, no sign, no spaces inside.
std::optional<int> numero(const QString &testo)
{
    static const QRegularExpression cifre(QStringLiteral("^[0-9]{1,9}$"));
    if (!cifre.match(testo).hasMatch())
        return std::nullopt;
    return testo.toInt();
}

bool nel_campo(int codice)
{
    return codice >= PianoCodici::CODICE_MINIMO && codice <= PianoCodici::CODICE_MASSIMO;
}

ErroreValore fuori_campo(const QString &dove, const QString &testo)
{
    return {esiti::FUORI_RANGE, QStringLiteral("%1: \"%2\" is out of range (codes are %3-%4)")
                                    .arg(dove, testo)
                                    .arg(PianoCodici::CODICE_MINIMO)
                                    .arg(PianoCodici::CODICE_MASSIMO)};
}
} // namespace

std::variant<PianoCodici, ErroreValore> PianoCodici::da_intervallo(const QString &testo,
                                                                   const QString &nome)
{
    const QStringList parti = testo.split(QLatin1Char('-'));
    const auto da = numero(parti.value(0));
    const auto a = numero(parti.value(1));
    if (parti.size() != 2 || !da || !a)
        return ErroreValore{
            esiti::USO, QStringLiteral("%1: \"%2\" is not valid; give FIRST-LAST, such as 1-500")
                            .arg(nome, testo)};
    if (!nel_campo(*da) || !nel_campo(*a))
        return fuori_campo(nome, testo);
    if (*da > *a)
        return ErroreValore{esiti::USO,
                            QStringLiteral("%1: \"%2\" runs backwards; give the lower code first")
                                .arg(nome, testo)};
    QList<int> codici;
    codici.reserve(*a - *da + 1);
    for (int c = *da; c <= *a; ++c)
        codici.append(c);
    return PianoCodici(std::move(codici));
}

std::variant<PianoCodici, ErroreValore> PianoCodici::da_testo(const QByteArray &testo,
                                                              const QString &nome)
{
    QList<int> codici;
    QHash<int, int> riga_di; // each code and the line that gave it
    const QList<QByteArray> righe = testo.split('\n');
    for (qsizetype i = 0; i < righe.size(); ++i) {
        const int riga = static_cast<int>(i) + 1;
        QString t = QString::fromUtf8(righe.at(i));
        t = t.left(t.indexOf(QLatin1Char('#'))).trimmed();
        if (t.isEmpty())
            continue;
        const QString dove = QStringLiteral("%1: line %2").arg(nome).arg(riga);
        const auto c = numero(t);
        if (!c)
            return ErroreValore{esiti::USO,
                                QStringLiteral("%1: \"%2\" is not a code").arg(dove, t)};
        if (!nel_campo(*c))
            return fuori_campo(dove, t);
        if (const int prima = riga_di.value(*c); prima != 0)
            return ErroreValore{
                esiti::USO, QStringLiteral("%1: code %2 is given twice, also on line %3; a code "
                                           "goes to one unit only")
                                .arg(dove)
                                .arg(*c)
                                .arg(prima)};
        riga_di.insert(*c, riga);
        codici.append(*c);
    }
    if (codici.isEmpty())
        return ErroreValore{esiti::USO,
                            QStringLiteral("%1: no code in it; give one code a line").arg(nome)};
    return PianoCodici(std::move(codici));
}

std::variant<PianoCodici, ErroreValore> PianoCodici::carica(const QString &percorso)
{
    const QString nome = QStringLiteral("--codici-da %1").arg(percorso);
    QFile file(percorso);
    if (!file.open(QIODevice::ReadOnly))
        return ErroreValore{esiti::USO, QStringLiteral("%1: %2").arg(nome, file.errorString())};
    // 4096 codes with a comment each fit many times over.
    const QByteArray testo = file.read(TESTO_MASSIMO + 1);
    if (file.error() != QFileDevice::NoError)
        return ErroreValore{esiti::USO, QStringLiteral("%1: %2").arg(nome, file.errorString())};
    if (testo.size() > TESTO_MASSIMO)
        return ErroreValore{esiti::USO,
                            QStringLiteral("%1: too large for a file of codes").arg(nome)};
    return da_testo(testo, nome);
}

QString PianoCodici::impronta() const
{
    QByteArray testo;
    for (const int c : m_codici)
        testo += QByteArray::number(c) + '\n';
    return QString::fromLatin1(
        QCryptographicHash::hash(testo, QCryptographicHash::Sha256).toHex().left(8));
}
