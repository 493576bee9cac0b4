// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "porte_sistema.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class Traccia;

// The receiver's serial port: "Com 1".."Com 8" at 2400 baud 8N1, no flow
// control, DTR raised, RTS low. On a closed port invia() and prendi_byte()
// do nothing.
class PortaSeriale : public QObject
{
    Q_OBJECT

public:
    static constexpr int PRIMA = 1;
    static constexpr int ULTIMA = 8;

    explicit PortaSeriale(QObject *parent = nullptr);
    ~PortaSeriale() override;

    // A map to this name means the one USB serial adapter present.
    static const QString AUTOMATICA;

    // COMn on Windows, /dev/ttyS(n-1) elsewhere.
    static QString nome_predefinito(int numero);

    // Gives "Com numero" another device, e.g. a USB adapter or a pty, or
    // AUTOMATICA. False, and nothing changes, for a number beyond PRIMA..ULTIMA.
    bool mappa(int numero, const QString &percorso);
    // Where "Com numero" points now. A map wins; on Windows it is COMn;
    // elsewhere it is the numero-th port the system has (ordina_porte), or
    // /dev/ttyS(n-1) when it has fewer. Empty for AUTOMATICA with no single
    // adapter. Worked out anew each time, so an adapter plugged in later is
    // found at the next connect.
    QString nome(int numero) const;
    // "Com 1 = /dev/ttyUSB0 (FT232R USB UART)".
    QString descrizione(int numero) const;
    // Where the system's ports come from; a test gives its own list.
    using FontePorte = std::function<QList<PortaSistema>()>;
    void imposta_fonte(FontePorte fonte) { m_fonte = std::move(fonte); }

    // False, and nothing changes, for a number beyond PRIMA..ULTIMA or on an open port.
    bool imposta_numero(int numero);
    int numero() const { return m_numero; }
    // The device last opened, or the one the current number points to.
    QString dispositivo() const;

    // Opens the port "Com numero()" points to, discarding what the line held
    // before; false with motivo() when it cannot, or is open already.
    bool apri();
    void chiudi();
    bool aperta() const;

    // False on a closed port, and with motivo() when the write fails, which
    // counts the port as gone.
    bool invia(const QByteArray &dati);
    // One received byte, none when nothing is waiting.
    std::optional<std::uint8_t> prendi_byte();

    // Every byte written and read goes to the trace too; nullptr for none.
    void imposta_traccia(Traccia *traccia) { m_traccia = traccia; }

    // The system's reason for the last failure (open, line gone, write), and
    // the kind of a failed open (NoError for any other failure).
    QString motivo() const { return m_motivo; }
    QSerialPort::SerialPortError errore_apertura() const { return m_errore_apertura; }
    // The failed open found the port held by another program: no matter of
    // permissions, though QSerialPort reports it as one.
    bool occupata() const { return m_occupata; }

signals:
    // Bytes arrived.
    void dati();
    // The line hung up or the device went away: the port counts as closed.
    void caduta();

private:
    // Where "Com numero" points: the device, the system's port behind it
    // when it was looked up, and why there is none for AUTOMATICA.
    struct Risolta
    {
        QString percorso;
        std::optional<PortaSistema> porta;
        QString motivo;
    };
    Risolta risolvi(int numero) const;
    bool apertura_fallita();
    void scarta_arretrati();
    QString occupata_da() const;
    void errore(QSerialPort::SerialPortError tipo);
    void chiudi_se_guasta();

    void guasto(const QString &motivo);

    QSerialPort m_porta;
    Traccia *m_traccia = nullptr;
    QString m_motivo;
    QSerialPort::SerialPortError m_errore_apertura = QSerialPort::NoError;
    QMap<int, QString> m_mappa;
    FontePorte m_fonte = porte_sistema;
    QString m_aperto;
    int m_numero = PRIMA;
    bool m_in_apertura = false;
    bool m_guasta = false;
    bool m_occupata = false;
};
