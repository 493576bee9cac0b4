// SPDX-License-Identifier: GPL-3.0-or-later
#include "postazione.h"

#include "file_unita.h"
#include "sintetizzatore.h"

#include <cstdio>

using Esito = Collegamento::Esito;
using Attesa = Collegamento::Attesa;
using Campo = Controlli::Campo;

namespace {
constexpr int AVVISO_ATTESA_MS = 1000;

QString citata(const QString &testo)
{
    return QLatin1Char('"') + testo + QLatin1Char('"');
}

bool completa(const QByteArray &celle)
{
    return celle.size() == CELLE_LETTE;
}
} // namespace

Postazione::Postazione(const QString &percorso, int com, bool interattiva)
    : m_console(interattiva), m_collegamento(m_console)
{
    if (percorso.isEmpty()) {
        m_collegamento.porta().imposta_numero(com);
        m_nome = QStringLiteral("Com %1").arg(com);
    } else {
        m_collegamento.porta().mappa(PortaSeriale::PRIMA, percorso);
        m_nome = percorso;
    }
    m_console.imposta_porta(QStringLiteral("Com %1").arg(m_collegamento.porta().numero()));
    // The read of an unseen cell waits no longer than the write of one.
    m_collegamento.imposta_limite_risposta(Collegamento::TIME_OUT_ACK_MS);
    m_avviso_attesa.setSingleShot(true);
    m_avviso_attesa.setInterval(AVVISO_ATTESA_MS);
    QObject::connect(&m_avviso_attesa, &QTimer::timeout, &m_collegamento,
                     [this] { attesa_lunga(); });
}

int Postazione::codice_uscita(Esito esito)
{
    switch (esito) {
    case Esito::Riuscito:
        return uscita::SUCCESSO;
    case Esito::PortaGuasta:
    case Esito::LetturaAbbandonata:
        return uscita::PORTA;
    case Esito::TimeOut:
        return uscita::TIME_OUT;
    case Esito::ChecksumErrato:
    case Esito::LetturaDaRifare:
        return uscita::LETTURA;
    case Esito::FuoriBanda:
        return uscita::FUORI_BANDA;
    case Esito::ValoreFuoriRange:
        return uscita::FUORI_RANGE;
    case Esito::RiletturaDiversa:
        return uscita::RILETTURA;
    case Esito::Interrotto:
        return uscita::INTERROTTO;
    case Esito::Occupato:
        break;
    }
    return uscita::INTERNO;
}

EsitoUnita Postazione::leggi()
{
    EsitoUnita r = inizia();
    const Esito esito = connetti(r);
    if (completa(r.celle_prima))
        r.valori = file_unita::scrivi(r.celle_prima);
    return concludi(r, esito);
}

EsitoUnita Postazione::programma(const Impostazioni &valori, std::optional<Banda> banda_file)
{
    EsitoUnita r = inizia();
    m_rifai = QStringLiteral("program it again");
    const Esito lettura = connetti(r);
    // Cells 0 and 4-6 go back as read: never after a bad read.
    if (lettura != Esito::Riuscito || interrotto())
        return concludi(r, lettura);
    const auto banda = banda_da_lettera(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_BANDA)));
    if (banda_file && banda != banda_file)
        return concludi(r, uscita::FUORI_BANDA,
                        QStringLiteral("%1: %2: the unit file is for a %3 unit, this unit is %4; "
                                       "nothing was written")
                            .arg(citata(Collegamento::FUORI_BANDA), dispositivo(),
                                 QLatin1String(nome_banda(*banda_file)),
                                 QLatin1String(banda ? nome_banda(*banda) : "of no known band")));
    // The window makes no band test then; a script gets no frequency that
    // nobody can say the unit takes.
    if (valori.frequenza && !banda)
        return concludi(r, uscita::FUORI_BANDA,
                        QStringLiteral("%1: %2: the unit reports no band (cell 62 holds %3, "
                                       "neither \"U\" nor \"V\"), so --frequenza %4 cannot be "
                                       "checked; nothing was written; program without "
                                       "--frequenza, or init uhf|vhf restores a band")
                            .arg(citata(Collegamento::FUORI_BANDA), dispositivo())
                            .arg(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_BANDA)))
                            .arg(QString::fromStdString(*valori.frequenza)));
    applica(valori);
    // The window would warn, then program 0 MHz on a unit of no known band:
    // a frequency nobody asked for.
    if (m_console.testo(Campo::Frequenza).isEmpty())
        return concludi(r, uscita::FUORI_RANGE,
                        QStringLiteral("%1: %2: the unit's frequency (cells 1-3: %3, %4, %5) lies "
                                       "in neither band window; nothing was written; %6")
                            .arg(citata(Collegamento::FUORI_RANGE_RX), dispositivo())
                            .arg(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_FQ1)))
                            .arg(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_FQ2)))
                            .arg(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_FQ3)))
                            .arg(banda ? QStringLiteral("give --frequenza")
                                       : QStringLiteral("the unit reports no band either: init "
                                                        "uhf|vhf restores one")));
    const Esito esito = m_collegamento.cmd_programma_Click();
    segna_rilettura(r, esito);
    return concludi(r, esito);
}

