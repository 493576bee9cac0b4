// SPDX-License-Identifier: GPL-3.0-or-later
// The station's window draws what its core tells; m5stazione as a user starts it.
#include "avvio_banco.h"
#include "banco.h"
#include "dialogo_impostazioni.h"
#include "esecuzione_m5ctl.h"
#include "finestra_stazione.h"
#include "lingua.h"
#include "opzioni_stazione.h"
#include "profilo_prova.h"
#include "riquadro_posto.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTranslator>
#include <QtTest>

#include <cmath>
#include <csignal>

using Aspetto = RiquadroPosto::Aspetto;

class TstStazione : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void disegno();
    void colori_data();
    void colori();
    void parola_data();
    void parola();
    void geometria_data();
    void geometria();
    void suoni_data();
    void suoni();
    void impostazioni_data();
    void impostazioni();
    void impostazioni_codici_data();
    void impostazioni_codici();
    void uscita_data();
    void uscita();
    void argomenti_data();
    void argomenti();
    void file_danneggiato_data();
    void file_danneggiato();
    void lingua_data();
    void lingua();
    void interruzione_data();
    void interruzione();
    void codici_esauriti();

private:
    QTemporaryDir m_cartella;
    Profilo profilo_prova() const
    {
        return profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false);
    }
};

namespace {

double luminanza(const QColor &c)
{
    auto lineare = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lineare(c.redF()) + 0.7152 * lineare(c.greenF()) + 0.0722 * lineare(c.blueF());
}

// m5stazione offscreen, its configuration and data in cartella.
QProcessEnvironment ambiente(const QString &cartella, const QString &esecuzione)
{
    QProcessEnvironment a = QProcessEnvironment::systemEnvironment();
    a.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    a.insert(QStringLiteral("XDG_CONFIG_HOME"), cartella + QStringLiteral("/config"));
    a.insert(QStringLiteral("XDG_DATA_HOME"), cartella + QStringLiteral("/data"));
    a.insert(QStringLiteral("XDG_RUNTIME_DIR"), esecuzione);
    return a;
}

QList<PostoConfigurato> posti_prova(int quanti)
{
    QList<PostoConfigurato> elenco;
    for (int i = 1; i <= quanti; ++i)
        elenco.append(
            {i, QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(i)});
    return elenco;
}

// State words as long as a translation might make them.
class ParoleLunghe : public QTranslator
{
public:
    QString translate(const char *contesto, const char *testo, const char *, int) const override
    {
        static const QHash<QByteArray, QString> lunghe{
            {"MANCANTE", QStringLiteral("DISCONNECTED")},
            {"IN CORSO", QStringLiteral("IN PROGRESS")},
            {"TOGLIERE", QStringLiteral("TAKE IT OUT")},
            {"OCCUPATO", QStringLiteral("PORT IN USE")},
            {"DOPPIO", QStringLiteral("SHARED DEVICE")},
            {"IN PAUSA", QStringLiteral("WAITING FOR SETTINGS")},
            {"CODICI ESAURITI", QStringLiteral("NO RECEIVER CODES LEFT")}};
        return qstrcmp(contesto, "RiquadroPosto") == 0 ? lunghe.value(testo) : QString();
    }
    bool isEmpty() const override { return false; }
};

// Apart by a pixel at least: touching, two tiles of one colour read as one.
bool separati(const QRect &a, const QRect &b)
{
    return !a.marginsAdded(QMargins(1, 1, 1, 1)).intersects(b);
}

QString rettangolo(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}
// In a tile of this size, for every state: the word, its icon, the heading
// and the counters whole, apart, and the word within its place in the type
// it is drawn in. Empty when so.
QString difetto_disposizione(const QSize &dimensione)
{
    for (const Aspetto a : RiquadroPosto::aspetti()) {
        const RiquadroPosto::Disposizione d = RiquadroPosto::disponi(dimensione, a);
        const QString come = QStringLiteral("%1 in %2x%3")
                                 .arg(RiquadroPosto::parola(a))
                                 .arg(dimensione.width())
                                 .arg(dimensione.height());
        const QList<QRect> parti{d.testata, d.icona, d.parola, d.conti};
        for (int k = 0; k < parti.size(); ++k) {
            if (parti.at(k).isEmpty() || !QRect(QPoint(0, 0), dimensione).contains(parti.at(k)))
                return come + QStringLiteral(": part %1 at ").arg(k) + rettangolo(parti.at(k));
            for (int l = 0; l < k; ++l) {
                if (parti.at(k).intersects(parti.at(l)))
                    return come + QStringLiteral(": parts %1 and %2 meet").arg(l).arg(k);
            }
        }
        const QFontMetrics fm(d.carattere_parola);
        if (fm.horizontalAdvance(RiquadroPosto::parola(a)) > d.parola.width() ||
            fm.height() > d.parola.height())
            return come + QStringLiteral(": the word is larger than ") + rettangolo(d.parola);
    }
    return QString();
}
// A label's text as it reads, without its markup.
QString testo_letto(const QLabel *etichetta)
{
    QTextDocument documento;
    documento.setHtml(etichetta->text());
    return documento.toPlainText().simplified();
}

QStringList elenco(const QList<PostoConfigurato> &posti)
{
    QStringList e;
    for (const PostoConfigurato &p : posti)
        e << QStringLiteral("%1=%2").arg(p.numero).arg(p.presa);
    return e;
}

// XDG_DATA_HOME for as long as it lives: the store of codes is the test's own.
class DatiPropri
{
public:
    explicit DatiPropri(const QString &cartella)
        : m_prima(qgetenv("XDG_DATA_HOME")), m_data(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(cartella));
    }
    ~DatiPropri()
    {
        if (m_data)
            qputenv("XDG_DATA_HOME", m_prima);
        else
            qunsetenv("XDG_DATA_HOME");
    }

private:
    const QByteArray m_prima;
    const bool m_data;
};

