// SPDX-License-Identifier: GPL-3.0-or-later
// Judges m5ctl's statuses and lines in a cycle by what its receivers saw.
#include "giudice.h"

#include "rifiuti.h"
#include "sintetizzatore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {
struct TestoFinestra
{
    int esito;
    const char *testo;
};
// The window's texts that m5ctl's line quotes for these statuses.
const TestoFinestra TESTI_FINESTRA[] = {
    {3, "Errore!!  Porta Seriale Guasta o Mancante "},
    {4, "Errore TIME OUT   "},
    {5, "Errore di Lettura nei Parametri, Riprovare "},
    {6, "Frequenza Fuori Banda !"},
};

int prima_diversa(const Blocco &a, const Blocco &b)
{
    for (int i = 0; i < NUM_CELLE; ++i) {
        if (a[i] != b[i])
            return i;
    }
    return -1;
}

bool riaggancio_atterrato(const EsitoPorta &p, const AnalisiTraccia &a)
{
    return p.piano->guasto.tipo == guasto::indice("hangup-after") &&
           static_cast<int>(a.ingressi().size()) >= p.piano->guasto.numero;
}
} // namespace

Giudice::Giudice(const PianoCiclo &piano, const std::vector<EsitoPorta> &porte, const EsitoCtl &ctl)
    : m_piano(piano), m_porte(porte), m_ctl(ctl)
{
    processi();
    const bool concluso = m_ctl.avviato && m_ctl.fine.finito && m_ctl.fine.segnale == 0;
    if (!concluso)
        return;
    for (std::size_t i = 0; i < m_porte.size(); ++i)
        porta(m_porte[i], static_cast<int>(i) + 1);
    messaggi();
    if (m_piano.corsa())
        uscita_corsa();
}

void Giudice::viola(const char *tipo, const QString &testo)
{
    m_violazioni.push_back({QLatin1String(tipo), testo});
}

void Giudice::processi()
{
    if (!m_ctl.avviato)
        viola("start", QStringLiteral("m5ctl could not be started"));
    if (m_ctl.oltre_limite)
        viola("bound", QStringLiteral("m5ctl ran past the cycle's bound of %1 ms and was killed")
                           .arg(m_piano.limite_ms));
    else if (m_ctl.fine.segnale != 0)
        viola("crash", QStringLiteral("m5ctl died of signal %1").arg(m_ctl.fine.segnale));
    for (std::size_t i = 0; i < m_porte.size(); ++i) {
        const EsitoPorta &p = m_porte[i];
        const QString chi = QStringLiteral("m5sim %1").arg(i + 1);
        if (!p.errore_avvio.isEmpty())
            viola("start", chi + QStringLiteral(" ") + p.errore_avvio);
        else if (!p.fermato)
            viola("stop", chi + QStringLiteral(" was still running 3 s after SIGTERM"));
        else if (p.fine.segnale != 0 && !p.fine.segnale_nostro)
            viola("crash", chi + QStringLiteral(" died of signal %1").arg(p.fine.segnale));
        else if (p.fine.segnale == 0 && p.fine.esito != 0)
            viola("crash", chi + QStringLiteral(" exited with %1").arg(p.fine.esito));
    }
}

void Giudice::porta(const EsitoPorta &p, int numero)
{
    if (!p.errore_avvio.isEmpty())
        return;
    AnalisiTraccia::Opzioni o;
    o.blocco = p.piano->blocco;
    o.successivo = p.piano->successivo.value_or(p.piano->blocco);
    if (p.piano->cambio_ms > 0)
        o.cambio_ms = p.piano->cambio_ms;
    if (p.piano->guasto.tipo == guasto::indice("lose-write-at"))
        o.scrittura_persa = p.piano->guasto.cella;
    const AnalisiTraccia a(p.traccia, o);
    const QString chi = m_porte.size() > 1 ? QStringLiteral("port %1 ").arg(numero) : QString();
    const bool riaggancio = riaggancio_atterrato(p, a);
    m_riaggancio = m_riaggancio || riaggancio;
    riepilogo(p, a, chi);
    const QMap<int, int> esiti = esiti_unita(p);
    for (auto it = esiti.begin(); it != esiti.end(); ++it)
        unita(p, a, it.key(), it.value(), chi + QStringLiteral("unit %1").arg(it.key()));
    if (m_piano.corsa() && esiti.size() < m_piano.ripetizioni && !riaggancio)
        viola("units", chi + QStringLiteral("%1 of %2 units reported on stdout")
                                 .arg(esiti.size())
                                 .arg(m_piano.ripetizioni));
}

