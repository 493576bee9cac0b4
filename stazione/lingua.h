// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's language: Italian, or English for an English locale, with Qt's own dialogs alike.

#include <QList>
#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace lingua {

// Installs the translations for locale: the station's English for an English
// locale, and Qt's own (file chooser, buttons) in the window's language
// where Debian's qt6-translations-l10n has it. Under the C or POSIX locale
// the window is Italian, Qt's dialogs included. Without Qt's own, its
// dialogs stay in English. Gives the translators installed, owned by app.
QList<QTranslator *> carica(QCoreApplication &app, const QLocale &locale);

} // namespace lingua