// "Salva", answering no to any question that follows it; false if the
// dialog warned instead of saving. Never waits on a box left open.
bool salva_senza_avvisi(DialogoImpostazioni *dialogo)
{
    bool avvisato = false;
    QTimer guardia;
    QObject::connect(&guardia, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *m = qobject_cast<QMessageBox *>(w); m && m->isVisible()) {
                avvisato = avvisato || m->parentWidget() == dialogo;
                m->reject();
            }
        }
    });
    guardia.start(100);
    dialogo->accept();
    return !avvisato;
}
} // namespace

void TstStazione::initTestCase()
{
    QVERIFY(m_cartella.isValid());
    QVERIFY(salva_file(m_cartella.filePath(QStringLiteral("profilo.json")), PROFILO));
    QVERIFY(QDir().mkpath(m_cartella.filePath(QStringLiteral("run"))));
    QFile::setPermissions(m_cartella.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The window draws each slot and the totals as the core tells them, in the
// window's words and numbers.
void TstStazione::disegno()
{
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    const QList<PostoConfigurato> posti{{1, QStringLiteral("/dev/ttyUSB0")},
                                        {2, QStringLiteral("/dev/ttyUSB1")}};
    FinestraStazione f(banco, profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                       posti, true);
    f.show();
    QuadroPosto q;
    q.aspetto = Aspetto::Fallito;
    q.motivo = QStringLiteral("Errore TIME OUT");
    q.unita = 3;
    q.ok = 2;
    q.fallite = 1;
    emit banco.quadro_cambiato(1, q);
    emit banco.totali_cambiati(TotaliBanco{5, 4, 1, 0.8, 0, {}, 0, false, false, false, {}, 0});
    QCOMPARE(f.riquadro(0)->aspetto(), Aspetto::Mancante);
    QCOMPARE(f.riquadro(1)->aspetto(), Aspetto::Fallito);
    QCOMPARE(f.riquadro(1)->motivo(), q.motivo);
    const auto *totali = f.findChild<QLabel *>(QStringLiteral("totali"));
    QVERIFY(totali);
    QCOMPARE(totali->text(), QStringLiteral("Unità 5 · OK 4 · Falliti 1 · Resa al primo passaggio "
                                            "80,0 % · 0 unità nell'ultima ora"));

    // Few codes left, an archive away: each marked, beyond its colour.
    const QDateTime dalle = QDateTime::currentDateTime();
    emit banco.totali_cambiati(
        TotaliBanco{5, 4, 1, 0.8, 0, 3, 60, true, true, false, dalle.toUTC(), 7});
    QCOMPARE(testo_letto(totali),
             QStringLiteral("Unità 5 · OK 4 · Falliti 1 · Resa al primo passaggio 80,0 % · 0 "
                            "unità nell'ultima ora · ! Codici rimasti: 3 di 60 · ! Archivio: non "
                            "in linea dal %1, 7 in attesa")
                 .arg(dalle.toString(QStringLiteral("HH:mm"))));
}

void TstStazione::colori_data()
{
    QTest::addColumn<Aspetto>("aspetto");
    for (const Aspetto a : RiquadroPosto::aspetti())
        QTest::newRow(qPrintable(RiquadroPosto::parola(a))) << a;
}

// Readable from across the room: 7:1 or more, by the WCAG formula.
void TstStazione::colori()
{
    QFETCH(Aspetto, aspetto);
    const RiquadroPosto::Colori c = RiquadroPosto::colori(aspetto);
    const double a = luminanza(c.sfondo);
    const double b = luminanza(c.testo);
    const double contrasto = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    QVERIFY2(contrasto >= 7, qPrintable(QString::number(contrasto)));

    // Colour is never the only sign: each state has a shape drawn.
    RiquadroPosto t(1, QStringLiteral("/dev/ttyUSB0"));
    QuadroPosto q;
    q.aspetto = aspetto;
    t.imposta(q);
    t.resize(300, 200);
    const QImage immagine = t.grab().toImage();
    const QRect icona = t.disposizione().icona;
    int segnati = 0;
    for (int y = icona.top(); y <= icona.bottom(); ++y) {
        for (int x = icona.left(); x <= icona.right(); ++x)
            segnati += (luminanza(immagine.pixelColor(x, y)) > (a + b) / 2) == (b > a);
    }
    QVERIFY2(segnati * 20 >= icona.width() * icona.height(), qPrintable(QString::number(segnati)));
}

void TstStazione::parola_data()
{
    QTest::addColumn<int>("posti");
    QTest::newRow("8 posti") << 8;
    QTest::newRow("16 posti") << 16;
}

// With a full grid on a 1920x1080 screen, every state word is a sixth of
// its tile's height, 48 px at least, and fits the tile's width.
void TstStazione::parola()
{
    QFETCH(int, posti);
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    QList<PostoConfigurato> elenco;
    for (int i = 1; i <= posti; ++i)
        elenco.append(
            {i, QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(i)});
    FinestraStazione f(banco, profilo(m_cartella.filePath(QStringLiteral("profilo.json")), false),
                       elenco, true);
    f.resize(1920, 1080);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.size(), QSize(1920, 1080));
    for (int i = 0; i < posti; ++i) {
        RiquadroPosto *t = f.riquadro(i);
        const int alta = t->altezza_parola();
        QVERIFY2(
            alta >= 48 && alta * 6 >= t->height(),
            qPrintable(QStringLiteral("%1 px in a tile %2 px high").arg(alta).arg(t->height())));
        QFont carattere;
        carattere.setPixelSize(alta);
        carattere.setBold(true);
        for (const Aspetto a : {Aspetto::Mancante, Aspetto::Attesa, Aspetto::Lavoro,
                                Aspetto::Riuscito, Aspetto::Fallito, Aspetto::DaTogliere})
            QVERIFY2(QFontMetrics(carattere).horizontalAdvance(RiquadroPosto::parola(a)) <=
                         t->width(),
                     qPrintable(RiquadroPosto::parola(a)));
    }
}

void TstStazione::geometria_data()
{
    QTest::addColumn<int>("posti");
    QTest::addColumn<int>("poi"); // the slots after a settings change; 0: none
    QTest::addColumn<QSize>("finestra");
    QTest::addColumn<bool>("lunghe");
    QTest::newRow("16 posti in 1366x768") << 16 << 0 << QSize(1366, 768) << false;
    QTest::newRow("16 posti in 1366x768, parole lunghe") << 16 << 0 << QSize(1366, 768) << true;
    QTest::newRow("3 posti in 600x400") << 3 << 0 << QSize(600, 400) << false;
    QTest::newRow("3 posti in 600x400, parole lunghe") << 3 << 0 << QSize(600, 400) << true;
    QTest::newRow("da 2 a 3 posti in 600x400") << 2 << 3 << QSize(600, 400) << false;
    QTest::newRow("da 12 a 16 posti in 1366x768") << 12 << 16 << QSize(1366, 768) << false;
}

// A window no larger than the screen, as a window manager or the screen
// itself keeps it: the tiles share it without touching, and in each, for
// every state, the word, its icon and the counters are whole and apart.
void TstStazione::geometria()
{
    QFETCH(int, posti);
    QFETCH(int, poi);
    QFETCH(QSize, finestra);
    QFETCH(bool, lunghe);
    ParoleLunghe traduttore;
    if (lunghe)
        QVERIFY(QCoreApplication::installTranslator(&traduttore));
    const auto togli = qScopeGuard([&] { QCoreApplication::removeTranslator(&traduttore); });

    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    FinestraStazione f(banco, profilo_prova(), posti_prova(posti), true);
    f.setFixedSize(finestra);
    // The totals at their longest.
    emit banco.totali_cambiati(TotaliBanco{88888, 88888, 88888, 0.999, 8888, 4096, 4096, true, true,
                                           false, QDateTime::currentDateTimeUtc().addDays(-1),
                                           88888});
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    if (poi > 0) {
        emit banco.configurato(profilo_prova(), posti_prova(poi));
        posti = poi;
        QTRY_VERIFY(f.riquadro(posti - 1) && f.riquadro(posti - 1)->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    for (int i = 0; i < posti; ++i) {
        const RiquadroPosto *t = f.riquadro(i);
        const QRect qui(t->mapTo(&f, QPoint(0, 0)), t->size());
        QVERIFY2(f.rect().contains(qui), qPrintable(rettangolo(qui)));
        for (int j = 0; j < i; ++j) {
            const QRect prima(f.riquadro(j)->mapTo(&f, QPoint(0, 0)), f.riquadro(j)->size());
            QVERIFY2(separati(prima, qui),
                     qPrintable(QStringLiteral("%1 and %2: %3, %4")
                                    .arg(j + 1)
                                    .arg(i + 1)
                                    .arg(rettangolo(prima), rettangolo(qui))));
        }
        const QString difetto = difetto_disposizione(t->size());
        QVERIFY2(difetto.isEmpty(), qPrintable(QStringLiteral("tile %1: ").arg(i + 1) + difetto));
    }
    QVERIFY2(f.minimumSizeHint().boundedTo(finestra) == f.minimumSizeHint(),
             qPrintable(QStringLiteral("at least %1x%2")
                            .arg(f.minimumSizeHint().width())
                            .arg(f.minimumSizeHint().height())));
    const auto *totali = f.findChild<QLabel *>(QStringLiteral("totali"));
    const QRect riga(totali->mapTo(&f, QPoint(0, 0)), totali->size());
    QVERIFY2(f.rect().contains(riga) && totali->height() >= totali->heightForWidth(totali->width()),
             qPrintable(rettangolo(riga)));
}

void TstStazione::suoni_data()
{
    QTest::addColumn<bool>("muto");
    QTest::addColumn<QList<bool>>("audio"); // a sound device, one change after the other
    QTest::addColumn<bool>("attivi");
    QTest::addColumn<bool>("spuntati");
    QTest::newRow("con audio") << false << QList<bool>{true} << true << true;
    QTest::newRow("con audio, --mute") << true << QList<bool>{true} << true << false;
    QTest::newRow("senza audio") << false << QList<bool>{false} << false << false;
    QTest::newRow("audio tornato") << false << QList<bool>{true, false, true} << true << true;
}

// Without a sound device, "Suoni" says so instead of promising a sound.
void TstStazione::suoni()
{
    QFETCH(bool, muto);
    QFETCH(QList<bool>, audio);
    QFETCH(bool, attivi);
    QFETCH(bool, spuntati);
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    FinestraStazione f(banco, profilo_prova(), posti_prova(1), muto);
    for (const bool presente : std::as_const(audio))
        f.suoni().imposta_audio(presente);
    const auto *azione = f.findChild<QAction *>(QStringLiteral("suoni"));
    QVERIFY(azione);
    QCOMPARE(azione->isEnabled(), attivi);
    QCOMPARE(azione->isChecked(), spuntati);
    QCOMPARE(azione->text().contains(QStringLiteral("nessun dispositivo audio")), !attivi);
}

void TstStazione::impostazioni_data()
{
    QTest::addColumn<QString>("scritta"); // typed into slot 2's field
    QTest::addColumn<QString>("trovata"); // the core finds it for "Assegna"; empty: no search
    QTest::addColumn<QString>("fine");    // of the search: "annullata", "scaduta" or none
    QTest::addColumn<QString>("stato");
    QTest::addColumn<QString>("salvata"); // slot 2's socket as sent; empty: no slot 2
    const QString presa =
        QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4.2:1.0-port0");
    QTest::newRow("scritta") << QStringLiteral("/dev/ttyUSB9") << QString() << QString()
                             << QString() << QStringLiteral("/dev/ttyUSB9");
    QTest::newRow("assegnata") << QString() << presa << QString()
                               << QStringLiteral("Posto 2: ") + presa << presa;
    QTest::newRow("assegnazione annullata")
        << QString() << presa << QStringLiteral("annullata") << QString() << QString();
    QTest::newRow("assegnazione scaduta")
        << QStringLiteral("/dev/ttyUSB9") << presa << QStringLiteral("scaduta")
        << QStringLiteral("Nessun adattatore nuovo: riprovare") << QStringLiteral("/dev/ttyUSB9");
}

// The settings open while units work, and what was typed or assigned is
// sent as it is, however the slots changed meanwhile.
void TstStazione::impostazioni()
{
    QFETCH(QString, scritta);
    QFETCH(QString, trovata);
    QFETCH(QString, fine);
    QFETCH(QString, stato);
    QFETCH(QString, salvata);
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    FinestraStazione f(banco, profilo_prova(), posti_prova(1), true);
    f.imposta_file_profilo(m_cartella.filePath(QStringLiteral("profilo.json")));
    f.show();
    QSignalSpy chiesto(&f, &FinestraStazione::cambio_chiesto);
    emit banco.unita_in_dialogo(true);
    auto *azione = f.findChild<QAction *>(QStringLiteral("impostazioni"));
    QVERIFY(azione->isEnabled());
    azione->trigger();
    auto *dialogo = f.findChild<DialogoImpostazioni *>();
    QVERIFY(dialogo && dialogo->isVisible());
    auto *campo = dialogo->findChild<QLineEdit *>(QStringLiteral("presa_2"));
    auto *assegna = dialogo->findChild<QPushButton *>(QStringLiteral("assegna_2"));
    auto *altro = dialogo->findChild<QPushButton *>(QStringLiteral("assegna_1"));
    // A socket's name behind a hub, whole.
    QVERIFY(campo->width() >= campo->fontMetrics().horizontalAdvance(QStringLiteral(
                                  "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4.2:1.0-port0")));
    QCOMPARE(dialogo->findChild<QScrollArea *>()->horizontalScrollBar()->maximum(), 0);

    campo->setText(scritta);
    if (!trovata.isEmpty()) {
        QSignalSpy annullata(dialogo, &DialogoImpostazioni::assegnazione_annullata);
        assegna->click();
        QCOMPARE(assegna->text(), QStringLiteral("Annulla"));
        QVERIFY(!altro->isEnabled());
        if (fine == QLatin1String("annullata"))
            assegna->click();
        else if (fine == QLatin1String("scaduta"))
            emit banco.assegnazione_scaduta(2);
        // Too late for a search that ended: nothing changes.
        emit banco.presa_trovata(2, trovata);
        QCOMPARE(annullata.size(), fine == QLatin1String("annullata") ? 1 : 0);
        QCOMPARE(assegna->text(), QStringLiteral("Assegna"));
        QVERIFY(altro->isEnabled() && assegna->isEnabled());
    }
    QCOMPARE(dialogo->findChild<QLabel *>(QStringLiteral("stato"))->text(), stato);

    // A unit starts while the dialog is open.
    QuadroPosto q;
    q.aspetto = Aspetto::Lavoro;
    emit banco.quadro_cambiato(0, q);
    emit banco.unita_in_dialogo(true);
    QVERIFY(dialogo->isVisible());
    QVERIFY(salva_senza_avvisi(dialogo));
    QCOMPARE(chiesto.size(), 1);
    QList<PostoConfigurato> attesi{posti_prova(1)};
    if (!salvata.isEmpty())
        attesi.append({2, salvata});
    QCOMPARE(elenco(chiesto.first().at(1).value<QList<PostoConfigurato>>()), elenco(attesi));
}

void TstStazione::impostazioni_codici_data()
{
    QTest::addColumn<QString>("piano");    // %T: the test's folder, with codici.txt
    QTest::addColumn<QString>("archivio"); // %T as a Unix socket's folder, with no server
    QTest::addColumn<QString>("stato");    // the status line's start; empty: saved
    QTest::addColumn<int>("codici");       // of the plan sent
    QTest::newRow("intervallo e archivio") << "1-500"
                                           << "host=%T dbname=m5 user=stazione" << QString() << 500;
    QTest::newRow("file dei codici") << "%T/codici.txt" << QString() << QString() << 3;
    QTest::newRow("intervallo fuori campo")
        << "1-5000" << QString() << "Piano dei codici: \"1-5000\" is out of range" << 0;
    QTest::newRow("archivio con password") << QString() << "postgresql://stazione:segreta@db/m5"
                                           << "Archivio: the string holds a password" << 0;
}

// A plan and an archive typed in the settings reach the core with the
// change, and the archive is saved with the slots; one that will not do is
// said in the dialog, which stays open, and never repeats a password.
void TstStazione::impostazioni_codici()
{
    QFETCH(QString, piano);
    QFETCH(QString, archivio);
    QFETCH(QString, stato);
    QFETCH(int, codici);
    QTemporaryDir d;
    QVERIFY(d.isValid());
    QVERIFY(salva_file(d.filePath(QStringLiteral("codici.txt")), "7\n# di riserva\n9\n11\n"));
    piano.replace(QStringLiteral("%T"), d.path());
    archivio.replace(QStringLiteral("%T"), d.path());
    const DatiPropri dati(d.filePath(QStringLiteral("data")));
    const QString stazione = d.filePath(QStringLiteral("stazione.json"));

    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")}, stazione);
    FinestraStazione f(banco, profilo_prova(), posti_prova(1), true);
    f.imposta_file_profilo(m_cartella.filePath(QStringLiteral("profilo.json")));
    f.show();
    QSignalSpy chiesto(&f, &FinestraStazione::cambio_chiesto);
    f.findChild<QAction *>(QStringLiteral("impostazioni"))->trigger();
    auto *dialogo = f.findChild<DialogoImpostazioni *>();
    QVERIFY(dialogo);
    dialogo->findChild<QLineEdit *>(QStringLiteral("piano"))->setText(piano);
    dialogo->findChild<QLineEdit *>(QStringLiteral("archivio"))->setText(archivio);
    // "Sì" to the question the change asks.
    QTimer risposta;
    QObject::connect(&risposta, &QTimer::timeout, [] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *m = qobject_cast<QMessageBox *>(w);
            for (QAbstractButton *b :
                 m && m->isVisible() ? m->buttons() : QList<QAbstractButton *>())
                if (b->text() == QStringLiteral("Sì, cambiare"))
                    b->click();
        }
    });
    risposta.start(50);
    dialogo->accept();
    risposta.stop();
    if (!stato.isEmpty()) {
        QVERIFY(dialogo->isVisible());
        QCOMPARE(chiesto.size(), 0);
        const QString detto = dialogo->findChild<QLabel *>(QStringLiteral("stato"))->text();
        QVERIFY2(detto.startsWith(stato) && !detto.contains(QStringLiteral("segreta")),
                 qPrintable(detto));
        return;
    }
    QCOMPARE(chiesto.size(), 1);
    const Profilo p = chiesto.first().at(0).value<Profilo>();
    QCOMPARE(p.piano ? p.piano->codici().size() : 0, codici);
    QCOMPARE(p.origine_piano, piano);
    // Confirmed: the core has the change, and saved it with its archive.
    QTRY_VERIFY_WITH_TIMEOUT(banco.in_corso(), FINE_MS);
    QString salvato;
    QVERIFY(
        std::holds_alternative<QList<PostoConfigurato>>(file_stazione::carica(stazione, &salvato)));
    QCOMPARE(salvato, archivio);
    QCOMPARE(banco.archivio(), archivio);
    banco.interrompi();
    QTRY_VERIFY_WITH_TIMEOUT(!banco.in_corso(), FINE_MS);
}

void TstStazione::uscita_data()
{
    QTest::addColumn<bool>("al_lavoro");
    QTest::addColumn<bool>("segnale");   // close() as a signal to end does it, not "Esci"
    QTest::addColumn<QString>("scelta"); // in the question; empty: none is asked
    QTest::addColumn<int>("fermate");    // the core asked to let units end
    QTest::addColumn<int>("interrotte"); // the core asked to interrupt them
    QTest::newRow("nessuna unità") << false << false << QString() << 0 << 1;
    QTest::newRow("attendere") << true << false << QStringLiteral("Attendere la fine, poi uscire")
                               << 1 << 0;
    QTest::newRow("interrompere") << true << false << QStringLiteral("Interrompere e uscire") << 0
                                  << 1;
    QTest::newRow("annullare") << true << false << QStringLiteral("Annulla") << 0 << 0;
    QTest::newRow("segnale") << true << true << QString() << 0 << 1;
}

// "Esci" asks first while units are in their dialogue; a signal never asks.
void TstStazione::uscita()
{
    QFETCH(bool, al_lavoro);
    QFETCH(bool, segnale);
    QFETCH(QString, scelta);
    QFETCH(int, fermate);
    QFETCH(int, interrotte);
    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                m_cartella.filePath(QStringLiteral("stazione.json")));
    FinestraStazione f(banco, profilo_prova(), posti_prova(2), true);
    f.show();
    emit banco.configurato(profilo_prova(), posti_prova(2));
    QuadroPosto q;
    q.aspetto = Aspetto::Lavoro;
    if (al_lavoro)
        emit banco.quadro_cambiato(1, q);
    emit banco.unita_in_dialogo(al_lavoro);
    // The test answers for the core, whose line never started: an idle core
    // would conclude at once.
    QObject::disconnect(&f, &FinestraStazione::fermata_chiesta, &banco, nullptr);
    QObject::disconnect(&f, &FinestraStazione::fine_chiesta, &banco, nullptr);
    QSignalSpy fermata(&f, &FinestraStazione::fermata_chiesta);
    QSignalSpy fine(&f, &FinestraStazione::fine_chiesta);
    QSignalSpy chiusa(&f, &FinestraStazione::chiusa);
    if (segnale)
        f.close();
    else
        f.findChild<QAction *>(QStringLiteral("esci"))->trigger();
    auto *domanda = f.findChild<QMessageBox *>(QStringLiteral("uscita"));
    QCOMPARE(domanda != nullptr, !scelta.isEmpty());
    if (domanda) {
        QCOMPARE(domanda->text(), QStringLiteral("1 unità in lavorazione. Uscire?"));
        const QList<QAbstractButton *> bottoni = domanda->buttons();
        const auto b = std::find_if(bottoni.cbegin(), bottoni.cend(),
                                    [&](QAbstractButton *b) { return b->text() == scelta; });
        QVERIFY(b != bottoni.cend());
        (*b)->click();
    }
    QCOMPARE(fermata.size(), fermate);
    QCOMPARE(fine.size(), interrotte);
    QCOMPARE(chiusa.size(), 0);
    emit banco.concluso();
    QCOMPARE(chiusa.size(), fermate + interrotte);
}

