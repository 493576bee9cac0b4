// SPDX-License-Identifier: GPL-3.0-or-later
#include "etichettatrice.h"

#include "file_atomico.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {
// Units of a label's height inside disegna, whatever the device: sizes of
// type in whole pixels stay fine-grained on a screen as on paper.
constexpr double ALTEZZA = 1000;
// Wider than this by its height, the code goes beside the rest, else above it.
constexpr double LARGA = 1.4;
// The label's own lines: the station's name last, as it is the one of any length.
constexpr int RIGHE = 5;
// Below this part of the others' size, the station's name is cut instead.
constexpr double STAZIONE_MINIMA = 0.7;
constexpr int RISOLUZIONE_PDF = 600;

QFont carattere(double pixel, bool grassetto)
{
    // On every Debian, with fonts-dejavu-core; else fontconfig's own sans.
    QFont f(QStringLiteral("DejaVu Sans"));
    // No ligatures: "Profilo" must come back from the PDF as six letters.
    f.setStyleHint(QFont::SansSerif, QFont::PreferNoShaping);
    f.setPixelSize(std::max(1, static_cast<int>(pixel)));
    f.setBold(grassetto);
    return f;
}

double piu_larga(const QStringList &righe, const QFontMetricsF &fm)
{
    double larga = 0;
    for (const QString &r : righe)
        larga = std::max(larga, fm.horizontalAdvance(r));
    return larga;
}

// The largest size at which righe fit spazio's width, and as many lines as
// in_altezza its height. Metrics do not grow quite in proportion to the size,
// hence the last steps down.
double misura_righe(const QStringList &righe, int in_altezza, QSizeF spazio, QPaintDevice *d)
{
    const auto sta = [&](double px) {
        const QFontMetricsF fm(carattere(px, false), d);
        return piu_larga(righe, fm) <= spazio.width() &&
               in_altezza * fm.lineSpacing() <= spazio.height();
    };
    const double prova = 100;
    const QFontMetricsF fm(carattere(prova, false), d);
    double px = prova * std::min(spazio.width() / std::max(1.0, piu_larga(righe, fm)),
                                 spazio.height() / (in_altezza * fm.lineSpacing()));
    while (px > 1 && !sta(px))
        px *= 0.95;
    return px;
}

// The code's size by the ink of its digits, not the font's line: a code is
// all the label has to show large.
double misura_codice(const QString &codice, QSizeF spazio, QPaintDevice *d)
{
    const auto inchiostro = [&](double px) {
        return QFontMetricsF(carattere(px, true), d).tightBoundingRect(codice);
    };
    const double prova = 100;
    const QRectF r = inchiostro(prova);
    double px = prova * std::min(spazio.width() / std::max(1.0, r.width()),
                                 spazio.height() / std::max(1.0, r.height()));
    while (px > 1 &&
           (inchiostro(px).width() > spazio.width() || inchiostro(px).height() > spazio.height()))
        px *= 0.95;
    return px;
}

void disegna_codice(QPainter &p, const QRectF &spazio, const QString &codice)
{
    const QFont f = carattere(misura_codice(codice, spazio.size(), p.device()), true);
    const QRectF r = QFontMetricsF(f, p.device()).tightBoundingRect(codice);
    p.setFont(f);
    p.drawText(spazio.center() - r.center(), codice);
}

// righe one under the other within spazio, the block centred in its height;
// the last, the station's name, smaller or cut should it not fit.
void disegna_righe(QPainter &p, const QRectF &spazio, QStringList righe, Qt::Alignment allinea)
{
    const QString stazione = righe.takeLast();
    const double px = misura_righe(righe, RIGHE, spazio.size(), p.device());
    const double px_stazione = std::max(
        px * STAZIONE_MINIMA, std::min(px, misura_righe({stazione}, 1, spazio.size(), p.device())));
    const QFontMetricsF fm(carattere(px, false), p.device());
    const QFontMetricsF fm_stazione(carattere(px_stazione, false), p.device());
    righe << fm_stazione.elidedText(stazione, Qt::ElideRight, spazio.width());

    const double passo = fm.lineSpacing();
    QRectF riga(spazio.left(), spazio.center().y() - passo * RIGHE / 2, spazio.width(), passo);
    for (int i = 0; i < righe.size(); ++i, riga.translate(0, passo)) {
        p.setFont(i + 1 < righe.size() ? carattere(px, false) : carattere(px_stazione, false));
        p.drawText(riga, allinea | Qt::AlignVCenter, righe.at(i));
    }
}

