#include "cli/CliView.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <unistd.h>

CCliView::CCliView() : m_bProgressOnTerminal(::isatty(STDERR_FILENO) == 1)
{
}

void CCliView::InsertLogLine(int, const std::string& text, bool)
{
    EndProgressLine();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CCliView::SetProgressPos(int pos)
{
    m_nProgressPos = pos;
    DrawProgress();
}

// Drawn when the position comes (it follows the text of a progress event)
// and when the bar is invalidated (the end of a transfer): once per event.
void CCliView::SetProgressText(const std::string& text)
{
    m_strProgressText = text;
}

void CCliView::InvalidateProgress()
{
    DrawProgress();
}

void CCliView::DrawProgress()
{
    if (!m_bProgressOnTerminal)
        return;
    const int percent = std::clamp(m_nProgressPos, 0, 100);
    std::fprintf(stderr, "\r%s %3d%%\033[K", m_strProgressText.c_str(), percent);
    std::fflush(stderr);
    m_bProgressShown = true;
}

void CCliView::EndProgressLine()
{
    if (!m_bProgressShown)
        return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_bProgressShown = false;
}

void CCliView::ShowBuffer2(const std::uint8_t* data, int length)
{
    m_pBuffer2 = data;
    m_nBuffer2Length = length;
}

int CCliView::TakeBuffer2(std::uint8_t* dest, int capacity)
{
    // Nothing edits the buffer here: it is handed back as it was shown.
    const int count = std::clamp(m_nBuffer2Length, 0, std::max(capacity, 0));
    if (m_pBuffer2 && m_pBuffer2 != dest && count > 0)
        std::memmove(dest, m_pBuffer2, std::size_t(count));
    return m_pBuffer2 ? count : 0;
}
