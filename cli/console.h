// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controlli.h"

#include <QElapsedTimer>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>

// The window's controls as m5ctl keeps them: texts in memory, warnings kept
// for the one line that m5ctl prints at the end, progress and beep only on
// an interactive terminal.
class Console : public Controlli
{
public:
    explicit Console(bool interattiva);

    // The text of Cmb_com: "Com N".
    void imposta_porta(const QString &testo) { m_porta = testo; }

    QString stato() const override { return m_stato; }
    void imposta_stato(const QString &testo) override;
    // Whether " Connesso" was reached since the last azzera(); from any thread.
    bool connessa() const { return m_connessa; }
    // Since " Connesso" was reached, i.e. since the unit's "K"; 0 before.
    qint64 ms_da_connessa() const { return m_connessa ? m_da_connessa.elapsed() : 0; }

    QString testo(Campo campo) const override { return m_testi.value(campo); }
    void imposta_testo(Campo campo, const QString &testo) override;

    void seleziona(Opzione) override {}
    void imposta_banda(const QString &) override {}

    void mostra_progresso(bool visibile) override;
    void massimo_progresso(int massimo) override { m_massimo = massimo; }
    void valore_progresso(int valore) override;

    void abilita(Comando, bool) override {}

    QString testo_porta() const override { return m_porta; }

    void avviso(const QString &messaggio) override;
    void beep() override;
    void termina() override {}

    const QStringList &avvisi() const { return m_avvisi; }
    void azzera();

private:
    void chiudi_riga_progresso();

    const bool m_interattiva;
    QString m_porta;
    QString m_stato;
    std::atomic<bool> m_connessa{false};
    QElapsedTimer m_da_connessa;
    QMap<Campo, QString> m_testi;
    QStringList m_avvisi;
    bool m_progresso_visibile = false;
    bool m_riga_aperta = false;
    int m_massimo = 0;
};
