// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class TITOLO;
}

// The start-up title form: names the tool and its operating mode, and
// opens the main window on "Continua".
class Titolo : public QWidget
{
    Q_OBJECT

public:
    explicit Titolo(QWidget *parent = nullptr);
    ~Titolo() override;

    Ui::TITOLO &elementi() { return *ui; }

signals:
    void continua();
    void abbandonata(); // closed any other way than "Continua"

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Timer_titolo_Timer();
    void Command1_Click();

    std::unique_ptr<Ui::TITOLO> ui;
    QTimer Timer_titolo;
    bool m_continua = false;
};
