#pragma once

#include <string>

// Exit statuses of tamberlink-cli.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// tamberlink-cli hex2bin IN OUT
int RunHex2Bin(const std::string& inPath, const std::string& outPath);
// tamberlink-cli devices [--catalogue FILE]; an empty path means the
// program folder's "ChipList.chip".
int RunDevices(const std::string& cataloguePath);
