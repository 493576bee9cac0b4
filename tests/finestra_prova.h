// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "principale.h"
#include "ui_principale.h"

#include <QLineEdit>
#include <QStringList>

// The real window, shown, with its beeps counted and its warnings recorded
// instead of shown.
struct FinestraProva
{
    Principale w;
    int beep = 0;
    QStringList avvisi;

    FinestraProva()
    {
        w.imposta_beep([this] { ++beep; });
        w.imposta_avviso([this](const QString &m) { avvisi << m; });
        w.show();
    }
    Ui::Principale &u() { return w.elementi(); }
    QLineEdit *campo(const QString &nome) { return w.findChild<QLineEdit *>(nome); }
};
