#pragma once

#include <cstdio>
#include <mutex>
#include <string>

// Where the stations of a gang run write: log lines to one stream, notes
// (errors, prompts) to another, every line whole and tagged "[PORT] " so
// that the ports' lines interleave readably. Thread-safe.
class CGangConsole {
public:
    CGangConsole(std::FILE* lines = stdout, std::FILE* notes = stderr);

    void Line(const std::string& port, const std::string& text);
    void Note(const std::string& port, const std::string& text);
    // Untagged text for the lines stream (the summary).
    void Raw(const std::string& text);
    // One untagged line for the notes stream (--progress json).
    void NoteLine(const std::string& line);

private:
    void Write(std::FILE* stream, const std::string& text);

    std::FILE* m_lines;
    std::FILE* m_notes;
    std::mutex m_mutex;
};
