// SPDX-License-Identifier: GPL-3.0-or-later
// Socket names: the by-path link of a device first, by-id next, the path last; and back.
#include "prese.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstPrese : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void nome_presa_data();
    void nome_presa();
    void percorso_presa_data();
    void percorso_presa();

private:
    // radice/by-path and radice/by-id, with links to two "devices".
    std::unique_ptr<QTemporaryDir> m_cartella;
    QString m_radice, m_tty0, m_tty1, m_tty2;
};

void TstPrese::init()
{
    m_cartella = std::make_unique<QTemporaryDir>();
    const QDir d(m_cartella->path());
    d.mkpath(QStringLiteral("serial/by-path"));
    d.mkpath(QStringLiteral("serial/by-id"));
    m_radice = d.filePath(QStringLiteral("serial"));
    m_tty0 = d.filePath(QStringLiteral("ttyUSB0"));
    m_tty1 = d.filePath(QStringLiteral("ttyUSB1"));
    m_tty2 = d.filePath(QStringLiteral("ttyUSB2"));
    for (const QString &f : {m_tty0, m_tty1, m_tty2}) {
        QFile file(f);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(m_tty0, m_radice + QStringLiteral("/by-path/pci-0:2:1.0-port0")));
    QVERIFY(QFile::link(m_tty0, m_radice + QStringLiteral("/by-id/usb-FTDI_A1-if00-port0")));
    QVERIFY(QFile::link(m_tty1, m_radice + QStringLiteral("/by-id/usb-FTDI_B2-if00-port0")));
}

void TstPrese::nome_presa_data()
{
    QTest::addColumn<int>("dispositivo");
    QTest::addColumn<QString>("atteso");
    QTest::newRow("by-path first") << 0 << QStringLiteral("by-path/pci-0:2:1.0-port0");
    QTest::newRow("by-id without a by-path") << 1 << QStringLiteral("by-id/usb-FTDI_B2-if00-port0");
    QTest::newRow("the path without links") << 2 << QString();
}

void TstPrese::nome_presa()
{
    QFETCH(int, dispositivo);
    QFETCH(QString, atteso);
    const QString d = QStringList{m_tty0, m_tty1, m_tty2}.at(dispositivo);
    QCOMPARE(prese::nome_presa(d, m_radice),
             atteso.isEmpty() ? d : m_radice + QLatin1Char('/') + atteso);
    // A link made by hand to an adapter that udev names names the same socket.
    const QString link = m_cartella->filePath(QStringLiteral("mio"));
    QVERIFY(QFile::link(d, link));
    QCOMPARE(prese::nome_presa(link, m_radice),
             atteso.isEmpty() ? link : prese::nome_presa(d, m_radice));
}

void TstPrese::percorso_presa_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("atteso");
    QTest::newRow("by-path's last part")
        << QStringLiteral("pci-0:2:1.0-port0") << QStringLiteral("by-path/pci-0:2:1.0-port0");
    QTest::newRow("by-id's last part") << QStringLiteral("usb-FTDI_B2-if00-port0")
                                       << QStringLiteral("by-id/usb-FTDI_B2-if00-port0");
    QTest::newRow("no such socket") << QStringLiteral("nessuna") << QString();
    QTest::newRow("a path is kept") << QStringLiteral("/dev/ttyUSB0") << QString();
}

void TstPrese::percorso_presa()
{
    QFETCH(QString, nome);
    QFETCH(QString, atteso);
    QCOMPARE(prese::percorso_presa(nome, m_radice),
             atteso.isEmpty() ? nome : m_radice + QLatin1Char('/') + atteso);
    // A file of that name in the current folder is what the user means.
    const QString prima = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_cartella->path()));
    QFile locale(nome.section(QLatin1Char('/'), -1));
    if (!nome.contains(QLatin1Char('/')) && locale.open(QIODevice::WriteOnly))
        QCOMPARE(prese::percorso_presa(nome, m_radice), nome);
    QDir::setCurrent(prima);
}

QTEST_GUILESS_MAIN(TstPrese)
#include "tst_prese.moc"