// What a label of mm is in a PDF or on a printer: that paper, edge to edge.
// A custom size keeps its sides as given, so portrait is the label as it is.
QPageLayout impaginazione(QSizeF mm)
{
    return QPageLayout(QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                       QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
}

QRectF foglio(const QPaintDevice &d)
{
    return QRectF(0, 0, d.width(), d.height());
}

bool entro(double lato)
{
    return lato >= Etichettatrice::LATO_MINIMO && lato <= Etichettatrice::LATO_MASSIMO;
}

QString testo_misura(QSizeF mm)
{
    return QStringLiteral("%1x%2 mm").arg(mm.width()).arg(mm.height());
}
} // namespace

std::variant<Etichettatrice, QString> Etichettatrice::apri(const QString &destinazione, QSizeF mm)
{
    const auto errore = [&](const QString &cosa) {
        return QStringLiteral("--etichette ") + destinazione + QStringLiteral(": ") + cosa;
    };
    if (destinazione.isEmpty())
        return QStringLiteral("--etichette: give a printer of the print service, or a folder");
    if (!entro(mm.width()) || !entro(mm.height()))
        return errore(QStringLiteral("a label of %1 will not do; each side must be %2-%3 mm")
                          .arg(testo_misura(mm))
                          .arg(LATO_MINIMO)
                          .arg(LATO_MASSIMO));
    const QFileInfo info(destinazione);
    if (destinazione.contains(QLatin1Char('/')) || info.isDir()) {
        if (!info.exists())
            return errore(QStringLiteral("No such directory; make it, or name a printer"));
        if (!info.isDir())
            return errore(QStringLiteral("Not a directory; give a folder, or name a printer"));
        if (!info.isWritable())
            return errore(QStringLiteral("Permission denied; give a folder you may write in, or "
                                         "name a printer"));
        return Etichettatrice(info.absoluteFilePath(), false, mm);
    }
    // Asked here, on the thread that opens, so that the print service is
    // loaded before any worker's QPrinter needs it.
    if (!QPrinterInfo::availablePrinterNames().contains(destinazione))
        return errore(QStringLiteral("no printer of that name in the print service; lpstat -p "
                                     "lists them, or give a folder"));
    return Etichettatrice(destinazione, true, mm);
}

std::optional<QSizeF> Etichettatrice::misura(const QString &testo)
{
    const QRegularExpression forma(
        QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)x([0-9]+(?:\\.[0-9]+)?)$"));
    const auto trovato = forma.match(testo);
    if (!trovato.hasMatch())
        return std::nullopt;
    const double larga = trovato.captured(1).toDouble();
    const double alta = trovato.captured(2).toDouble();
    if (!entro(larga) || !entro(alta))
        return std::nullopt;
    return QSizeF(larga, alta);
}

QString Etichettatrice::nome_file(const Etichetta &e)
{
    return QString::number(e.codice) + QLatin1Char('-') + e.id.toString(QUuid::WithoutBraces) +
           QStringLiteral(".pdf");
}

QString Etichettatrice::stampa(const Etichetta &e) const
{
    return m_stampante ? invia(e) : salva(e);
}