void TstStazione::argomenti_data()
{
    QTest::addColumn<QStringList>("argomenti"); // %P: a simulator; %L: a link to it; %T: a folder
    QTest::addColumn<QByteArray>("file");       // the station file; empty: none
    QTest::addColumn<int>("codice");
    QTest::addColumn<QStringList>("parti"); // of the one line; %F: the station file

    QTest::newRow("--slot malformato") << QStringList{"--slot", "uno=%P"} << QByteArray() << 2
                                       << QStringList{"--slot: \"uno=%P\" is not valid"};
    QTest::newRow("--slot senza percorso") << QStringList{"--slot", "1="} << QByteArray() << 2
                                           << QStringList{"--slot: \"1=\" is not valid"};
    QTest::newRow("--slot 17") << QStringList{"--slot", "17=%P"} << QByteArray() << 7
                               << QStringList{"--slot: \"17=%P\" is out of range"};
    QTest::newRow("--slot 0") << QStringList{"--slot", "0=%P"} << QByteArray() << 7
                              << QStringList{"--slot: \"0=%P\" is out of range"};
    QTest::newRow("stesso posto due volte")
        << QStringList{"--slot", "1=%P", "--slot", "1=/dev/null"} << QByteArray() << 2
        << QStringList{"--slot: slot 1 given twice"};
    QTest::newRow("stessa presa due volte")
        << QStringList{"--slot", "1=%P", "--slot", "2=%P"} << QByteArray() << 2
        << QStringList{"--slot: slots 1 and 2 name the same socket, \"%P\""};
    QTest::newRow("stessa presa per un collegamento")
        << QStringList{"--slot", "1=%P", "--slot", "2=%L"} << QByteArray() << 2
        << QStringList{"--slot: slots 1 and 2 name the same socket, \"%L\""};
    QTest::newRow("file dell'unità mancante")
        << QStringList{"--from", "%T/manca.json"} << QByteArray() << 2
        << QStringList{"--from %T/manca.json: ", "read one from a good unit with m5ctl read -o"};
    QTest::newRow("--codici con --verify")
        << QStringList{"--codici", "1-500", "--verify"} << QByteArray() << 2
        << QStringList{"--codici: a plan gives codes to program; not with --verify"};
    QTest::newRow("--codici fuori campo") << QStringList{"--codici", "1-5000"} << QByteArray() << 7
                                          << QStringList{"--codici: \"1-5000\" is out of range"};
    // Never repeated, in whatever form it comes.
    QTest::newRow("--archivio con password")
        << QStringList{"--archivio", "postgresql://stazione:segreta@db/m5"} << QByteArray() << 2
        << QStringList{"--archivio: the string holds a password; keep it in ~/.pgpass"};
    QTest::newRow("--etichette in una cartella che manca")
        << QStringList{"--etichette", "%T/manca/"} << QByteArray() << 2
        << QStringList{"--etichette %T/manca/: "};
    QTest::newRow("--archivio senza virgolette")
        << QStringList{"--archivio", "host=db", "password=segreta"} << QByteArray() << 2
        << QStringList{"not shown: it may hold a password"};
}

