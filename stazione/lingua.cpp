// SPDX-License-Identifier: GPL-3.0-or-later
#include "lingua.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace lingua {

QList<QTranslator *> carica(QCoreApplication &app, const QLocale &locale)
{
    QList<QTranslator *> caricati;
    const auto installa = [&](QTranslator *t) {
        if (QCoreApplication::installTranslator(t))
            caricati.append(t);
    };
    if (locale.language() == QLocale::English) {
        // English is Qt's own source language: Qt needs nothing.
        auto *propria = new QTranslator(&app);
        if (propria->load(QStringLiteral(":/i18n/m5stazione_en.qm")))
            installa(propria);
        return caricati;
    }
    // The sources are Italian: a locale without a language of its own gets them as they are.
    const QLocale finestra =
        locale.language() == QLocale::C ? QLocale(QLocale::Italian, QLocale::Italy) : locale;
    auto *qt = new QTranslator(&app);
    if (qt->load(finestra, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installa(qt);
    return caricati;
}

} // namespace lingua
