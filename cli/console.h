#pragma once

#include "controlli.h"

#include <QMap>
#include <QString>

class Collegamento;

// The window's controls as m5ctl keeps them: texts in memory, warnings on
// stderr, progress and beep only when stderr is a terminal.
class Console : public Controlli
{
public:
    Console();

    // Where the option clicks go; set once the Collegamento exists.
    void collega(Collegamento *collegamento) { m_collegamento = collegamento; }

    QString stato() const override { return m_stato; }
    void imposta_stato(const QString &testo) override { m_stato = testo; }

    QString testo(Campo campo) const override { return m_testi.value(campo); }
    void imposta_testo(Campo campo, const QString &testo) override;

    void seleziona(Opzione opzione) override;

    QString banda() const { return m_banda; }
    void imposta_banda(const QString &testo) override { m_banda = testo; }

    void mostra_progresso(bool visibile) override;
    void massimo_progresso(int massimo) override { m_massimo = massimo; }
    void valore_progresso(int valore) override;

    void abilita(Comando, bool) override {}

    QString testo_porta() const override;

    void avviso(const QString &messaggio) override;
    void beep() override;

    void termina() override;

private:
    void chiudi_riga_progresso();

    Collegamento *m_collegamento = nullptr;
    const bool m_terminale;
    QString m_stato;
    QMap<Campo, QString> m_testi;
    QString m_banda;
    bool m_progresso_visibile = false;
    bool m_riga_aperta = false;
    int m_massimo = 0;
};
