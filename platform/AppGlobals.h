#pragma once

#include <string>

// The program folder, ending in '/': every data file (catalogue, ini files)
// is looked up there.
extern std::string g_strAppDir;
// 1 when the operating system's major version is 4; picks the simpler
// prompt sounds.
extern int g_bWinMajor4;

// Sets both globals from the running executable and the kernel version.
void InitAppGlobals();
// Sets the program folder explicitly (tests); a missing trailing '/' is added,
// an empty folder means "./".
void SetAppDir(const std::string& dir);

// The folder of the running executable, ending in '/'; "./" when it cannot
// be found.
std::string ExecutableFolder();
// Where the ini file `name` ("Tamber_Info.ini", "Quenby.ini", "LastFile.ini")
// lives. A portable program folder (writable, and not the folder the program
// was installed to) keeps them next to the executables; otherwise they live
// in the user's configuration folder, $XDG_CONFIG_HOME/tamberlink (default
// ~/.config/tamberlink), made when first needed. Decided once per program
// folder; safe from any thread.
std::string IniFilePath(const std::string& name);

// The pieces of that decision, apart so that they can be tested:
// whether appDir is a portable program folder, given whether it is writable;
// the user's configuration folder for this program, ending in '/' (empty
// when neither variable gives an absolute path);
// and the folder the ini files go to, ending in '/'.
bool IsPortableFolder(const std::string& appDir, bool writable);
std::string UserConfigFolder(const char* xdgConfigHome, const char* home);
std::string IniFolderFor(const std::string& appDir, bool portable,
                         const std::string& configFolder);

// The device catalogue's file name, and where it is read from: the user's
// own copy in the configuration folder when it exists (a new device saved by
// a user who may not write the installed catalogue), else the program
// folder's. UserCataloguePath is that copy whether it exists or not (empty
// without any configuration folder); the environment is read on each call.
constexpr const char* kCatalogueFileName = "ChipList.chip";
std::string CataloguePath();
std::string UserCataloguePath();
std::string ProgramCataloguePath();
// The user's configuration folder as the environment gives it now.
std::string CurrentUserConfigFolder();

// The leading number of a kernel release string ("4.19.0-25-amd64" -> 4);
// 0 when it does not start with a digit.
int MajorVersionOf(const std::string& release);