void Giudice::riepilogo(const EsitoPorta &p, const AnalisiTraccia &a, const QString &chi)
{
    if (!p.riepilogo) {
        viola("summary", chi + QStringLiteral("m5sim left no readable --summary"));
        return;
    }
    const Riepilogo &r = *p.riepilogo;
    // Stopped after a unit was taken away, the simulator may have brought the next.
    const bool nuova = a.in_cambio() && r.unita == a.unita() + 1;
    const Blocco atteso = nuova ? *p.piano->successivo : a.celle();
    const int i = prima_diversa(r.celle, atteso);
    if (i >= 0)
        viola("summary", chi + QStringLiteral("summary cell %1 is %2, the trace replayed gives %3")
                                   .arg(i)
                                   .arg(r.celle[i])
                                   .arg(atteso[i]));
    if (r.scritture != a.scritture() || r.dialoghi != static_cast<long long>(a.dialoghi().size()))
        viola("summary", chi + QStringLiteral("summary counts %1 writes and %2 dialogues, the "
                                              "trace %3 and %4")
                                   .arg(r.scritture)
                                   .arg(r.dialoghi)
                                   .arg(a.scritture())
                                   .arg(a.dialoghi().size()));
    if (m_piano.rifiuto >= 0 && RIFIUTI[m_piano.rifiuto].esito != 6 && r.dialoghi != 0)
        viola("refused", chi + QStringLiteral("a dialogue began although the arguments are "
                                              "refused before the port"));
}

QMap<int, int> Giudice::esiti_unita(const EsitoPorta &p) const
{
    QMap<int, int> esiti;
    if (!m_piano.corsa()) {
        esiti.insert(1, m_ctl.fine.esito);
        return esiti;
    }
    for (const QByteArray &riga : m_ctl.uscita_standard.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(riga).object();
        if (o.value(QStringLiteral("porta")).toString() == p.collegamento)
            esiti.insert(o.value(QStringLiteral("unita")).toInt(),
                         o.value(QStringLiteral("esito")).toInt(-1));
    }
    return esiti;
}

InsiemeEsiti Giudice::senza_dialogo(const EsitoPorta &p, const AnalisiTraccia &a, int n) const
{
    InsiemeEsiti ammessi;
    if (m_piano.rifiuto >= 0 && RIFIUTI[m_piano.rifiuto].esito != 6)
        ammessi.set(static_cast<std::size_t>(RIFIUTI[m_piano.rifiuto].esito));
    if (p.piano->guasto.tipo == guasto::indice("silent"))
        ammessi.set(4);
    // After a write time-out m5ctl lets the port go without "E", so the
    // simulator never takes that unit away and no other comes.
    const auto &d = a.dialoghi();
    if (n >= 2 && static_cast<int>(d.size()) >= n - 1 && d[n - 2].scritture_interrotte())
        ammessi.set(4);
    if (riaggancio_atterrato(p, a))
        ammessi |= insieme_esiti({3, 4});
    return ammessi;
}

void Giudice::unita(const EsitoPorta &p, const AnalisiTraccia &a, int n, int esito,
                    const QString &chi)
{
    const auto &dialoghi = a.dialoghi();
    const Dialogo *d = n <= static_cast<int>(dialoghi.size()) ? &dialoghi[n - 1] : nullptr;
    const Blocco prima =
        d ? d->prima : (n == 1 ? p.piano->blocco : p.piano->successivo.value_or(p.piano->blocco));
    const int pulito = esito_pulito(m_piano.incarico, prima);
    const ContestoUnita c{p.piano->guasto, a, d, n - 1, pulito};
    const InsiemeEsiti ammessi =
        d ? TIPI_GUASTO[p.piano->guasto.tipo].attesi(c) : senza_dialogo(p, a, n);
    if (esito < 0 || esito > 255 || !ammessi.test(static_cast<std::size_t>(esito)))
        stato_non_ammesso(c, prima, esito, ammessi, chi);
    if (esito == 0)
        riuscita(d, prima, chi);
    if (d)
        nulla_scritto(*d, esito, chi);
    if (d && esito == 9 && !m_piano.corsa() && !d->risposte_alterate())
        m_differenze = static_cast<int>(
            differenze(m_piano.incarico.richiesti, m_piano.incarico.banda_file, d->prima).size());
    if (d && esito == 0 && !m_piano.corsa() && m_piano.incarico.azione == Azione::Leggi)
        lettura_stampata(*d);
}