// A bad slot is refused with one line that names where it came from, and
// nothing starts: no port is opened, no log made.
void TstStazione::argomenti()
{
    QFETCH(QStringList, argomenti);
    QFETCH(QByteArray, file);
    QFETCH(int, codice);
    QFETCH(QStringList, parti);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    ProcessoSimulatore sim;
    QVERIFY(sim.avvia());
    const QString collegamento = d.filePath(QStringLiteral("collegamento"));
    QVERIFY(QFile::link(sim.percorso(), collegamento));
    const QString stazione = d.filePath(QStringLiteral("config/m5stazione/stazione.json"));
    auto sostituisci = [&](QString t) {
        return t.replace(QStringLiteral("%P"), sim.percorso())
            .replace(QStringLiteral("%L"), collegamento)
            .replace(QStringLiteral("%F"), stazione)
            .replace(QStringLiteral("%T"), d.path());
    };
    if (!file.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(stazione).path()));
        QVERIFY(salva_file(stazione, sostituisci(QString::fromUtf8(file)).toUtf8()));
    }
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QStringList tutti{QStringLiteral("--log"), registro, QStringLiteral("--mute")};
    if (!argomenti.contains(QStringLiteral("--from")))
        tutti << QStringLiteral("--from") << m_cartella.filePath(QStringLiteral("profilo.json"));
    for (const QString &a : std::as_const(argomenti))
        tutti << sostituisci(a);

    QProcess programma;
    programma.setProcessEnvironment(ambiente(d.path(), m_cartella.filePath(QStringLiteral("run"))));
    programma.start(QStringLiteral(M5STAZIONE_PATH), tutti);
    QVERIFY(programma.waitForFinished(FINE_MS));
    QCOMPARE(programma.exitStatus(), QProcess::NormalExit);
    QCOMPARE(programma.exitCode(), codice);
    const QString errori = QString::fromLocal8Bit(programma.readAllStandardError());
    QVERIFY2(errori.startsWith(QStringLiteral("m5stazione: ")) && errori.count('\n') == 1,
             qPrintable(errori));
    for (const QString &parte : std::as_const(parti))
        QVERIFY2(errori.contains(sostituisci(parte)), qPrintable(errori));
    QVERIFY2(!errori.contains(QStringLiteral("segreta")), qPrintable(errori));
    QVERIFY(!QFile::exists(registro));
    QCOMPARE(sim.ricevuti(), QByteArray());
}

