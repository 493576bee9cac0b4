// SPDX-License-Identifier: GPL-3.0-or-later
// The link's tests' fixture: the window's link handlers on "Com 1", wired to their own m5sim.
#include "impianto_collegamento.h"

#include "filo_collegamento.h"
#include "porta_seriale.h"

#include <QFile>

ImpiantoCollegamento::ImpiantoCollegamento(const QStringList &argomenti) : sim(argomenti), coll(c)
{
    avviato = sim.avvia();
    if (avviato)
        coll.porta().mappa(1, sim.percorso());
    // A fault that leaves a wait unending must fail the test, not stall the run.
    guardia.setSingleShot(true);
    QObject::connect(&guardia, &QTimer::timeout, &coll, [this] {
        if (coll.in_transazione())
            coll.interrompi();
    });
    guardia.start(30000);
}

void ImpiantoCollegamento::connetti()
{
    QVERIFY(avviato);
    QCOMPARE(coll.Cmd_connetti_Click(), EsitoTransazione::Riuscito);
    QVERIFY(sim.attendi_ricevuti(static_cast<int>(filo_connessione().size()), ATTESA_MS));
    c.azzera_registri();
}

QStringList blocco_da(CartellaProva &cartella, const QByteArray &celle)
{
    const QString percorso =
        cartella.file_di(celle, QStringLiteral("blocco-"), QStringLiteral(".bin"));
    if (percorso.isEmpty())
        qFatal("cannot write a block file in %s", qPrintable(cartella.percorso(QString())));
    return {QStringLiteral("--block"), percorso};
}

QStringList avanzamento(int massimo)
{
    QStringList voci{QStringLiteral("mostra"), QStringLiteral("massimo %1").arg(massimo)};
    for (int i = 0; i <= massimo; ++i)
        voci << QStringLiteral("valore %1").arg(i);
    voci << QStringLiteral("valore 0") << QStringLiteral("nascondi");
    return voci;
}

QStringList abilitazioni(const ElementiProva &c)
{
    QStringList voci;
    for (const auto &[controllo, abilitato] : c.abilitazioni)
        voci << QStringLiteral("%1 %2").arg(ElementiProva::nome(controllo)).arg(abilitato);
    return voci;
}

QStringList testi_campi(const QMap<Campo, QString> &testi)
{
    QStringList elenco;
    for (Campo campo : TUTTI_I_CAMPI)
        elenco << testi.value(campo);
    return elenco;
}

void digita_campi(ElementiProva &c, const QStringList &modifiche)
{
    for (const QString &m : modifiche) {
        const qsizetype uguale = m.indexOf('=');
        const QString nome = m.left(uguale);
        for (Campo campo : TUTTI_I_CAMPI)
            if (ElementiProva::nome(campo) == nome)
                c.testi[campo] = m.mid(uguale + 1);
    }
}

void clicca(Collegamento &coll, const QStringList &opzioni)
{
    using Opzione = Elementi::Opzione;
    for (Opzione o : {Opzione::ToniAlti, Opzione::ToniBassi, Opzione::Memo, Opzione::Imp,
                      Opzione::Strip, Opzione::Bidi})
        if (opzioni.contains(ElementiProva::nome(o)))
            coll.opzione_cliccata(o);
}

EsitoTransazione esegui(Collegamento &coll, Azione azione)
{
    switch (azione) {
    case Azione::Connetti:
        return coll.Cmd_connetti_Click();
    case Azione::Programma:
        return coll.cmd_programma_Click();
    case Azione::InitUhf:
        return coll.Cmd_init_uhf_Click();
    case Azione::InitVhf:
        return coll.Cmd_init_vhf_Click();
    }
    return EsitoTransazione::Riuscito;
}

QByteArray filo_chiuso(ImpiantoCollegamento &b, qsizetype attesi)
{
    PortaSeriale altra;
    PortaSeriale &porta = b.coll.porta().aperta() ? b.coll.porta() : altra;
    altra.mappa(1, b.sim.percorso());
    if (!(porta.aperta() || porta.apri()) || !porta.invia("E"))
        qWarning("closing mark not sent: %s", qPrintable(porta.motivo()));
    b.sim.attendi_ricevuti(static_cast<int>(attesi + 1), ATTESA_MS);
    return b.sim.ricevuti();
}
