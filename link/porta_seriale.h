#pragma once

#include "errore_porta.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QString>

class Traccia;

// The receiver's serial port: "Com 1".."Com 8" at 2400 baud 8N1, no flow
// control, DTR raised, RTS low. Every operation but apri/chiudi/aperta throws
// ErrorePorta on a closed port.
class PortaSeriale : public QObject
{
    Q_OBJECT

public:
    static constexpr int PRIMA = 1;
    static constexpr int ULTIMA = 8;

    explicit PortaSeriale(QObject *parent = nullptr);
    ~PortaSeriale() override;

    // COMn on Windows, /dev/ttyS(n-1) elsewhere.
    static QString nome_predefinito(int numero);

    // Gives "Com numero" another device, e.g. a USB adapter or a pty.
    void mappa(int numero, const QString &percorso);
    QString nome(int numero) const;

    void imposta_numero(int numero);
    int numero() const { return m_numero; }
    // The device behind the current number.
    QString dispositivo() const { return nome(m_numero); }

    void apri();
    void chiudi();
    bool aperta() const;

    void imposta_granularita(int caratteri);
    void imposta_soglia(int caratteri);

    void scrivi(const QByteArray &dati);
    int in_attesa();
    QByteArray leggi();

    // Every byte written and read goes to the trace too; nullptr for none.
    void imposta_traccia(Traccia *traccia) { m_traccia = traccia; }

    // The system's reason for the last failure (open, line gone, write), and
    // whether it was a refused permission.
    QString motivo() const { return m_motivo; }
    bool permesso_negato() const { return m_permesso_negato; }

private:
    void verifica_aperta() const;
    void errore(QSerialPort::SerialPortError codice);
    void chiudi_se_guasta();

    void guasto(const QString &motivo);

    QSerialPort m_porta;
    Traccia *m_traccia = nullptr;
    QString m_motivo;
    bool m_permesso_negato = false;
    QMap<int, QString> m_mappa;
    int m_numero = PRIMA;
    int m_granularita = 0;
    bool m_in_apertura = false;
    bool m_guasta = false;
};
