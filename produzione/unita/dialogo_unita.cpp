// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogo_unita.h"

#include "messaggi.h"
#include "tempi.h"

using EsitoOperazione = Ricevitore::EsitoOperazione;
using Operazione = Ricevitore::Operazione;
using Azione = Incarico::Azione;

namespace {
QString citata(const char *testo)
{
    return QLatin1Char('"') + QLatin1String(testo) + QLatin1Char('"');
}

bool completa(const QByteArray &celle)
{
    return celle.size() == CELLE_LETTE;
}

bool lettura_valida(const QByteArray &celle)
{
    return completa(celle) && checksum_valido(blocco_letto(celle));
}

std::uint8_t cella(const QByteArray &celle, int i)
{
    return static_cast<std::uint8_t>(celle.at(i));
}
} // namespace

DialogoUnita::DialogoUnita(Ricevitore &ricevitore, const Incarico &incarico, QObject *parent)
    : QObject(parent), m_ricevitore(ricevitore), m_incarico(incarico)
{
}

void DialogoUnita::avvia()
{
    m_esito = EsitoUnita{};
    m_interrotta = false;
    m_orologio.start();
    m_fase = Fase::Annuncio;
    if (!m_ricevitore.apri()) {
        fine(esiti::PORTA, descrivi_porta(QString()));
        return;
    }
    // The read of an unseen cell waits no longer than the write of one.
    m_ricevitore.imposta_limite_annuncio(m_incarico.limite_annuncio_ms);
    m_ricevitore.imposta_limite_risposta(tempi::TIME_OUT_CONFERMA_MS);
    m_ascolto = connect(&m_ricevitore, &Ricevitore::concluso, this, &DialogoUnita::risultato);
    connect(&m_ricevitore, &Ricevitore::progresso, this, &DialogoUnita::progresso);
    m_ricevitore.attendi_annuncio();
}

void DialogoUnita::interrompi()
{
    if (!in_corso())
        return;
    m_interrotta = true;
    m_ricevitore.interrompi();
}

void DialogoUnita::risultato(const Ricevitore::Risultato &r)
{
    switch (m_fase) {
    case Fase::Annuncio:
        annunciata(r);
        break;
    case Fase::Lettura:
        letta(r);
        break;
    case Fase::Scrittura:
        scritta(r);
        break;
    case Fase::Rilettura:
        riletta(r);
        break;
    case Fase::Ferma:
        break;
    }
}

void DialogoUnita::annunciata(const Ricevitore::Risultato &r)
{
    if (!r.riuscito()) {
        fallita(r);
        return;
    }
    m_esito.iniziata = true;
    m_esito.attesa_ms = m_orologio.restart();
    emit iniziata();
    if (!prendi_codice())
        return;
    m_fase = Fase::Lettura;
    if (!m_ricevitore.leggi())
        fine(esiti::PORTA, descrivi_porta(QString()));
}

void DialogoUnita::letta(const Ricevitore::Risultato &r)
{
    m_esito.celle_prima = r.celle_lette;
    const bool mostra = m_incarico.azione == Azione::Leggi || m_incarico.azione == Azione::Verifica;
    if (mostra && completa(r.celle_lette))
        m_esito.celle_mostrate = r.celle_lette;
    if (!r.riuscito()) {
        fallita(r);
        return;
    }
    const bool valida = lettura_valida(r.celle_lette);
    switch (m_incarico.azione) {
    case Azione::Leggi:
        fine(valida ? esiti::SUCCESSO : esiti::LETTURA, descrivi_checksum(r.celle_lette));
        return;
    case Azione::Inizializza:
        if (banda_altra())
            return;
        // Initialising is the cure for a bad block: a bad checksum only warns.
        if (!valida)
            m_esito.avvertimenti << descrivi_checksum(r.celle_lette) +
                                        QStringLiteral("; initialising all the same");
        inizializza();
        return;
    case Azione::Programma:
    case Azione::Verifica:
        // Cells 0 and 4-6 go back as read: never after a bad read.
        if (!valida)
            fine(esiti::LETTURA, descrivi_checksum(r.celle_lette));
        else if (m_incarico.azione == Azione::Programma)
            programma();
        else
            verifica();
        return;
    }
}

bool DialogoUnita::prendi_codice()
{
    if (!m_fonte_codici || m_incarico.azione != Azione::Programma)
        return true;
    QString errore;
    m_esito.codice = m_fonte_codici(errore);
    if (m_esito.codice)
        return true;
    if (errore.isEmpty())
        fine(esiti::ESAURITI,
             QStringLiteral("%1: the plan has no code left (\"CODICI ESAURITI\"); nothing was "
                            "read or written")
                 .arg(dispositivo()));
    else
        fine(esiti::PORTA,
             QStringLiteral("%1: no code could be taken from the plan: %2; nothing was read or "
                            "written")
                 .arg(dispositivo(), errore));
    return false;
}

