// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The station's settings: the profile's unit file, mode and plan of codes, the archive, and the
// socket of each slot.

#include "file_stazione.h"
#include "profilo.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QScrollArea;

class DialogoImpostazioni : public QDialog
{
    Q_OBJECT

public:
    // piano: "A-B" or a file of codes, empty for none; archivio: a libpq
    // connection string, empty for none.
    DialogoImpostazioni(const QList<PostoConfigurato> &posti, const QString &file_profilo,
                        bool verifica, const QString &piano, const QString &archivio,
                        QWidget *parent = nullptr);
    ~DialogoImpostazioni() override;

    QList<PostoConfigurato> posti() const;
    Profilo profilo() const { return m_profilo; }
    QString file_profilo() const { return m_file_profilo; }
    // Checked by accept(): libpq reads it, and it holds no password.
    QString archivio() const { return m_archivio; }

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
    void scegli_piano();
    QLayout *crea_produzione(const QString &piano, const QString &archivio);
    // The plan and archive typed into m_profilo and m_archivio; false, the
    // status line saying why, when either will not do.
    bool leggi_produzione();
    QWidget *crea_righe(const QList<PostoConfigurato> &posti);
    // While one slot waits, its button cancels and the others wait too.
    void mostra_assegnazione();
    void dimensiona(QWidget *righe, QScrollArea *scorrimento);

    QList<QLineEdit *> m_prese;
    QList<QPushButton *> m_assegna;
    QLabel *m_nome_profilo = nullptr;
    QCheckBox *m_verifica = nullptr;
    QLineEdit *m_piano = nullptr;
    QLineEdit *m_indirizzo = nullptr;
    QLabel *m_stato = nullptr;
    QString m_file_profilo;
    QString m_archivio;
    Profilo m_profilo;
    int m_assegnando = 0;
};
