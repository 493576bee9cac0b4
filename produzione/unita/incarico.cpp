// SPDX-License-Identifier: GPL-3.0-or-later
#include "incarico.h"

QString Incarico::nome() const
{
    switch (azione) {
    case Azione::Leggi:
        return QStringLiteral("read");
    case Azione::Programma:
        return QStringLiteral("program");
    case Azione::Inizializza:
        return QStringLiteral("init");
    case Azione::Verifica:
        return QStringLiteral("verify");
    }
    return QString();
}