// Known causes get a name of their own, so that the counts tell them apart.
void Giudice::stato_non_ammesso(const ContestoUnita &c, const Blocco &prima, int esito,
                                const InsiemeEsiti &ammessi, const QString &chi)
{
    if (fuori_banda_del_manuale(c, prima, esito, chi) || altra_banda_programmata(c, esito, chi))
        return;
    if (esito == 3 && c.dialogo && c.guasto.tipo != guasto::indice("hangup-after")) {
        viola("port", QStringLiteral("%1: exit 3, the port taken for broken on a line that never "
                                     "dropped (clean line: %2)")
                          .arg(chi)
                          .arg(c.pulito));
        return;
    }
    viola("status", QStringLiteral("%1: exit %2, allowed %3 (%4)")
                        .arg(chi)
                        .arg(esito)
                        .arg(testo_esiti(ammessi))
                        .arg(c.dialogo ? QStringLiteral("clean line: %1").arg(c.pulito)
                                       : QStringLiteral("no dialogue")));
}

// Only when m5ctl read the band letter as the unit holds it.
bool Giudice::fuori_banda_del_manuale(const ContestoUnita &c, const Blocco &prima, int esito,
                                      const QString &chi)
{
    const auto &f = m_piano.incarico.richiesti.frequenza;
    const auto banda = banda_da_lettera(prima[CELLA_BANDA]);
    const auto letta = c.dialogo ? c.dialogo->prima_lettura() : std::nullopt;
    if (esito != 6 || c.pulito != 0 || !f || !banda || !frequenza_nella_banda(*f, *banda) ||
        !letta || (*letta)[CELLA_BANDA] != prima[CELLA_BANDA])
        return false;
    viola("band",
          QStringLiteral("%1: exit 6 for %2 MHz on a %3 unit, inside its window of %4 MHz")
              .arg(chi, QString::fromStdString(f->testo()), QLatin1String(nome_banda(*banda)),
                   QString::fromStdString(testo_finestra_rx(*banda))));
    return true;
}

bool Giudice::altra_banda_programmata(const ContestoUnita &c, int esito, const QString &chi)
{
    if (esito != 0 || c.pulito != 6 || !c.dialogo)
        return false;
    const auto letta = c.dialogo->prima_lettura();
    const auto banda = banda_da_lettera(c.dialogo->prima[CELLA_BANDA]);
    viola("band", QStringLiteral("%1: exit 0, a unit of %2 programmed with a frequency or file of "
                                 "the other band, its band letter read as %3")
                      .arg(chi)
                      .arg(QLatin1String(banda ? nome_banda(*banda) : "no known band"))
                      .arg(letta ? (*letta)[CELLA_BANDA] : -1));
    return true;
}

void Giudice::riuscita(const Dialogo *d, const Blocco &prima, const QString &chi)
{
    if (!d) {
        viola("success", chi + QStringLiteral(": exit 0 but the receiver saw no dialogue"));
        return;
    }
    for (const Richiesta &r : d->richieste) {
        if (r.tipo == 'W' && !r.risposta.contains(lettera::PRONTO)) {
            viola("success", chi + QStringLiteral(": exit 0 but the write of cell %1 got no "
                                                  "\"K\" before the next request")
                                       .arg(r.cella));
            break;
        }
    }
    const Blocco atteso = celle_attese(m_piano.incarico, prima);
    const int i = prima_diversa(d->dopo, atteso);
    if (i >= 0)
        viola("success", chi + QStringLiteral(": exit 0 but cell %1 holds %2, %3 was asked")
                                   .arg(i)
                                   .arg(d->dopo[i])
                                   .arg(atteso[i]));
}

void Giudice::nulla_scritto(const Dialogo &d, int esito, const QString &chi)
{
    const int scritture = d.scritture();
    if (scritture == 0)
        return;
    const Azione azione = m_piano.incarico.azione;
    if (azione == Azione::Leggi || azione == Azione::Verifica)
        viola("written", chi + QStringLiteral(": %1 wrote %2 cells")
                                   .arg(QLatin1String(nome_comando(azione)))
                                   .arg(scritture));
    else if (esito == 2 || esito == 6 || esito == 7)
        viola("written",
              chi +
                  QStringLiteral(": exit %1 but %2 cells were written").arg(esito).arg(scritture));
    if (azione != Azione::Programma)
        return;
    const auto letta = d.prima_lettura();
    if (!letta || !checksum_valido(*letta))
        viola("written", chi + QStringLiteral(": %1 cells written after a first read that %2")
                                   .arg(scritture)
                                   .arg(letta ? QStringLiteral("failed its checksum")
                                              : QStringLiteral("did not complete")));
    else if (esito == 5 && scritture != ULTIMA_CELLA_PROGRAMMATA + 1)
        viola("written", chi + QStringLiteral(": exit 5 after %1 of 62 writes").arg(scritture));
}

