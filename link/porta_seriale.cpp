// SPDX-License-Identifier: GPL-3.0-or-later
#include "porta_seriale.h"

#include "occupanti.h"
#include "traccia.h"

#include <QFileInfo>
#include <QMetaObject>

#include <cerrno>
#include <cstring>

PortaSeriale::PortaSeriale(QObject *parent) : QObject(parent)
{
    connect(&m_porta, &QSerialPort::errorOccurred, this, &PortaSeriale::errore);
    connect(&m_porta, &QSerialPort::readyRead, this, &PortaSeriale::dati);
}

PortaSeriale::~PortaSeriale()
{
    // QSerialPort may still report while it closes, after this is gone.
    disconnect(&m_porta, nullptr, this, nullptr);
}

QString PortaSeriale::nome_predefinito(int numero)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(numero);
#else
    return QStringLiteral("/dev/ttyS%1").arg(numero - 1);
#endif
}

bool PortaSeriale::mappa(int numero, const QString &percorso)
{
    if (numero < PRIMA || numero > ULTIMA)
        return false;
    m_mappa.insert(numero, percorso);
    m_aperto.clear();
    return true;
}

const QString PortaSeriale::AUTOMATICA = QStringLiteral("auto");

PortaSeriale::Risolta PortaSeriale::risolvi(int numero) const
{
    const auto mappata = m_mappa.constFind(numero);
    // A device given by name needs no look at the system's ports.
    if (mappata != m_mappa.constEnd() && *mappata != AUTOMATICA)
        return {*mappata, std::nullopt, QString()};
    const QList<PortaSistema> porte = m_fonte();
    Risolta r;
    if (mappata != m_mappa.constEnd())
        r.porta = adattatore_usb(porte, r.motivo);
#ifndef Q_OS_WIN
    else if (numero <= porte.size())
        r.porta = porte.at(numero - 1);
#endif
    if (r.porta)
        r.percorso = r.porta->percorso;
    else if (mappata == m_mappa.constEnd())
        r.percorso = nome_predefinito(numero);
    return r;
}

QString PortaSeriale::nome(int numero) const
{
    return risolvi(numero).percorso;
}

QString PortaSeriale::descrizione(int numero) const
{
    const QString com = QStringLiteral("Com %1 = ").arg(numero);
    const Risolta r = risolvi(numero);
    if (r.porta)
        return com + descrivi_porta(*r.porta);
    if (r.percorso.isEmpty())
        return com + AUTOMATICA + QStringLiteral(": ") + r.motivo;
    for (const PortaSistema &p : m_fonte()) {
        if (p.percorso == r.percorso)
            return com + descrivi_porta(p);
    }
    return com + r.percorso;
}

QString PortaSeriale::dispositivo() const
{
    return m_aperto.isEmpty() ? nome(m_numero) : m_aperto;
}

bool PortaSeriale::imposta_numero(int numero)
{
    if (numero < PRIMA || numero > ULTIMA || aperta())
        return false;
    m_numero = numero;
    m_aperto.clear();
    return true;
}

bool PortaSeriale::apri()
{
    if (aperta()) {
        guasto(QStringLiteral("the port is already open"));
        return false;
    }
    chiudi(); // a port that failed may still be held until its deferred close

    const Risolta destinazione = risolvi(m_numero);
    m_aperto = destinazione.percorso;
    if (m_aperto.isEmpty()) {
        guasto(destinazione.motivo);
        return false;
    }
    m_porta.setPortName(m_aperto);
    m_porta.setBaudRate(QSerialPort::Baud2400);
    m_porta.setDataBits(QSerialPort::Data8);
    m_porta.setParity(QSerialPort::NoParity);
    m_porta.setStopBits(QSerialPort::OneStop);
    m_porta.setFlowControl(QSerialPort::NoFlowControl);
    m_porta.setReadBufferSize(0);

    // Opening reports its own failure; and a line without modem signals
    // (a pty, some adapters) refuses DTR/RTS, which is no reason to fail.
    m_in_apertura = true;
    const bool ok = m_porta.open(QIODevice::ReadWrite);
    if (ok) {
        m_porta.setDataTerminalReady(true);
        m_porta.setRequestToSend(false);
        scarta_arretrati();
        m_porta.clearError();
    }
    m_in_apertura = false;
    if (!ok)
        return apertura_fallita();
    m_guasta = false;
    m_motivo.clear();
    return true;
}

