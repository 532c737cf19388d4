#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/MessageSink.h"

// Shows the core's messages as message boxes over a window. A message from
// another thread is handed to the window's thread and shown there; the
// caller does not wait for it.
class CQtMessageSink : public QObject, public IMessageSink {
    Q_OBJECT

public:
    explicit CQtMessageSink(QWidget* owner);

    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    // A message box with "是" and "否"; "否" is the default, so a stray
    // Enter changes nothing.
    bool AskYesNo(const std::string& text, const std::string& caption) override;

private:
    void Show(const QString& text, const QString& caption, MessageIcon icon);

    QPointer<QWidget> m_owner;
};