// A read said good must show what the unit holds, at least in the cells its
// checksum covers; the others only a clean line can vouch for.
void Giudice::lettura_stampata(const Dialogo &d)
{
    const QJsonArray celle = QJsonDocument::fromJson(m_ctl.uscita_standard)
                                 .object()
                                 .value(QStringLiteral("celle"))
                                 .toArray();
    if (celle.size() != CELLE_LETTE) {
        viola("read", QStringLiteral("read: exit 0 without the 63 cells on stdout"));
        return;
    }
    for (int i = 0; i < CELLE_LETTE; ++i) {
        const bool coperta = i <= ULTIMA_CELLA_CONTATA || i == CELLA_CKS;
        if (celle.at(i).toInt() != d.prima[i] && (coperta || !d.risposte_alterate())) {
            viola("read",
                  QStringLiteral("read: exit 0 but cell %1 printed as %2, the unit holds %3")
                      .arg(i)
                      .arg(celle.at(i).toInt())
                      .arg(d.prima[i]));
            return;
        }
    }
}

void Giudice::messaggi()
{
    QStringList avvisi;
    QStringList altre;
    for (const QByteArray &r : m_ctl.errori.split('\n')) {
        const QString riga = QString::fromUtf8(r);
        if (riga.isEmpty())
            continue;
        if (!riga.startsWith(QLatin1String("m5ctl: ")))
            viola("message", QStringLiteral("stderr line not from m5ctl: %1").arg(riga.left(120)));
        else if (riga.startsWith(QLatin1String("m5ctl: warning: ")))
            avvisi << riga;
        else
            altre << riga;
    }
    const int esito = m_ctl.fine.esito;
    // Only init goes on after a bad first read, and says so.
    if (!avvisi.isEmpty() && (m_piano.corsa() || m_piano.incarico.azione != Azione::Inizializza))
        viola("message", QStringLiteral("unexpected warning: %1").arg(avvisi.first().left(160)));
    if (esito == 0) {
        if (!altre.isEmpty())
            viola("message", QStringLiteral("exit 0 with: %1").arg(altre.first().left(160)));
        return;
    }
    if (esito == 9 && !m_piano.corsa()) {
        if (altre.isEmpty() || (m_differenze >= 0 && altre.size() != m_differenze))
            viola("message", QStringLiteral("verify: %1 lines for %2 differing values")
                                 .arg(altre.size())
                                 .arg(m_differenze));
        return;
    }
    if (altre.size() != 1) {
        viola("message", QStringLiteral("exit %1 with %2 lines on stderr, one expected")
                             .arg(esito)
                             .arg(altre.size()));
        return;
    }
    for (const TestoFinestra &t : TESTI_FINESTRA) {
        const QString citato = QLatin1Char('"') + QLatin1String(t.testo) + QLatin1Char('"');
        if (t.esito == esito && !altre.first().contains(citato))
            viola("message", QStringLiteral("exit %1 without %2: %3")
                                 .arg(esito)
                                 .arg(citato, altre.first().left(200)));
    }
}

void Giudice::uscita_corsa()
{
    QSet<int> esiti;
    bool tutte = !m_riaggancio;
    for (const EsitoPorta &p : m_porte) {
        const QMap<int, int> e = esiti_unita(p);
        tutte = tutte && e.size() == m_piano.ripetizioni;
        for (const int c : e) {
            esiti.insert(c);
            tutte = tutte && c == 0;
        }
    }
    const int esito = m_ctl.fine.esito;
    if (esito == 0 && !tutte)
        viola("status", QStringLiteral("run: exit 0 although a unit failed or is missing"));
    if (esito != 0 && tutte)
        viola("status", QStringLiteral("run: exit %1 although every unit succeeded").arg(esito));
    if (esito != 0 && !esiti.contains(esito) && !(m_riaggancio && esito == 3))
        viola("status", QStringLiteral("run: exit %1 is no unit's status").arg(esito));
}
