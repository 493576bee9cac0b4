// SPDX-License-Identifier: GPL-3.0-or-later
#include "statistiche.h"

#include "esiti.h"

#include <algorithm>

namespace {
constexpr qint64 UN_MINUTO_MS = 60'000;
constexpr double UN_ORA_MS = 3'600'000;

void conta(StatistichePorta &s, const RecordRegistro &r)
{
    ++s.unita;
    if (r.esito == 0)
        ++s.ok;
    else if (r.esito == esiti::INTERROTTO)
        ++s.interrotte;
    else
        ++s.fallite;
    if (!s.prima.isValid() || r.ora < s.prima)
        s.prima = r.ora;
    if (!s.ultima.isValid() || r.ora > s.ultima)
        s.ultima = r.ora;
}

void conta_codice(QList<CodiciPiano> &piani, const RecordRegistro &r)
{
    auto piano = std::find_if(piani.begin(), piani.end(),
                              [&r](const CodiciPiano &p) { return p.piano == r.piano; });
    if (piano == piani.end()) {
        piani.append(CodiciPiano{r.piano});
        piano = piani.end() - 1;
    }
    if (r.codice_stato == QLatin1String("dato"))
        ++piano->dati;
    else if (r.codice_stato == QLatin1String("speso"))
        ++piano->spesi;
    else if (r.codice_stato == QLatin1String("restituito"))
        ++piano->restituiti;
}
} // namespace

std::optional<double> StatistichePorta::resa() const
{
    if (ok + fallite == 0)
        return std::nullopt;
    return static_cast<double>(ok) / (ok + fallite);
}

qint64 StatistichePorta::durata_ms() const
{
    return prima.isValid() && ultima.isValid() ? prima.msecsTo(ultima) : 0;
}

std::optional<double> StatistichePorta::unita_ora() const
{
    const qint64 ms = durata_ms();
    if (ms < UN_MINUTO_MS)
        return std::nullopt;
    return unita / (static_cast<double>(ms) / UN_ORA_MS);
}

void conta_record(Statistiche &s, const RecordRegistro &r)
{
    auto porta = std::find_if(s.porte.begin(), s.porte.end(),
                              [&r](const StatistichePorta &p) { return p.porta == r.porta; });
    if (porta == s.porte.end()) {
        s.porte.append(StatistichePorta{});
        porta = s.porte.end() - 1;
        porta->porta = r.porta;
    }
    conta(*porta, r);
    conta(s.totale, r);
    if (!r.piano.isEmpty())
        conta_codice(s.piani, r);
}

Statistiche statistiche(const QList<RecordRegistro> &record)
{
    Statistiche s;
    for (const RecordRegistro &r : record)
        conta_record(s, r);
    return s;
}

int unita_ultima_ora(const QList<RecordRegistro> &record, const QDateTime &adesso)
{
    const QDateTime da = adesso.addMSecs(-static_cast<qint64>(UN_ORA_MS));
    int quante = 0;
    for (const RecordRegistro &r : record) {
        if (r.ora > da && r.ora <= adesso)
            ++quante;
    }
    return quante;
}

QStringList porte_sospette(const Statistiche &s)
{
    constexpr int FALLITE_MINIME = 3;
    constexpr double VOLTE = 3;
    QStringList sospette;
    const int contate = s.totale.ok + s.totale.fallite;
    if (contate == 0)
        return sospette;
    const double tasso = static_cast<double>(s.totale.fallite) / contate;
    for (const StatistichePorta &p : s.porte) {
        const int proprie = p.ok + p.fallite;
        if (p.fallite >= FALLITE_MINIME && proprie > 0 &&
            static_cast<double>(p.fallite) / proprie >= VOLTE * tasso)
            sospette << p.porta;
    }
    return sospette;
}