void TstStazione::file_danneggiato_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("danno");

    QTest::newRow("non JSON") << QByteArray(R"({"formato":)") << QStringLiteral("not JSON");
    QTest::newRow("il posto 17")
        << QByteArray(
               R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":17,"presa":"/a"}]})")
        << QStringLiteral("posti: slot 17 is out of range");
    QTest::newRow("la stessa presa")
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":"/a"},)"
                      R"({"posto":2,"presa":"/a"}]})")
        << QStringLiteral("posti: slots 1 and 2 name the same socket, \"/a\"");
    QTest::newRow("una presa vuota")
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":""}]})")
        << QStringLiteral("posti[0].presa: missing or empty");
    QTest::newRow("un archivio con la password")
        << QByteArray(R"({"formato":"m5-stazione","versione":1,"posti":[{"posto":1,"presa":"/a"}],)"
                      R"("archivio":"host=db password=segreta"})")
        << QStringLiteral("archivio: the string holds a password");
}

// A damaged station file is kept aside whole, and the station starts as
// without one, rather than leaving a worker with nothing; --slot never reads it.
void TstStazione::file_danneggiato()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, danno);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    const QString stazione = d.filePath(QStringLiteral("stazione.json"));
    QVERIFY(salva_file(stazione, file));
    const auto dati = avvio_banco::posti({{1, QStringLiteral("/dev/ttyUSB7")}}, stazione);
    QCOMPARE(std::get<avvio_banco::Posti>(dati).elenco.size(), 1);
    QCOMPARE(carica_tutto(stazione), file);

    const auto posti = avvio_banco::posti({}, stazione);
    QVERIFY(std::holds_alternative<avvio_banco::Posti>(posti));
    const auto &p = std::get<avvio_banco::Posti>(posti);
    QVERIFY2(p.danno.contains(danno) && !p.danno.contains(QStringLiteral("segreta")),
             qPrintable(p.danno));
    QVERIFY(p.archivio.isEmpty());
    QVERIFY(!QFile::exists(stazione));
    QVERIFY2(p.messo_da_parte.startsWith(stazione + QStringLiteral(".danneggiato-")),
             qPrintable(p.messo_da_parte));
    QCOMPARE(carica_tutto(p.messo_da_parte), file);
    QCOMPARE(p.elenco.size(), avvio_banco::posti_presenti().size());
}

