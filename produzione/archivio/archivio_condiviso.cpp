// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivio_condiviso.h"

#include "distributore.h"

ArchivioCondiviso::ArchivioCondiviso(const Corriere::Impostazioni &impostazioni, QObject *parent)
    : QObject(parent), m_corriere(new Corriere(impostazioni)),
      m_chiave(Corriere::chiave(impostazioni.indirizzo))
{
    m_filo.setObjectName(QStringLiteral("corriere"));
    m_corriere->moveToThread(&m_filo);
    connect(&m_filo, &QThread::finished, m_corriere, &QObject::deleteLater);
    connect(m_corriere, &Corriere::stato_cambiato, this, [this](const Corriere::Stato &s) {
        m_stato = s;
        emit stato_cambiato(s);
    });
    connect(m_corriere, &Corriere::rifiutato, this, &ArchivioCondiviso::rifiutato);
    connect(m_corriere, &Corriere::avviso, this, &ArchivioCondiviso::avviso);
    connect(m_corriere, &Corriere::fermato, this, &ArchivioCondiviso::fermato);
}

ArchivioCondiviso::~ArchivioCondiviso()
{
    m_filo.quit();
    m_filo.wait();
}

void ArchivioCondiviso::collega(Distributore *distributore)
{
    Corriere *corriere = m_corriere;
    distributore->imposta_condiviso([corriere] {
        QMetaObject::invokeMethod(corriere, &Corriere::sollecita, Qt::QueuedConnection);
    });
    connect(this, &ArchivioCondiviso::stato_cambiato, distributore,
            [distributore](const Corriere::Stato &s) {
                distributore->archivio_cambiato(s.connesso, s.conti, s.liberi);
            });
    connect(m_corriere, &Corriere::riserva_cambiata, distributore, &Distributore::cambiati);
}

void ArchivioCondiviso::avvia()
{
    m_filo.start();
    QMetaObject::invokeMethod(m_corriere, &Corriere::avvia, Qt::QueuedConnection);
}

void ArchivioCondiviso::ferma()
{
    QMetaObject::invokeMethod(m_corriere, &Corriere::ferma, Qt::QueuedConnection);
}
