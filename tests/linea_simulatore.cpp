// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's tests' fixture: m5sim and the PC's bare end of its line, up to a dialogue begun.
#include "linea_simulatore.h"

#include "linea_grezza.h"

#include <QtTest>

#include <unistd.h>

using namespace linea_grezza;

namespace {
constexpr char NIENTE = 'Z'; // in a dialogue, a byte that asks nothing
}

LineaSimulatore::LineaSimulatore(const QStringList &argomenti) : sim(argomenti) {}

LineaSimulatore::~LineaSimulatore()
{
    if (fd >= 0)
        ::close(fd);
}

bool LineaSimulatore::apri()
{
    avvia_e_apri();
    return !QTest::currentTestFailed();
}

bool LineaSimulatore::entra()
{
    avvia_ed_entra();
    return !QTest::currentTestFailed();
}

void LineaSimulatore::avvia_e_apri()
{
    QVERIFY(sim.avvia());
    fd = apri_porta(sim.percorso());
    QVERIFY2(fd >= 0, qPrintable(sim.percorso()));
}

void LineaSimulatore::avvia_ed_entra()
{
    avvia_e_apri();
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(leggi(fd, 1, ATTESA_MS), QByteArray("K"));
    QVERIFY(invia(fd, "U"));
    QVERIFY(sim.attendi_ricevuti(1, ATTESA_MS));
    // An announcement may have crossed our "U"; nothing can follow it.
    leggi_per(fd, 50);
}

void LineaSimulatore::scambia(const QByteArray &richieste, QList<QByteArray> &risposte)
{
    risposte.clear();
    const qsizetype gia_ricevuti = sim.ricevuti().size();
    // A byte that asks nothing closes the exchange: once it is on the trace,
    // every reply before it is on the trace and on the line.
    const QByteArray dati = richieste + QByteArray(1, NIENTE);
    QVERIFY(invia(fd, dati));
    QVERIFY(sim.attendi_ricevuti(int(gia_ricevuti + dati.size()), ATTESA_MS));

    qsizetype entrati = 0;
    QByteArray uscite;
    for (const ByteTraccia &b : sim.traccia()) {
        if (b.entrata && ++entrati > gia_ricevuti)
            risposte.append(QByteArray());
        else if (!b.entrata && !risposte.isEmpty())
            risposte.last().append(static_cast<char>(b.byte));
    }
    risposte.removeLast();
    for (const QByteArray &r : std::as_const(risposte))
        uscite += r;
    QCOMPARE(leggi(fd, uscite.size(), ATTESA_MS), uscite);
}
