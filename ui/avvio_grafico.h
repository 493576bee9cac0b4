// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The start of a window program on a display that may not be there.

#include <QApplication>

#include <memory>

// The application of the window program PROGRAMMA. When no display is set,
// or the one set cannot be opened (a stale DISPLAY over ssh, a missing
// platform plugin), it prints one line on stderr, "PROGRAMMA: " first, and
// ends the program with status 1 instead of Qt's abort: it never returns
// without an application. argc must outlive the application.
std::unique_ptr<QApplication> apri_applicazione(const char *programma, int &argc, char *argv[]);
