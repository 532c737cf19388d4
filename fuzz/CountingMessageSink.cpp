#include "fuzz/CountingMessageSink.h"

void CCountingMessageSink::ShowMessage(const std::string& text, const std::string&, MessageIcon)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
}

std::vector<std::string> CCountingMessageSink::Texts() const
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

std::size_t CCountingMessageSink::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_texts.size();
}

void CCountingMessageSink::Clear()
{
    std::lock_guard lock(m_mutex);
    m_texts.clear();
}
