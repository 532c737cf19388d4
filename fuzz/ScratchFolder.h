#pragma once

#include <string>

// A private folder for the file-level calls of a fuzz target, memory-backed
// when /dev/shm is there (every save is flushed to disk), removed with its
// contents when the process ends.
class CScratchFolder {
public:
    explicit CScratchFolder(const std::string& prefix);
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
