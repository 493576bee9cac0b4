// SPDX-License-Identifier: GPL-3.0-or-later
#include "esecuzione_m5ctl.h"

#include "celle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

QStringList argomenti_porta(const ProcessoSimulatore *sim)
{
    return {QStringLiteral("--port"),
            sim ? sim->percorso() : QStringLiteral("/dev/m5-nessuna-porta")};
}

Esecuzione esegui(const QStringList &argomenti, int ms, const QProcessEnvironment &ambiente)
{
    QProcess m5ctl;
    if (!ambiente.isEmpty())
        m5ctl.setProcessEnvironment(ambiente);
    m5ctl.start(QStringLiteral(M5CTL_PATH), argomenti);
    Esecuzione e;
    if (!m5ctl.waitForFinished(ms)) {
        m5ctl.kill();
        m5ctl.waitForFinished();
        return e;
    }
    if (m5ctl.exitStatus() == QProcess::NormalExit)
        e.esito = m5ctl.exitCode();
    e.uscita_standard = m5ctl.readAllStandardOutput();
    e.errori = m5ctl.readAllStandardError();
    return e;
}

QByteArray blocco(Banda banda)
{
    const Blocco &b = blocco_fabbrica(banda);
    return QByteArray(reinterpret_cast<const char *>(b.data()), NUM_CELLE);
}

QByteArray celle_programmate(const QList<int> &prime)
{
    QByteArray celle;
    int somma = 0;
    for (const int v : prime) {
        celle += static_cast<char>(v);
        somma += v;
    }
    celle += QByteArray(CELLA_CKS - celle.size(), '\0');
    celle += static_cast<char>((255 - somma) & 255);
    return celle;
}

QByteArray celle_programmata_codice(int codice)
{
    return celle_programmate({0, 2, 6, 96, 0, 136, 1, codice / 256, codice % 256, 1, 0, 30, 3, 0});
}

QByteArray con_checksum(QByteArray celle)
{
    int somma = 0;
    for (int i = 0; i < 14; ++i)
        somma += static_cast<quint8>(celle.at(i));
    celle[CELLA_CKS] = static_cast<char>((255 - somma) & 255);
    return celle;
}

QByteArray richieste_lettura()
{
    QByteArray b;
    for (int i = 0; i <= CELLA_BANDA; ++i)
        b += 'R' + QByteArray(1, static_cast<char>(i));
    return b;
}

QByteArray record_scrittura(const QByteArray &celle)
{
    QByteArray b;
    for (int i = 0; i < celle.size(); ++i)
        b += 'W' + QByteArray(1, static_cast<char>(i)) + celle.at(i);
    return b;
}

const QByteArray CONNESSIONE = QByteArray("U") + richieste_lettura();

QJsonArray prime(const QJsonArray &a, int n)
{
    QJsonArray b;
    for (int i = 0; i < n && i < a.size(); ++i)
        b.append(a.at(i));
    return b;
}

QJsonArray come_json(const QByteArray &celle)
{
    QJsonArray a;
    for (const char c : celle)
        a.append(static_cast<quint8>(c));
    return a;
}

QJsonObject interpreta_json(const QByteArray &uscita_standard)
{
    const QList<QByteArray> righe = uscita_standard.trimmed().split('\n');
    if (righe.size() != 1)
        return {};
    static const QRegularExpression chiave(QStringLiteral("\"([a-z_]+)\":"));
    QStringList ordine;
    for (const auto &m : chiave.globalMatch(QString::fromUtf8(righe.first())))
        ordine << m.captured(1);
    const QStringList atteso = {"formato",       "versione", "codice",      "frequenza",
                                "rele",          "impulsi",  "toni",        "uscite",
                                "trasmettitori", "banda",    "checksum_ok", "celle"};
    if (ordine != atteso)
        return {};
    return QJsonDocument::fromJson(righe.first()).object();
}

void verifica_campi(const QJsonObject &json, const QJsonObject &attesi)
{
    QVERIFY2(!json.isEmpty(), "no JSON line, or keys out of order");
    for (auto it = attesi.begin(); it != attesi.end(); ++it)
        QVERIFY2(json.value(it.key()) == it.value(), qPrintable(it.key()));
}

bool salva_file(const QString &percorso, const QByteArray &dati)
{
    QFile f(percorso);
    return f.open(QIODevice::WriteOnly) && f.write(dati) == dati.size();
}

bool ha_aperto(qint64 pid, const QString &percorso)
{
    const QDir fd(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &f : fd.entryInfoList(QDir::Files | QDir::System))
        if (f.symLinkTarget() == percorso)
            return true;
    return false;
}

QByteArray carica_tutto(const QString &percorso)
{
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QJsonObject> righe_json(const QByteArray &testo)
{
    QList<QJsonObject> righe;
    for (const QByteArray &r : testo.split('\n')) {
        if (!r.isEmpty())
            righe << QJsonDocument::fromJson(r).object();
    }
    return righe;
}

QList<int> codici_scritti(const QByteArray &ricevuti)
{
    QList<int> codici;
    QHash<int, int> celle;
    bool dialogo = false;
    const auto chiudi = [&] {
        const bool scritto = celle.contains(CELLA_COD_H) && celle.contains(CELLA_COD_L);
        codici << (scritto ? celle.value(CELLA_COD_H) * 256 + celle.value(CELLA_COD_L) : 0);
        celle.clear();
        dialogo = false;
    };
    for (qsizetype i = 0; i < ricevuti.size(); ++i) {
        const char c = ricevuti.at(i);
        if (!dialogo)
            dialogo = c == 'U';
        else if (c == 'R')
            ++i;
        else if (c == 'W' && i + 2 < ricevuti.size()) {
            celle.insert(static_cast<quint8>(ricevuti.at(i + 1)),
                         static_cast<quint8>(ricevuti.at(i + 2)));
            i += 2;
        } else if (c == 'E') {
            chiudi();
        }
    }
    if (dialogo)
        chiudi();
    return codici;
}

QList<int> senza_zeri(QList<int> codici)
{
    codici.removeAll(0);
    return codici;
}