EsitoUnita Postazione::inizializza(Banda banda, bool cambia_banda)
{
    EsitoUnita r = inizia();
    m_rifai = QStringLiteral("program it again with init %1")
                  .arg(QString::fromLatin1(nome_banda(banda)).toLower());
    const Esito lettura = connetti(r);
    // Initialising is the cure for a bad block: a checksum error only warns.
    if ((lettura != Esito::Riuscito && lettura != Esito::ChecksumErrato) || interrotto())
        return concludi(r, lettura);
    // The window converts the unit at one click; a script asks for it.
    const auto propria = banda_da_lettera(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_BANDA)));
    if (propria && *propria != banda && !cambia_banda)
        return concludi(r, uscita::FUORI_BANDA,
                        QStringLiteral("%1: %2: the unit reports the other band, %3 (cell 62 "
                                       "holds \"%4\"); nothing was written; init %5 "
                                       "--change-band makes it a %6 unit all the same")
                            .arg(citata(Collegamento::FUORI_BANDA), dispositivo(),
                                 QLatin1String(nome_banda(*propria)),
                                 QChar::fromLatin1(r.celle_prima.at(CELLA_BANDA)),
                                 QString::fromLatin1(nome_banda(banda)).toLower(),
                                 QLatin1String(nome_banda(banda))));
    if (lettura == Esito::ChecksumErrato)
        r.avvertimenti << descrivi_checksum() + QStringLiteral("; initialising all the same");
    const Esito esito = banda == Banda::UHF ? m_collegamento.Cmd_init_uhf_Click()
                                            : m_collegamento.Cmd_init_vhf_Click();
    segna_rilettura(r, esito);
    return concludi(r, esito);
}

EsitoUnita Postazione::verifica(const Impostazioni &valori, Banda banda_file)
{
    EsitoUnita r = inizia();
    const Esito esito = connetti(r);
    if (completa(r.celle_prima))
        r.valori = file_unita::scrivi(r.celle_prima);
    if (esito != Esito::Riuscito || interrotto())
        return concludi(r, esito);
    // Every value would differ, and no programming could make them agree.
    const auto banda = banda_da_lettera(static_cast<std::uint8_t>(r.celle_prima.at(CELLA_BANDA)));
    if (banda && *banda != banda_file)
        return concludi(r, uscita::FUORI_BANDA,
                        QStringLiteral("%1: %2: the unit file is for a %3 unit, this unit is %4; "
                                       "nothing was compared")
                            .arg(citata(Collegamento::FUORI_BANDA), dispositivo(),
                                 QLatin1String(nome_banda(banda_file)),
                                 QLatin1String(nome_banda(*banda))));
    QStringList campi;
    for (const Differenza &d : differenze(valori, banda_file, file_unita::blocco(r.celle_prima))) {
        const QString campo = QString::fromStdString(d.campo);
        campi << campo;
        r.dettagli << QStringLiteral("%1: file %2, unit %3")
                          .arg(campo, QString::fromStdString(d.attesa),
                               QString::fromStdString(d.trovata));
    }
    if (campi.isEmpty())
        return concludi(r, esito);
    return concludi(r, uscita::DIVERSA,
                    QStringLiteral("%1: %2 value(s) differ from the unit file: %3")
                        .arg(dispositivo())
                        .arg(campi.size())
                        .arg(campi.join(QStringLiteral(", "))));
}

