// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's settings: the profile's unit file and mode, and the socket of each slot.

#include "file_stazione.h"
#include "profilo.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

class DialogoImpostazioni : public QDialog
{
    Q_OBJECT

public:
    DialogoImpostazioni(const QList<PostoConfigurato> &posti, const QString &file_profilo,
                        bool verifica, QWidget *parent = nullptr);
    ~DialogoImpostazioni() override;

    QList<PostoConfigurato> posti() const;
    Profilo profilo() const { return m_profilo; }
    QString file_profilo() const { return m_file_profilo; }

    void accept() override;

    // "Assign": the next adapter plugged in goes to slot numero; the
    // station's core watches for it and answers with presa_trovata(), or
    // with assegnazione_scaduta() when none came.
    void assegna(int numero);
    void annulla_assegnazione();
    void presa_trovata(int numero, const QString &presa);
    void assegnazione_scaduta(int numero);
    // The slot waiting for an adapter, 0 when none.
    int in_assegnazione() const { return m_assegnando; }

signals:
    void assegnazione_chiesta(int numero);
    void assegnazione_annullata();

private:
    void scegli_profilo();
    QWidget *crea_righe(const QList<PostoConfigurato> &posti);
    // While one slot waits, its button cancels and the others wait too.
    void mostra_assegnazione();
    void dimensiona(QWidget *righe, QScrollArea *scorrimento);

    QList<QLineEdit *> m_prese;
    QList<QPushButton *> m_assegna;
    QLabel *m_nome_profilo = nullptr;
    QCheckBox *m_verifica = nullptr;
    QLabel *m_stato = nullptr;
    QString m_file_profilo;
    Profilo m_profilo;
    int m_assegnando = 0;
};
