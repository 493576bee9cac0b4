// SPDX-License-Identifier: GPL-3.0-or-later
#include "elementi_prova.h"

#include "collegamento.h"

ElementiProva::ElementiProva()
{
    orologio.start();
    m_sorveglianza.setInterval(0);
    QObject::connect(&m_sorveglianza, &QTimer::timeout, &m_sorveglianza,
                     [this] { esegui_azioni(); });
}

void ElementiProva::imposta_stato(const QString &testo)
{
    stato_attuale = testo;
    stati << testo;
    eventi << QStringLiteral("stato: ") + testo;
}

void ElementiProva::imposta_testo(Campo campo, const QString &testo)
{
    testi[campo] = testo;
    eventi << QStringLiteral("testo %1: %2").arg(nome(campo), testo);
}

void ElementiProva::seleziona(Opzione opzione)
{
    opzioni << nome(opzione);
    eventi << QStringLiteral("opzione ") + nome(opzione);
}

void ElementiProva::imposta_banda(const QString &testo)
{
    banda = testo;
    bande << testo;
    eventi << QStringLiteral("banda: ") + testo;
}

void ElementiProva::mostra_progresso(bool visibile)
{
    progresso_visibile = visibile;
    const QString voce = visibile ? QStringLiteral("mostra") : QStringLiteral("nascondi");
    progresso << voce;
    eventi << QStringLiteral("progresso: ") + voce;
}

void ElementiProva::massimo_progresso(int massimo)
{
    progresso_massimo = massimo;
    progresso << QStringLiteral("massimo %1").arg(massimo);
    eventi << QStringLiteral("progresso: ") + progresso.constLast();
}

void ElementiProva::valore_progresso(int valore)
{
    progresso_valore = valore;
    progresso << QStringLiteral("valore %1").arg(valore);
    eventi << QStringLiteral("progresso: ") + progresso.constLast();
}

void ElementiProva::abilita(Abilitabile elemento, bool abilitato)
{
    abilitati[elemento] = abilitato;
    abilitazioni.append({elemento, abilitato});
}

void ElementiProva::avviso(const QString &messaggio)
{
    avvisi << messaggio;
    istanti_avvisi << orologio.elapsed();
    eventi << QStringLiteral("avviso: ") + messaggio;
}

void ElementiProva::beep()
{
    ++beep_suonati;
    eventi << QStringLiteral("beep");
}

// Every pass of the event loop while actions wait: the window's waits are
// local event loops, so this runs in the middle of them, as a click would.
void ElementiProva::esegui_azioni()
{
    // By index: an action may click something that waits and turns again,
    // or schedule further actions.
    for (qsizetype i = 0; i < m_azioni.size(); ++i) {
        if (m_azioni.at(i).fatta || !m_azioni.at(i).condizione())
            continue;
        m_azioni[i].fatta = true;
        const std::function<void()> azione = m_azioni.at(i).azione;
        azione();
    }
    if (azioni_in_sospeso() == 0)
        m_sorveglianza.stop();
}

void ElementiProva::termina()
{
    ++terminazioni;
    eventi << QStringLiteral("termina");
}

void ElementiProva::quando(std::function<bool()> condizione, std::function<void()> azione)
{
    m_azioni.append({std::move(condizione), std::move(azione)});
    m_sorveglianza.start();
}

int ElementiProva::azioni_in_sospeso() const
{
    int n = 0;
    for (const Azione &a : m_azioni)
        n += a.fatta ? 0 : 1;
    return n;
}

void ElementiProva::azzera_registri()
{
    stati.clear();
    opzioni.clear();
    bande.clear();
    progresso.clear();
    abilitazioni.clear();
    avvisi.clear();
    istanti_avvisi.clear();
    beep_suonati = 0;
    terminazioni = 0;
    eventi.clear();
}

QString ElementiProva::nome(Campo campo)
{
    switch (campo) {
    case Campo::Codice:
        return QStringLiteral("Codice");
    case Campo::Frequenza:
        return QStringLiteral("Frequenza");
    case Campo::TempoRele:
        return QStringLiteral("TempoRele");
    case Campo::TempoImp:
        return QStringLiteral("TempoImp");
    }
    return QString();
}

QString ElementiProva::nome(Opzione opzione)
{
    switch (opzione) {
    case Opzione::ToniAlti:
        return QStringLiteral("ToniAlti");
    case Opzione::ToniBassi:
        return QStringLiteral("ToniBassi");
    case Opzione::Memo:
        return QStringLiteral("Memo");
    case Opzione::Imp:
        return QStringLiteral("Imp");
    case Opzione::Strip:
        return QStringLiteral("Strip");
    case Opzione::Bidi:
        return QStringLiteral("Bidi");
    }
    return QString();
}

QString ElementiProva::nome(Abilitabile elemento)
{
    switch (elemento) {
    case Abilitabile::Connetti:
        return QStringLiteral("Connetti");
    case Abilitabile::PortaCom:
        return QStringLiteral("PortaCom");
    case Abilitabile::Disconetti:
        return QStringLiteral("Disconetti");
    case Abilitabile::Programma:
        return QStringLiteral("Programma");
    case Abilitabile::InitUhf:
        return QStringLiteral("InitUhf");
    case Abilitabile::InitVhf:
        return QStringLiteral("InitVhf");
    }
    return QString();
}