EsitoUnita Postazione::inizia()
{
    m_console.azzera();
    m_orologio.start();
    m_rifai.clear();
    return EsitoUnita{};
}

Esito Postazione::connetti(EsitoUnita &r)
{
    if (m_avvisa_attesa)
        m_avviso_attesa.start();
    const Esito esito = m_collegamento.Cmd_connetti_Click();
    m_avviso_attesa.stop();
    r.iniziata = m_console.connessa();
    r.celle_prima = m_collegamento.celle_lette();
    return esito;
}

bool Postazione::interrotto() const
{
    return m_collegamento.interrotto();
}

void Postazione::applica(const Impostazioni &v)
{
    auto testo = [this](Campo campo, const std::optional<int> &n) {
        if (n)
            m_console.imposta_testo(campo, QString::number(*n));
    };
    testo(Campo::Codice, v.codice);
    if (v.frequenza)
        m_console.imposta_testo(Campo::Frequenza, QString::fromStdString(*v.frequenza));
    testo(Campo::TempoRele, v.rele);
    testo(Campo::TempoImp, v.impulsi);

    using Opzione = Controlli::Opzione;
    static const Opzione bottoni[NUM_GRUPPI][2] = {{Opzione::ToniBassi, Opzione::ToniAlti},
                                                   {Opzione::Memo, Opzione::Imp},
                                                   {Opzione::Strip, Opzione::Bidi}};
    for (int g = 0; g < NUM_GRUPPI; ++g) {
        if (v.opzioni[g])
            m_collegamento.opzione_cliccata(bottoni[g][*v.opzioni[g]]);
    }
}

void Postazione::segna_rilettura(EsitoUnita &r, Esito esito)
{
    const bool riletta = esito == Esito::Riuscito || esito == Esito::ChecksumErrato ||
                         esito == Esito::RiletturaDiversa;
    if (!riletta || !completa(m_collegamento.celle_lette()))
        return;
    r.celle_dopo = m_collegamento.celle_lette();
    r.valori = file_unita::scrivi(r.celle_dopo);
}

EsitoUnita &Postazione::concludi(EsitoUnita &r, Esito esito)
{
    return concludi(r, codice_uscita(esito), descrivi(esito));
}

EsitoUnita &Postazione::concludi(EsitoUnita &r, int codice, const QString &messaggio)
{
    // "E" before anything else: the receiver is waiting.
    const bool aperta = m_collegamento.porta().aperta();
    m_collegamento.Cmd_disconetti_Click();
    r.durata_ms = m_console.ms_da_connessa();
    r.attesa_ms = m_orologio.elapsed() - r.durata_ms;
    m_console.azzera();
    if (interrotto()) {
        r.codice = uscita::INTERROTTO;
        r.messaggio = descrivi_interruzione(r, aperta);
    } else {
        r.codice = codice;
        r.messaggio = codice == uscita::SUCCESSO ? QStringLiteral("OK") : messaggio;
    }
    // Cells went out and not all were acknowledged: neither the old block nor the new.
    if (r.codice != uscita::SUCCESSO && m_collegamento.scrittura_incompleta())
        r.messaggio += QStringLiteral("; the unit is partly programmed: ") + m_rifai;
    return r;
}

QString Postazione::descrivi_interruzione(const EsitoUnita &r, bool aperta) const
{
    if (!r.iniziata)
        return QStringLiteral("%1: interrupted while waiting for the receiver to announce itself")
            .arg(dispositivo());
    if (!aperta)
        return QStringLiteral("%1: interrupted").arg(dispositivo());
    return QStringLiteral("%1: interrupted; the dialogue was ended with \"E\"").arg(dispositivo());
}