void DialogoUnita::programma()
{
    ValoriRichiesti richiesti = m_incarico.richiesti;
    if (m_esito.codice)
        richiesti.codice = *m_esito.codice;
    const Programmazione p = prepara_programmazione(richiesti, m_incarico.banda_richiesti,
                                                    blocco_letto(m_esito.celle_prima));
    if (!p.da_scrivere()) {
        rifiuta(p);
        return;
    }
    scrivi(p.celle, CELLA_CKS);
}

// The window converts a unit at one click; a script asks for it.
bool DialogoUnita::banda_altra()
{
    const auto propria = banda_da_lettera(cella(m_esito.celle_prima, CELLA_BANDA));
    const Banda banda = m_incarico.banda;
    if (!propria || *propria == banda || m_incarico.cambia_banda)
        return false;
    fine(esiti::FUORI_BANDA,
         QStringLiteral("%1: %2: the unit reports the other band, %3 (cell 62 holds \"%4\"); "
                        "nothing was written; init %5 --change-band makes it a %6 unit all the "
                        "same")
             .arg(citata(messaggio::FUORI_BANDA), dispositivo(),
                  QLatin1String(nome_banda(*propria)),
                  QChar::fromLatin1(m_esito.celle_prima.at(CELLA_BANDA)),
                  QString::fromLatin1(nome_banda(banda)).toLower(),
                  QLatin1String(nome_banda(banda))));
    return true;
}

void DialogoUnita::inizializza()
{
    scrivi(blocco_fabbrica(m_incarico.banda), CELLA_MARCA);
}

void DialogoUnita::verifica()
{
    QStringList campi;
    const auto banda = m_incarico.banda_richiesti;
    // Every value would differ, and no programming could make them agree.
    const auto propria = banda_da_lettera(cella(m_esito.celle_prima, CELLA_BANDA));
    if (banda && propria && *propria != *banda) {
        fine(esiti::FUORI_BANDA,
             QStringLiteral("%1: %2: the unit file is for a %3 unit, this unit is %4; nothing "
                            "was compared")
                 .arg(citata(messaggio::FUORI_BANDA), dispositivo(),
                      QLatin1String(nome_banda(*banda)), QLatin1String(nome_banda(*propria))));
        return;
    }
    m_esito.differenze = differenze(m_incarico.richiesti, banda, blocco_letto(m_esito.celle_prima));
    for (const Differenza &d : m_esito.differenze) {
        const QString campo = QString::fromStdString(d.campo);
        campi << campo;
        m_esito.dettagli << QStringLiteral("%1: file %2, unit %3")
                                .arg(campo, QString::fromStdString(d.attesa),
                                     QString::fromStdString(d.trovata));
    }
    if (campi.isEmpty()) {
        fine(esiti::SUCCESSO, QString());
        return;
    }
    fine(esiti::DIVERSA, QStringLiteral("%1: %2 value(s) differ from the unit file: %3")
                             .arg(dispositivo())
                             .arg(campi.size())
                             .arg(campi.join(QStringLiteral(", "))));
}

void DialogoUnita::scrivi(const Blocco &celle, int ultima)
{
    m_fase = Fase::Scrittura;
    if (!m_ricevitore.scrivi(celle, ultima)) {
        fine(esiti::PORTA, descrivi_porta(QString()));
        return;
    }
    m_esito.scrittura_avviata = true;
}

void DialogoUnita::scritta(const Ricevitore::Risultato &r)
{
    if (!r.riuscito()) {
        // The first cell may have gone out unacknowledged: count it as written.
        m_esito.scritta_in_parte = true;
        // As in the window: a write that went unanswered closes the port,
        // with no "E".
        if (r.esito != EsitoOperazione::Interrotto)
            m_ricevitore.chiudi();
        fallita(r);
        return;
    }
    m_fase = Fase::Rilettura;
    if (!m_ricevitore.rileggi())
        fine(esiti::PORTA, descrivi_porta(QStringLiteral("during the read-back")));
}

void DialogoUnita::riletta(const Ricevitore::Risultato &r)
{
    const bool diversa = r.esito == EsitoOperazione::RiletturaDiversa;
    if (!r.riuscito() && !diversa) {
        fallita(r);
        return;
    }
    if (completa(r.celle_lette)) {
        m_esito.celle_dopo = r.celle_lette;
        m_esito.celle_mostrate = r.celle_lette;
    }
    // A read that fails its own checksum says nothing of what was written.
    if (!lettura_valida(r.celle_lette))
        fine(esiti::LETTURA, descrivi_checksum(r.celle_lette));
    else if (diversa) {
        m_esito.differenze = differenze(m_incarico.richiesti, m_incarico.banda_richiesti,
                                        blocco_letto(r.celle_lette));
        fine(esiti::RILETTURA, descrivi_rilettura(r));
    } else
        fine(esiti::SUCCESSO, QString());
}

