#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageSink.h"

// Keeps every message shown, for tests to check.
class CRecordingMessageSink : public IMessageSink {
public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    std::vector<Message> Messages() const;
    std::vector<std::string> Texts() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
};