QString Postazione::descrivi(Esito esito) const
{
    const QString dispositivo = this->dispositivo();
    switch (esito) {
    case Esito::Riuscito:
        return QStringLiteral("OK");
    case Esito::PortaGuasta:
        return descrivi_porta(QString());
    case Esito::LetturaAbbandonata:
        return descrivi_porta(QStringLiteral("during the read-back"));
    case Esito::TimeOut:
        return descrivi_time_out();
    case Esito::ChecksumErrato:
    case Esito::LetturaDaRifare:
        return descrivi_checksum();
    case Esito::FuoriBanda:
        return descrivi_fuori_banda();
    case Esito::ValoreFuoriRange:
        return QStringLiteral("%1: a value does not fit its cell; nothing was written")
            .arg(citata(Collegamento::VALORE_FUORI_RANGE));
    case Esito::RiletturaDiversa: {
        const int i = m_collegamento.cella_diversa();
        return QStringLiteral("%1: the read-back differs from what was written: cell %2 was "
                              "written as %3 and reads %4")
            .arg(dispositivo)
            .arg(i)
            .arg(static_cast<std::uint8_t>(m_collegamento.celle_scritte().at(i)))
            .arg(static_cast<std::uint8_t>(m_collegamento.celle_lette().at(i)));
    }
    case Esito::Interrotto:
        return QStringLiteral("%1: interrupted").arg(dispositivo);
    case Esito::Occupato:
        break;
    }
    return QStringLiteral("%1: internal error").arg(dispositivo);
}

QString Postazione::descrivi_fuori_banda() const
{
    QString banda = QStringLiteral("band");
    // stripVU holds a received byte; unset reads as 0, no band.
    if (const auto b = banda_da_lettera(
            static_cast<std::uint8_t>(m_collegamento.parametri().stripVU.valore())))
        banda =
            QStringLiteral("%1 band, %2 MHz")
                .arg(QLatin1String(nome_banda(*b)), QString::fromStdString(testo_finestra_rx(*b)));
    return QStringLiteral("%1: %2: %3 MHz is not in the unit's %4; nothing was written")
        .arg(citata(Collegamento::FUORI_BANDA), dispositivo(), m_console.testo(Campo::Frequenza),
             banda);
}

QString Postazione::descrivi_porta(const QString &quando) const
{
    const PortaSeriale &porta = m_collegamento.porta();
    QString testo = citata(Collegamento::ERRORE_PORTA) + QStringLiteral(": ") + porta.dispositivo();
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

QString Postazione::descrivi_time_out() const
{
    const QString testo = citata(Collegamento::ERRORE_TIME_OUT) + QStringLiteral(": ") +
                          dispositivo() + QStringLiteral(": ");
    const int cella = m_collegamento.ultima_cella();
    switch (m_collegamento.attesa_scaduta()) {
    case Attesa::Annuncio:
        return testo + QStringLiteral("no receiver announced itself within the --wait time");
    case Attesa::Risposta:
        return testo + QStringLiteral("no reply to the read of cell %1 within %2 ms")
                           .arg(cella)
                           .arg(Collegamento::TIME_OUT_ACK_MS);
    case Attesa::Conferma:
    case Attesa::Nessuna:
        break;
    }
    QString motivo;
    if (!m_collegamento.porta().motivo().isEmpty())
        motivo = QStringLiteral(" (the line went away: %1)").arg(m_collegamento.porta().motivo());
    return testo + QStringLiteral("the write of cell %1 was not acknowledged within %2 ms%3")
                       .arg(cella)
                       .arg(Collegamento::TIME_OUT_ACK_MS)
                       .arg(motivo);
}

QString Postazione::descrivi_checksum() const
{
    const Parametri &p = m_collegamento.parametri();
    return QStringLiteral("%1: %2: cell 61 holds %3, the checksum of cells 0-13 is %4")
        .arg(citata(Collegamento::ERRORE_LETTURA), dispositivo())
        .arg(p.Cks.valore())
        .arg(p.Tot_cks.valore());
}

void Postazione::attesa_lunga()
{
    if (m_console.stato() != Collegamento::IN_ATTESA)
        return;
    std::fprintf(stderr, "m5ctl: waiting for the receiver on %s; Ctrl-C or --wait ends the wait\n",
                 qPrintable(dispositivo()));
    std::fflush(stderr);
}