void DialogoUnita::rifiuta(const Programmazione &p)
{
    const QByteArray &prima = m_esito.celle_prima;
    const auto banda = banda_da_lettera(cella(prima, CELLA_BANDA));
    const QString nessuna = QStringLiteral("of no known band");
    switch (p.rifiuto) {
    case Rifiuto::FuoriBanda:
        fine(esiti::FUORI_BANDA, descrivi_fuori_banda());
        return;
    case Rifiuto::ValoreFuoriRange:
        fine(esiti::FUORI_RANGE,
             QStringLiteral("%1: a value does not fit its cell; nothing was written")
                 .arg(citata(messaggio::VALORE_FUORI_RANGE)));
        return;
    case Rifiuto::BandaDiversa:
        fine(esiti::FUORI_BANDA,
             QStringLiteral("%1: %2: the unit file is for a %3 unit, this unit is %4; nothing "
                            "was written")
                 .arg(citata(messaggio::FUORI_BANDA), dispositivo(),
                      QLatin1String(nome_banda(*m_incarico.banda_richiesti)),
                      banda ? QLatin1String(nome_banda(*banda)) : nessuna));
        return;
    case Rifiuto::BandaIgnota:
        // The window makes no band test then; a script gets no frequency
        // that nobody can say the unit takes.
        fine(esiti::FUORI_BANDA,
             QStringLiteral("%1: %2: the unit reports no band (cell 62 holds %3, neither \"U\" "
                            "nor \"V\"), so --frequenza %4 cannot be checked; nothing was "
                            "written; program without --frequenza, or init uhf|vhf restores a "
                            "band")
                 .arg(citata(messaggio::FUORI_BANDA), dispositivo())
                 .arg(cella(prima, CELLA_BANDA))
                 .arg(QString::fromStdString(m_incarico.richiesti.frequenza->testo())));
        return;
    case Rifiuto::FrequenzaIgnota:
        // The window would warn, then program 0 MHz: a frequency nobody asked for.
        fine(esiti::FUORI_RANGE,
             QStringLiteral("%1: %2: the unit's frequency (cells 1-3: %3, %4, %5) lies in "
                            "neither band window; nothing was written; %6")
                 .arg(citata(messaggio::FUORI_RANGE_RX), dispositivo())
                 .arg(cella(prima, CELLA_FQ1))
                 .arg(cella(prima, CELLA_FQ2))
                 .arg(cella(prima, CELLA_FQ3))
                 .arg(banda ? QStringLiteral("give --frequenza")
                            : QStringLiteral("the unit reports no band either: init uhf|vhf "
                                             "restores one")));
        return;
    case Rifiuto::Nessuno:
        break;
    }
}

// A wait that did not end as hoped.
void DialogoUnita::fallita(const Ricevitore::Risultato &r)
{
    switch (r.esito) {
    case EsitoOperazione::TimeOut:
        fine(esiti::TIME_OUT, descrivi_time_out(r));
        return;
    case EsitoOperazione::PortaChiusa:
        if (r.operazione == Operazione::Scrittura)
            fine(esiti::TIME_OUT, descrivi_time_out(r));
        else
            fine(esiti::PORTA,
                 descrivi_porta(m_fase == Fase::Rilettura ? QStringLiteral("during the read-back")
                                                          : QString()));
        return;
    case EsitoOperazione::Interrotto:
        fine(esiti::INTERROTTO, QString());
        return;
    case EsitoOperazione::Riuscito:
    case EsitoOperazione::RiletturaDiversa:
        break;
    }
    fine(esiti::INTERNO, QStringLiteral("%1: internal error").arg(dispositivo()));
}

void DialogoUnita::fine(int esito, const QString &messaggio)
{
    disconnect(m_ascolto);
    disconnect(&m_ricevitore, &Ricevitore::progresso, this, &DialogoUnita::progresso);
    m_fase = Fase::Ferma;
    // "E" before anything else: the receiver is waiting.
    const bool aperta = m_ricevitore.aperta();
    m_ricevitore.termina_dialogo();
    m_ricevitore.chiudi();
    if (m_esito.iniziata)
        m_esito.durata_ms = m_orologio.elapsed();
    else
        m_esito.attesa_ms = m_orologio.elapsed();
    if (m_interrotta) {
        m_esito.esito = esiti::INTERROTTO;
        m_esito.messaggio = descrivi_interruzione(aperta);
    } else {
        m_esito.esito = esito;
        m_esito.messaggio = esito == esiti::SUCCESSO ? QStringLiteral("OK") : messaggio;
    }
    // Cells went out and not all were acknowledged: neither the old block nor the new.
    if (!m_esito.riuscita() && m_esito.scritta_in_parte)
        m_esito.messaggio += QStringLiteral("; the unit is partly programmed: ") + rifai();
    emit conclusa(m_esito);
}

