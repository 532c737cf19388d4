#include "fuzz/ScratchFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

CScratchFolder::CScratchFolder(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    if (::access("/dev/shm", W_OK) == 0)
        base = "/dev/shm";
    m_path = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(m_path.data()))
        std::abort();
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
