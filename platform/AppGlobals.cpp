#include "platform/AppGlobals.h"

#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

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

// The folder the install step puts the executables in. A program running from
// there is an installed one even when its user may write to the folder (root
// does), so the ini files never land among the package's files.
#ifdef TAMBERLINK_INSTALLED_DIR
constexpr const char* kInstalledDir = TAMBERLINK_INSTALLED_DIR;
#else
constexpr const char* kInstalledDir = "";
#endif

bool IsAbsolute(const char* path)
{
    return path && path[0] == '/';
}

// The user's home folder: $HOME, else the password database's entry.
std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home))
        return home;
    passwd entry{};
    passwd* found = nullptr;
    std::string buffer(4096, '\0');
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        IsAbsolute(found->pw_dir))
        return found->pw_dir;
    return std::string();
}

} // namespace

bool IsPortableFolder(const std::string& appDir, bool writable)
{
    if (!writable)
        return false;
    if (kInstalledDir[0] == '\0')
        return true;
    std::error_code error;
    return !std::filesystem::equivalent(appDir, kInstalledDir, error);
}

std::string UserConfigFolder(const char* xdgConfigHome, const char* home)
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    std::string base;
    if (IsAbsolute(xdgConfigHome))
        base = xdgConfigHome;
    else if (IsAbsolute(home))
        base = std::string(home) + "/.config";
    else
        return std::string();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/tamberlink/";
}

std::string IniFolderFor(const std::string& appDir, bool portable,
                         const std::string& configFolder)
{
    // Without any configuration folder the program folder is the only choice.
    return portable || configFolder.empty() ? appDir : configFolder;
}

std::string CurrentUserConfigFolder()
{
    const std::string home = HomeFolder();
    return UserConfigFolder(std::getenv("XDG_CONFIG_HOME"), home.empty() ? nullptr : home.c_str());
}

std::string UserCataloguePath()
{
    const std::string folder = CurrentUserConfigFolder();
    return folder.empty() ? std::string() : folder + kCatalogueFileName;
}

std::string ProgramCataloguePath()
{
    return g_strAppDir + kCatalogueFileName;
}

std::string CataloguePath()
{
    // A folder or a dangling link by that name is no catalogue: the
    // installed one is read then, as if the copy were not there.
    const std::string own = UserCataloguePath();
    std::error_code error;
    if (!own.empty() && std::filesystem::is_regular_file(own, error))
        return own;
    return ProgramCataloguePath();
}

std::string IniFilePath(const std::string& name)
{
    static std::mutex mutex;
    static bool decided = false;
    static std::string decidedFor;
    static std::string folder;

    const std::lock_guard<std::mutex> lock(mutex);
    if (!decided || decidedFor != g_strAppDir) {
        const std::string checked = g_strAppDir.empty() ? std::string(".") : g_strAppDir;
        const bool writable = ::access(checked.c_str(), W_OK) == 0;
        folder = IniFolderFor(g_strAppDir, IsPortableFolder(checked, writable),
                              CurrentUserConfigFolder());
        if (folder != g_strAppDir) {
            // Made now so that the first save succeeds; a failure shows up
            // as that save's failure.
            std::error_code error;
            std::filesystem::create_directories(folder, error);
        }
        decidedFor = g_strAppDir;
        decided = true;
    }
    return folder + name;
}

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
