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
// The leading number of a kernel release string ("4.19.0-25-amd64" -> 4);
// 0 when it does not start with a digit.
int MajorVersionOf(const std::string& release);
