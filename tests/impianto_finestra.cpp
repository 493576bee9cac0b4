// SPDX-License-Identifier: GPL-3.0-or-later
// The window tests' fixture: the real window, shown, and what they read off it or do to it.
#include "impianto_finestra.h"

#include <QTest>

namespace {
// Points of w's own surface, not covered by any of its children.
QList<QPoint> punti_liberi(QWidget *w, int quanti)
{
    QList<QPoint> punti;
    for (int y = 0; y < w->height(); ++y) {
        for (int x = 0; x < w->width(); ++x) {
            if (!w->childAt(x, y))
                punti << QPoint(x, y);
            if (punti.size() == quanti)
                return punti;
        }
    }
    return punti;
}
} // namespace

ImpiantoFinestra::ImpiantoFinestra()
{
    // Only a safety net: a receiver that stops answering fails the test
    // instead of hanging it.
    w.collegamento().imposta_limite_annuncio(20000);
    w.collegamento().imposta_limite_risposta(20000);
}

QString ImpiantoFinestra::stato()
{
    return u().txb_stato_con->text();
}

QStringList ImpiantoFinestra::campi()
{
    return {u().txb_Codice_M5->text(), u().txb_FqRx->text(), u().txb_tmp_rele->text(),
            u().txb_Usc_imp->text()};
}

QStringList ImpiantoFinestra::abilitati()
{
    QStringList nomi;
    for (QWidget *c :
         {static_cast<QWidget *>(u().Cmd_connetti), static_cast<QWidget *>(u().Cmb_com),
          static_cast<QWidget *>(u().Cmd_disconetti), static_cast<QWidget *>(u().cmd_programma),
          static_cast<QWidget *>(u().Cmd_init_uhf), static_cast<QWidget *>(u().Cmd_init_vhf)}) {
        if (c->isEnabled())
            nomi << c->objectName();
    }
    return nomi;
}

void ImpiantoFinestra::connetti(ProcessoSimulatore &sim)
{
    w.collegamento().porta().mappa(1, sim.percorso());
    QTRY_COMPARE(abilitati(), RIGA_NON_CONNESSO);
    clic(u().Cmd_connetti);
}

// Qt drops a move to where the pointer already is, so it takes two steps.
void ImpiantoFinestra::muovi_su(QWidget *elemento)
{
    const QList<QPoint> punti = punti_liberi(elemento, 2);
    QVERIFY2(punti.size() == 2, qPrintable(elemento->objectName()));
    for (const QPoint &p : punti)
        QTest::mouseMove(w.windowHandle(), elemento->mapTo(&w, p));
}

void clic(QWidget *w)
{
    QTest::mouseClick(w, Qt::LeftButton);
}
