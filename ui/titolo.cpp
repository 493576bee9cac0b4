// SPDX-License-Identifier: GPL-3.0-or-later
#include "titolo.h"

#include "grafica.h"
#include "ui_titolo.h"

#include <QCloseEvent>

Titolo::Titolo(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::TITOLO>())
{
    ui->setupUi(this);
    setWindowIcon(icona_applicazione());
    setFixedSize(size());
    affina_caratteri(this);
    ui->Image1->setPixmap(immagine_titolo());
    ui->Command1->setFocus();

    Timer_titolo.setObjectName(QStringLiteral("Timer_titolo"));
    Timer_titolo.setInterval(100);
    connect(&Timer_titolo, &QTimer::timeout, this, &Titolo::Timer_titolo_Timer);
    connect(ui->Command1, &QPushButton::clicked, this, &Titolo::Command1_Click);
    Timer_titolo.start();
}

Titolo::~Titolo() = default;

void Titolo::Timer_titolo_Timer()
{
    ui->lab_fabbrica->setText(QStringLiteral("Fabbrica"));
}

void Titolo::Command1_Click()
{
    Timer_titolo.stop();
    m_continua = true;
    close();
    emit continua();
}

void Titolo::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_continua)
        emit abbandonata();
}
