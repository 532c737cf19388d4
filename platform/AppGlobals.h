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
// Sets the program folder explicitly (tests); a missing trailing '/' is added.
void SetAppDir(const std::string& dir);
