#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

ModalAnswerer::ModalAnswerer(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (modal == m_current)
        return;
    m_current = modal;
    QPointer<QWidget> guard(modal);
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        QString said = box->text();
        if (!box->informativeText().isEmpty())
            said += QLatin1Char('\n') + box->informativeText();
        messages << said;
        if (onModal)
            onModal(box);
        if (guard && guard->isVisible()) {
            QAbstractButton *ok = box->defaultButton();
            if (!ok && !box->buttons().isEmpty())
                ok = box->buttons().first();
            if (ok)
                ok->click();
            else
                box->accept();
        }
    } else {
        windows << (modal->objectName().isEmpty()
                        ? QString::fromLatin1(modal->metaObject()->className())
                        : modal->objectName());
        if (onModal)
            onModal(modal);
    }
    if (!guard || !guard->isVisible())
        m_current = nullptr;
}
