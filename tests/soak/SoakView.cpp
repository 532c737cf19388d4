#include "tests/soak/SoakView.h"

#include <algorithm>

bool CSoakView::Contains(const std::string& line) const
{
    return std::find(m_log.begin(), m_log.end(), line) != m_log.end();
}

bool CSoakView::ContainsPrefix(const std::string& prefix) const
{
    return std::any_of(m_log.begin(), m_log.end(),
                       [&](const std::string& line) { return line.starts_with(prefix); });
}

std::string CSoakView::Tail(std::size_t lines) const
{
    std::string text;
    const std::size_t first = m_log.size() > lines ? m_log.size() - lines : 0;
    for (std::size_t i = first; i < m_log.size(); ++i)
        text += "    | " + m_log[i] + "\n";
    return text;
}

void CSoakView::InsertLogLine(int index, const std::string& text, bool)
{
    // Lines always go to the end; anything else is the session's fault.
    if (index != int(m_log.size()))
        m_log.push_back("<misplaced line " + std::to_string(index) + ">");
    m_log.push_back(text);
}