void Etichettatrice::disegna(QPainter &p, const QRectF &r, const Etichetta &e)
{
    if (r.isEmpty())
        return;
    p.save();
    p.translate(r.topLeft());
    p.scale(r.height() / ALTEZZA, r.height() / ALTEZZA);
    p.setPen(Qt::black);
    const double larghezza = r.width() * ALTEZZA / r.height();
    const double margine = 0.06 * std::min(larghezza, ALTEZZA);
    const QRectF dentro(margine, margine, larghezza - 2 * margine, ALTEZZA - 2 * margine);
    const QStringList righe = {
        e.frequenza + QLatin1Char(' ') + e.banda,
        e.ora.toString(QStringLiteral("yyyy-MM-dd")),
        QStringLiteral("Piano ") + e.piano,
        QStringLiteral("Profilo ") + e.profilo,
        e.stazione,
    };
    const QString codice = QString::number(e.codice);
    if (larghezza >= LARGA * ALTEZZA) {
        // The lines take at most half the width, and no more than they need.
        const QSizeF colonna(dentro.width() / 2, dentro.height());
        const double px = misura_righe(righe.mid(0, RIGHE - 1), RIGHE, colonna, p.device());
        const double larga = std::min(
            colonna.width(), piu_larga(righe, QFontMetricsF(carattere(px, false), p.device())));
        disegna_righe(p, QRectF(dentro.right() - larga, dentro.top(), larga, dentro.height()),
                      righe, Qt::AlignLeft);
        disegna_codice(p, dentro.adjusted(0, 0, -larga - margine, 0), codice);
    } else {
        const double alto = dentro.height() * 0.45;
        disegna_codice(p, QRectF(dentro.topLeft(), QSizeF(dentro.width(), alto)), codice);
        disegna_righe(p, dentro.adjusted(0, alto + margine, 0, 0), righe, Qt::AlignHCenter);
    }
    p.restore();
}

// Drawn whole in memory, so that the folder gets the whole PDF or nothing.
QString Etichettatrice::salva(const Etichetta &e) const
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter scrittore(&pdf);
        scrittore.setResolution(RISOLUZIONE_PDF);
        scrittore.setCreator(QStringLiteral("m5config"));
        scrittore.setTitle(nome_file(e));
        if (!scrittore.setPageLayout(impaginazione(m_mm)))
            return QStringLiteral("label not made: a PDF page of %1 was refused")
                .arg(testo_misura(m_mm));
        QPainter p;
        if (!p.begin(&scrittore))
            return QStringLiteral("label not made: the PDF could not be begun");
        disegna(p, foglio(scrittore), e);
        if (!p.end())
            return QStringLiteral("label not made: the PDF could not be finished");
    }
    const QString percorso = QDir(m_destinazione).filePath(nome_file(e));
    std::string errore;
    if (!salva_file_atomico(QFile::encodeName(percorso).toStdString(), pdf.data().constData(),
                            static_cast<std::size_t>(pdf.data().size()), errore))
        return QStringLiteral("label not saved in ") + m_destinazione + QStringLiteral(": ") +
               QString::fromStdString(errore);
    return QString();
}

QString Etichettatrice::invia(const Etichetta &e) const
{
    const QString stampante = QStringLiteral("printer ") + m_destinazione;
    // An unknown name would have QPrinter fall back to another printer or a file.
    if (QPrinterInfo::printerInfo(m_destinazione).isNull())
        return stampante + QStringLiteral(" is no longer in the print service");
    QPrinter q(QPrinter::HighResolution);
    q.setPrinterName(m_destinazione);
    if (q.outputFormat() != QPrinter::NativeFormat || q.printerName() != m_destinazione ||
        !q.isValid())
        return stampante + QStringLiteral(" could not be chosen");
    q.setDocName(nome_file(e));
    q.setCreator(QStringLiteral("m5config"));
    q.setFullPage(true);
    if (!q.setPageLayout(impaginazione(m_mm)))
        return stampante + QStringLiteral(" refused a page of ") + testo_misura(m_mm);
    QPainter p;
    if (!p.begin(&q))
        return stampante + QStringLiteral(" could not begin the label");
    disegna(p, foglio(q), e);
    if (!p.end() || q.printerState() == QPrinter::Error)
        return stampante + QStringLiteral(" did not take the label");
    return QString();
}
