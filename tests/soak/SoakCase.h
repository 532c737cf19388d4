#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// One soak run: the fault it injects and how the run must end.
struct SoakCase {
    std::string kind;         // the fault's name, the summary's key
    std::string detail;       // kind with its block number and the like
    bool expectSuccess = true;
    std::string expectLine;   // the log must hold this line (a prefix when linePrefix)
    bool linePrefix = false;
    bool closesLine = false;  // the board hangs up: the next run reconnects
};

// The last line of a verify that found the device as written.
inline const char* const kVerifiedLine = "----------效验成功,数据正确----------";

// An image of 1..maxLength bytes whose last byte is neither 0xFF (so the
// trimmed length is the whole image) nor 0x00.
std::vector<std::uint8_t> RandomImage(std::mt19937& random, int maxLength);
// The 16-byte blocks a write of image sends.
int BlockCount(const std::vector<std::uint8_t>& image);
// Writes image to path; false when it cannot.
bool WriteImageFile(const std::string& path, const std::vector<std::uint8_t>& image);
