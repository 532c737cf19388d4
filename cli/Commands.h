#pragma once

#include <string>

// Exit statuses of tamberlink-cli.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The programmer could not be reached: its port is missing, busy, not
// permitted or has no UART, or the first ready check got no answer.
constexpr int kExitUnreachable = 3;

// tamberlink-cli hex2bin IN OUT
int RunHex2Bin(const std::string& inPath, const std::string& outPath);
// tamberlink-cli convert IN OUT: OUT as Intel HEX when its extension is one
// of the Intel HEX ones, else as raw bytes.
int RunConvert(const std::string& inPath, const std::string& outPath);
// tamberlink-cli devices [--catalogue FILE]; an empty path means the
// user's own catalogue or the program folder's (CataloguePath).
int RunDevices(const std::string& cataloguePath);