void TstStazione::lingua_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("parola"); // the tile's
    QTest::addColumn<QString>("apri");   // Qt's own button
    QTest::addColumn<QString>("campo");  // the profile line's

    QTest::newRow("C") << "C"
                       << "MANCANTE"
                       << "Apri"
                       << "frequenza";
    QTest::newRow("it_IT") << "it_IT"
                           << "MANCANTE"
                           << "Apri"
                           << "frequenza";
    QTest::newRow("en_US") << "en_US"
                           << "MISSING"
                           << "Open"
                           << "frequency";
}

// The window speaks one language, Qt's own dialogs included.
void TstStazione::lingua()
{
    QFETCH(QString, locale);
    QFETCH(QString, parola);
    QFETCH(QString, apri);
    QFETCH(QString, campo);

    const QList<QTranslator *> caricati = lingua::carica(*qApp, QLocale(locale));
    const QString trovata = RiquadroPosto::parola(Aspetto::Mancante);
    const QString pulsante = QCoreApplication::translate("QPlatformTheme", "Open");
    const QString nome = Profilo::nome_campo(QStringLiteral("frequenza"));
    for (QTranslator *t : caricati)
        QCoreApplication::removeTranslator(t);
    QCOMPARE(trovata, parola);
    QCOMPARE(pulsante, apri);
    QCOMPARE(nome, campo);
}

