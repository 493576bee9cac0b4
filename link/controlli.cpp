// SPDX-License-Identifier: GPL-3.0-or-later
#include "controlli.h"

#include <QCoreApplication>
#include <QEventLoop>

void Controlli::turno(bool dati_in_attesa)
{
    // Bytes already buffered raise no new event: blocking would stall the
    // reply until the next timer tick.
    QCoreApplication::processEvents(dati_in_attesa ? QEventLoop::AllEvents
                                                   : QEventLoop::WaitForMoreEvents);
}
