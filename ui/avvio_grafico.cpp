// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the display: Qt's fatal platform message becomes one line and exit 1.
#include "avvio_grafico.h"

#include <QList>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
struct Messaggio
{
    QtMsgType tipo;
    QByteArray file;
    int riga;
    QByteArray funzione;
    QByteArray categoria;
    QString testo;
};

// Set only while the application is being made, on the main thread.
const char *g_programma = nullptr;
QList<Messaggio> g_trattenuti;

QString consiglio(const char *programma)
{
    return QStringLiteral("%1 is a desktop program; m5ctl is its command line")
        .arg(QString::fromLocal8Bit(programma));
}

void esci(const QString &motivo)
{
    std::fprintf(stderr, "%s: %s: %s\n", g_programma, qPrintable(motivo),
                 qPrintable(consiglio(g_programma)));
    std::fflush(stderr);
    // Qt is half-made: nothing of it may run at exit.
    _exit(1);
}

// Qt warns first (the reason), then fails fatally with its advice to
// reinstall; the warnings are held until it is known which way it goes.
void trattieni(QtMsgType tipo, const QMessageLogContext &c, const QString &testo)
{
    if (tipo != QtFatalMsg) {
        g_trattenuti.append({tipo, c.file, c.line, c.function, c.category, testo});
        return;
    }
    const QString motivo =
        g_trattenuti.isEmpty() ? testo.section(QLatin1Char('\n'), 0, 0) : g_trattenuti[0].testo;
    QString nome = qEnvironmentVariable("DISPLAY");
    if (nome.isEmpty())
        nome = qEnvironmentVariable("WAYLAND_DISPLAY");
    esci(QStringLiteral("cannot open the display%1 (%2)")
             .arg(nome.isEmpty() ? QString() : QLatin1Char(' ') + nome, motivo.simplified()));
}

// Told at once when nothing names a display at all.
bool display_indicato(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "-platform")
            return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return true;
#endif
}
} // namespace

std::unique_ptr<QApplication> apri_applicazione(const char *programma, int &argc, char *argv[])
{
    g_programma = programma;
    if (!display_indicato(argc, argv))
        esci(QStringLiteral("no display (DISPLAY is not set)"));

    const QtMessageHandler precedente = qInstallMessageHandler(trattieni);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(precedente);
    // A warning of an application that did start is the user's to see.
    for (const Messaggio &m : std::as_const(g_trattenuti)) {
        const QMessageLogContext c(m.file.constData(), m.riga, m.funzione.constData(),
                                   m.categoria.constData());
        qt_message_output(m.tipo, c, m.testo);
    }
    g_trattenuti.clear();
    return app;
}
