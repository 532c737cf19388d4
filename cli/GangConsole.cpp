#include "cli/GangConsole.h"

CGangConsole::CGangConsole(std::FILE* lines, std::FILE* notes) : m_lines(lines), m_notes(notes)
{
}

void CGangConsole::Line(const std::string& port, const std::string& text)
{
    Write(m_lines, "[" + port + "] " + text + "\n");
}

void CGangConsole::Note(const std::string& port, const std::string& text)
{
    Write(m_notes, "[" + port + "] " + text + "\n");
}

void CGangConsole::Raw(const std::string& text)
{
    Write(m_lines, text);
}

void CGangConsole::NoteLine(const std::string& line)
{
    Write(m_notes, line + "\n");
}

void CGangConsole::Write(std::FILE* stream, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}
