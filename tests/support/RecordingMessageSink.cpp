#include "tests/support/RecordingMessageSink.h"

void CRecordingMessageSink::ShowMessage(const std::string& text, const std::string& caption,
                                        MessageIcon icon)
{
    std::lock_guard lock(m_mutex);
    m_messages.push_back({text, caption, icon});
}

std::vector<CRecordingMessageSink::Message> CRecordingMessageSink::Messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> CRecordingMessageSink::Texts() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const auto& m : m_messages)
        texts.push_back(m.text);
    return texts;
}

bool CRecordingMessageSink::AskYesNo(const std::string& text, const std::string& caption)
{
    std::lock_guard lock(m_mutex);
    m_questions.push_back({text, caption, MessageIcon::Information});
    return m_bAnswer;
}

void CRecordingMessageSink::SetAnswer(bool yes)
{
    std::lock_guard lock(m_mutex);
    m_bAnswer = yes;
}

std::vector<CRecordingMessageSink::Message> CRecordingMessageSink::Questions() const
{
    std::lock_guard lock(m_mutex);
    return m_questions;
}
