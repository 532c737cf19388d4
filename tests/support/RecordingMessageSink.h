#pragma once

#include <atomic>
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

    // Questions are kept apart from messages and answered with the answer
    // set last (no until set).
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void SetAnswer(bool yes) { m_bAnswer = yes; }
    std::vector<std::string> Questions() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
    std::vector<std::string> m_questions;
    std::atomic<bool> m_bAnswer{false};
};