void TstStazione::interruzione_data()
{
    QTest::addColumn<int>("segnale");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// Ended in the middle of a unit's writes: the unit gets its "E" and is
// logged as interrupted, never as good, and the program goes.
void TstStazione::interruzione()
{
    QFETCH(int, segnale);

    QTemporaryDir d;
    QVERIFY(d.isValid());
    ProcessoSimulatore sim({QStringLiteral("--baud"), QStringLiteral("2400")});
    QVERIFY(sim.avvia());
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QProcess stazione;
    stazione.setProcessEnvironment(ambiente(d.path(), m_cartella.filePath(QStringLiteral("run"))));
    stazione.start(QStringLiteral(M5STAZIONE_PATH),
                   {QStringLiteral("--from"), m_cartella.filePath(QStringLiteral("profilo.json")),
                    QStringLiteral("--slot"), QStringLiteral("1=") + sim.percorso(),
                    QStringLiteral("--log"), registro, QStringLiteral("--mute")});
    QVERIFY(sim.attendi_ricevuti(static_cast<int>(CONNESSIONE.size()) + 30, FINE_MS));
    ::kill(static_cast<pid_t>(stazione.processId()), segnale);
    QVERIFY(stazione.waitForFinished(FINE_MS));
    QCOMPARE(stazione.exitStatus(), QProcess::NormalExit);
    const QList<QJsonObject> r = righe_json(carica_tutto(registro));
    QCOMPARE(r.size(), 1);
    QCOMPARE(r.first().value("esito").toInt(), esiti::INTERROTTO);
    QCOMPARE(r.first().value("posto").toInt(), 1);
    QVERIFY(QTest::qWaitFor([&] { return sim.ricevuti().endsWith('E'); }, TRACCIA_MS));
}

// A plan of two codes, one slot, units swapped until it runs out: the slot
// stops and its tile says so, the totals count no code left, each record
// names the plan and its code's end, and the station waits for a new plan
// rather than ending.
void TstStazione::codici_esauriti()
{
    constexpr int ATTESA_MS = 40000;
    QTemporaryDir d;
    QVERIFY(d.isValid());
    const DatiPropri dati(d.filePath(QStringLiteral("data")));
    const auto opzioni = interpreta_opzioni_stazione(
        {QStringLiteral("m5stazione"), QStringLiteral("--codici"), QStringLiteral("1-2")});
    QVERIFY(std::holds_alternative<OpzioniStazione>(opzioni));
    const OpzioniStazione &o = std::get<OpzioniStazione>(opzioni);
    Profilo p = profilo_prova();
    p.piano = o.piano;
    p.origine_piano = o.origine_piano;
    // Longer than the 2 s of silence after which the station takes a unit for gone.
    ProcessoSimulatore sim({QStringLiteral("--swap-ms"), QStringLiteral("2500")});
    QVERIFY(sim.avvia());

    Banco banco({QStringLiteral("banco-prova"), QStringLiteral("collaudo")},
                d.filePath(QStringLiteral("stazione.json")));
    const QString registro = d.filePath(QStringLiteral("registro.jsonl"));
    QString errore;
    QString avviso;
    QVERIFY(banco.apri_registro(registro, errore, avviso));
    const QList<PostoConfigurato> posti{{1, sim.percorso()}};
    banco.imposta(p, posti);
    FinestraStazione f(banco, p, posti, true);
    f.show();
    QSignalSpy concluso(&banco, &Banco::concluso);
    QSignalSpy chiusa(&f, &FinestraStazione::chiusa);
    banco.avvia();
    QTRY_COMPARE_WITH_TIMEOUT(f.riquadro(0)->aspetto(), Aspetto::Esaurito, 2 * ATTESA_MS);
    QTRY_VERIFY_WITH_TIMEOUT(!banco.in_corso(), ATTESA_MS);
    QCOMPARE(concluso.size(), 0);
    QCOMPARE(chiusa.size(), 0);
    QCOMPARE(f.riquadro(0)->quadro().consiglio,
             QStringLiteral("Dare un nuovo piano di codici (Impostazioni...)"));
    const auto *totali = f.findChild<QLabel *>(QStringLiteral("totali"));
    QVERIFY2(testo_letto(totali).contains(QStringLiteral("! Codici rimasti: 0 di 2")),
             qPrintable(testo_letto(totali)));
    const QList<QJsonObject> r = righe_json(carica_tutto(registro));
    QCOMPARE(r.size(), 2);
    for (const QJsonObject &u : r) {
        QCOMPARE(u.value("esito").toInt(), esiti::SUCCESSO);
        QCOMPARE(u.value("piano").toString(), o.piano->impronta());
        QCOMPARE(u.value("codice_stato").toString(), QStringLiteral("dato"));
    }
    // Waiting, it still ends when told.
    banco.interrompi();
    QCOMPARE(concluso.size(), 1);
    sim.termina();
}

QTEST_MAIN(TstStazione)
#include "tst_stazione.moc"
