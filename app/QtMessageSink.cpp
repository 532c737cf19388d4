#include "app/QtMessageSink.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

CQtMessageSink::CQtMessageSink(QWidget* owner) : QObject(owner), m_owner(owner)
{
}

void CQtMessageSink::ShowMessage(const std::string& text, const std::string& caption,
                                 MessageIcon icon)
{
    const QString qText = QString::fromStdString(text);
    const QString qCaption = QString::fromStdString(caption);
    if (QThread::currentThread() == thread()) {
        Show(qText, qCaption, icon);
        return;
    }
    // Widgets live on the window's thread only. Waiting for the user there
    // could deadlock a worker that the window is about to join, so the
    // message is queued and the worker goes on.
    QMetaObject::invokeMethod(
        this, [this, qText, qCaption, icon] { Show(qText, qCaption, icon); },
        Qt::QueuedConnection);
}

void CQtMessageSink::Show(const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    if (icon == MessageIcon::Stop)
        boxIcon = QMessageBox::Critical;
    else if (icon == MessageIcon::Warning)
        boxIcon = QMessageBox::Warning;
    QMessageBox box(boxIcon, caption, text, QMessageBox::Ok, m_owner.data());
    box.exec();
}

bool CQtMessageSink::AskYesNo(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                    m_owner.data());
    box.button(QMessageBox::Yes)->setText(tr("是"));
    box.button(QMessageBox::No)->setText(tr("否"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
