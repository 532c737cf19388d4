#pragma once

#include <string>
#include <utility>
#include <vector>

// A program and its arguments as exec and posix_spawn take them: the
// program first, a null pointer after the last argument.
class CArgv {
public:
    CArgv(std::string program, const std::vector<std::string>& args) : m_strings{std::move(program)}
    {
        m_strings.insert(m_strings.end(), args.begin(), args.end());
        for (std::string& text : m_strings)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }
    CArgv(const CArgv&) = delete;
    CArgv& operator=(const CArgv&) = delete;

    char* const* Data() { return m_pointers.data(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char*> m_pointers;
};
