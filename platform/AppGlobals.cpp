#include "platform/AppGlobals.h"

#include <sys/utsname.h>
#include <unistd.h>

std::string g_strAppDir;
int g_bWinMajor4 = 0;

namespace {

// The running executable's full path, however long: the buffer grows until
// readlink() no longer fills it.
std::string ExecutablePath()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::string();
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

std::string ExecutableFolder()
{
    const std::string exe = ExecutablePath();
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return "./"; // no /proc: data files are then looked up in the working folder
    return exe.substr(0, slash + 1);
}

int MajorVersionOf(const std::string& release)
{
    int major = 0;
    for (char c : release) {
        if (c < '0' || c > '9')
            break;
        if (major > 100000)
            break; // no real release gets here; stops overflow on junk
        major = major * 10 + (c - '0');
    }
    return major;
}

void InitAppGlobals()
{
    utsname name{};
    const int major = ::uname(&name) == 0 ? MajorVersionOf(name.release) : 0;
    g_bWinMajor4 = major == 4 ? 1 : 0;
    g_strAppDir = ExecutableFolder();
}

void SetAppDir(const std::string& dir)
{
    // An empty folder means the working folder, never the root.
    g_strAppDir = dir.empty() ? "./" : dir;
    if (g_strAppDir.back() != '/')
        g_strAppDir += '/';
}
