// SPDX-License-Identifier: GPL-3.0-or-later
#include "riepilogo.h"
#include "riga_comando.h"
#include "simulatore.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
constexpr int USO_ERRATO = 2;

int errore(int codice, const char *cosa, const std::string &messaggio)
{
    std::fprintf(stderr, "m5sim: %s%s\n", cosa, messaggio.c_str());
    std::fflush(stderr);
    return codice;
}
} // namespace

int main(int argc, char *argv[])
{
    // Before anything else, so that a parent gone during start-up is noticed.
    const pid_t genitore = ::getppid();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("m5sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(M5SIM_VERSIONE));

    RigaComando riga;
    OpzioniSimulatore opzioni = riga.leggi(QCoreApplication::arguments());
    opzioni.genitore = genitore;

    Simulatore simulatore(opzioni);
    std::string messaggio;
    if (!simulatore.carica_memoria(messaggio))
        return errore(USO_ERRATO, "--eeprom: ", messaggio);
    if (!simulatore.apri_linea(messaggio))
        return errore(1, "", messaggio);

    // Whoever started us waits for this line: unwritten, nobody can open the line.
    if (std::printf("%s\n", simulatore.percorso().c_str()) < 0 || std::fflush(stdout) != 0)
        return errore(1, "stdout: ", std::strerror(errno));
    int codice = simulatore.esegui();
    if (simulatore.errore_traccia() != 0)
        codice = errore(1, "--trace: stderr: ", std::strerror(simulatore.errore_traccia()));
    const Memoria &memoria = simulatore.memoria();
    if (memoria.salvataggi_falliti() > 0)
        codice = errore(1, "--eeprom: ",
                        std::to_string(memoria.salvataggi_falliti()) +
                            " save(s) of the cells failed; the last: " + memoria.ultimo_errore());
    if (!riga.riepilogo().empty() && !salva_riepilogo(riga.riepilogo(), simulatore, messaggio))
        return errore(1, "--summary: ", riga.riepilogo() + ": " + messaggio);
    return codice;
}