QString DialogoUnita::descrivi_interruzione(bool aperta) const
{
    if (!m_esito.iniziata)
        return QStringLiteral("%1: interrupted while waiting for the receiver to announce itself")
            .arg(dispositivo());
    if (!aperta)
        return QStringLiteral("%1: interrupted").arg(dispositivo());
    return QStringLiteral("%1: interrupted; the dialogue was ended with \"E\"").arg(dispositivo());
}

// What a unit left partly written needs.
QString DialogoUnita::rifai() const
{
    if (m_incarico.azione != Azione::Inizializza)
        return QStringLiteral("program it again");
    return QStringLiteral("program it again with init %1")
        .arg(QString::fromLatin1(nome_banda(m_incarico.banda)).toLower());
}

QString DialogoUnita::dispositivo() const
{
    return m_ricevitore.porta().dispositivo();
}

QString DialogoUnita::descrivi_porta(const PortaSeriale &porta, const QString &quando)
{
    QString testo = citata(messaggio::ERRORE_PORTA) + QStringLiteral(": ") + porta.dispositivo();
    if (!quando.isEmpty())
        testo += QStringLiteral(": the line went away ") + quando;
    if (!porta.motivo().isEmpty())
        testo += QStringLiteral(": ") + porta.motivo();
    else if (quando.isEmpty())
        testo += QStringLiteral(": the port was closed");
    if (porta.occupata())
        testo += QStringLiteral("; wait for it to end, or end it, then try again");
    else if (porta.errore_apertura() == QSerialPort::PermissionError)
        testo += QStringLiteral("; get access through the dialout group: sudo usermod -aG "
                                "dialout $USER, then log in again");
    else if (porta.errore_apertura() == QSerialPort::DeviceNotFoundError)
        testo += QStringLiteral("; check the cable and the name: m5ctl ports lists the serial "
                                "ports present");
    return testo;
}

QString DialogoUnita::descrivi_time_out(const Ricevitore::Risultato &r) const
{
    const QString testo = citata(messaggio::ERRORE_TIME_OUT) + QStringLiteral(": ") +
                          dispositivo() + QStringLiteral(": ");
    switch (r.operazione) {
    case Operazione::Annuncio:
        return testo + QStringLiteral("no receiver announced itself within the --wait time");
    case Operazione::Lettura:
        return testo + QStringLiteral("no reply to the read of cell %1 within %2 ms")
                           .arg(r.cella)
                           .arg(tempi::TIME_OUT_CONFERMA_MS);
    case Operazione::Scrittura:
    case Operazione::Rimozione:
    case Operazione::Nessuna:
        break;
    }
    QString motivo;
    if (!r.motivo.isEmpty())
        motivo = QStringLiteral(" (the line went away: %1)").arg(r.motivo);
    return testo + QStringLiteral("the write of cell %1 was not acknowledged within %2 ms%3")
                       .arg(r.cella)
                       .arg(tempi::TIME_OUT_CONFERMA_MS)
                       .arg(motivo);
}

QString DialogoUnita::descrivi_checksum(const QByteArray &celle) const
{
    const Blocco b = blocco_letto(celle);
    return QStringLiteral("%1: %2: cell 61 holds %3, the checksum of cells 0-13 is %4")
        .arg(citata(messaggio::ERRORE_LETTURA), dispositivo())
        .arg(b[CELLA_CKS])
        .arg(checksum_celle(b));
}

QString DialogoUnita::descrivi_fuori_banda() const
{
    QString banda = QStringLiteral("band");
    if (const auto b = banda_da_lettera(cella(m_esito.celle_prima, CELLA_BANDA)))
        banda =
            QStringLiteral("%1 band, %2 MHz")
                .arg(QLatin1String(nome_banda(*b)), QString::fromStdString(testo_finestra_rx(*b)));
    const std::string frequenza =
        m_incarico.richiesti.frequenza
            ? m_incarico.richiesti.frequenza->testo()
            : decodifica_blocco(blocco_letto(m_esito.celle_prima)).frequenza.value_or("");
    return QStringLiteral("%1: %2: %3 MHz is not in the unit's %4; nothing was written")
        .arg(citata(messaggio::FUORI_BANDA), dispositivo(), QString::fromStdString(frequenza),
             banda);
}

QString DialogoUnita::descrivi_rilettura(const Ricevitore::Risultato &r) const
{
    const int i = r.cella_diversa;
    return QStringLiteral("%1: the read-back differs from what was written: cell %2 was "
                          "written as %3 and reads %4")
        .arg(dispositivo())
        .arg(i)
        .arg(cella(r.celle_scritte, i))
        .arg(cella(r.celle_lette, i));
}