// Why the open failed, in words: QSerialPort only says that a terminal call failed on it.
bool PortaSeriale::apertura_fallita()
{
    QString motivo = m_porta.errorString();
    if (QFileInfo(m_aperto).isFile())
        motivo = QStringLiteral("a regular file, not a serial port");
    else if (motivo == QString::fromLocal8Bit(std::strerror(ENOTTY)))
        motivo += QStringLiteral(" (not a serial port)");
    const QString occupante = occupata_da();
    if (!occupante.isNull())
        motivo = QStringLiteral("the port is in use by another program") + occupante;
    guasto(motivo);
    m_occupata = !occupante.isNull();
    m_errore_apertura = m_porta.error();
    m_porta.clearError();
    return false;
}

bool PortaSeriale::invia(const QByteArray &dati)
{
    if (!aperta())
        return false;
    if (m_porta.write(dati) != dati.size()) {
        guasto(m_porta.errorString());
        return false;
    }
    if (m_traccia) {
        for (const char c : dati)
            m_traccia->byte(false, static_cast<std::uint8_t>(c));
    }
    // Out now, not on the next event-loop pass: the receiver is waiting.
    m_porta.flush();
    return aperta();
}

std::optional<std::uint8_t> PortaSeriale::prendi_byte()
{
    if (!aperta() || m_porta.bytesAvailable() <= 0)
        return std::nullopt;
    char c = 0;
    if (m_porta.read(&c, 1) != 1)
        return std::nullopt;
    const auto byte = static_cast<std::uint8_t>(c);
    if (m_traccia)
        m_traccia->byte(true, byte);
    return byte;
}

// What the line held before the open (a pty keeps it, so do adapters) is no
// answer to anything: a "K" queued then would be taken for the announcement,
// and the unit's next "K" would cross the "U" and shift every cell read.
void PortaSeriale::scarta_arretrati()
{
    m_porta.clear(QSerialPort::Input);
    constexpr int PASSI_MASSIMI = 16;
    for (int i = 0; i < PASSI_MASSIMI && m_porta.waitForReadyRead(0); ++i)
        m_porta.readAll();
    m_porta.readAll();
}

// QSerialPort reports a port locked or held exclusively by another program
// as a permission error. Null when it is no such case; else who holds it,
// as ", m5ctl (PID 1234)", or empty when nobody can be named.
QString PortaSeriale::occupata_da() const
{
    if (m_porta.error() != QSerialPort::PermissionError)
        return QString();
    const QString blocco = occupanti::da_blocco(m_aperto);
    if (!blocco.isEmpty())
        return QStringLiteral(", ") + blocco;
    const bool bloccata =
        m_porta.errorString() == QSerialPort::tr("Permission error while locking the device");
    if (!bloccata && m_porta.errorString() != QString::fromLocal8Bit(std::strerror(EBUSY)))
        return QString();
    const QStringList altri = occupanti::da_proc(m_aperto);
    return altri.isEmpty() ? QStringLiteral("")
                           : QStringLiteral(", ") + altri.join(QStringLiteral(", "));
}

void PortaSeriale::chiudi()
{
    m_guasta = false;
    if (m_porta.isOpen())
        m_porta.close();
    m_porta.clearError();
}

bool PortaSeriale::aperta() const
{
    return m_porta.isOpen() && !m_guasta;
}

void PortaSeriale::errore(QSerialPort::SerialPortError tipo)
{
    if (tipo == QSerialPort::NoError || tipo == QSerialPort::TimeoutError)
        return;
    if (m_in_apertura || !m_porta.isOpen() || m_guasta)
        return;
    // A pulled adapter or a hung-up line leaves QSerialPort open and
    // reporting errors in a tight loop. Count the port as closed at once;
    // the real close waits for the event loop, since this may run inside
    // QSerialPort's own notifier. Its text for a vanished line is whatever
    // errno held, often misleading.
    guasto(tipo == QSerialPort::ResourceError
               ? QStringLiteral("the line hung up or the device was removed")
               : m_porta.errorString());
    m_guasta = true;
    QMetaObject::invokeMethod(this, &PortaSeriale::chiudi_se_guasta, Qt::QueuedConnection);
}

void PortaSeriale::chiudi_se_guasta()
{
    if (!m_guasta)
        return;
    // Told from the event loop, so that whoever hears it may close the port.
    emit caduta();
    if (m_guasta)
        chiudi();
}

void PortaSeriale::guasto(const QString &motivo)
{
    m_motivo = motivo;
    m_errore_apertura = QSerialPort::NoError;
    m_occupata = false;
}
