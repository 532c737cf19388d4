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

bool CRecordingMessageSink::AskYesNo(const std::string& text, const std::string&)
{
    std::lock_guard lock(m_mutex);
    m_questions.push_back(text);
    return m_bAnswer;
}

std::vector<std::string> CRecordingMessageSink::Questions() const
{
    std::lock_guard lock(m_mutex);
    return m_questions;
}
