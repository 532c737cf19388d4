#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "programmer/UniqueFd.h"

// One chip of a gang run, as the result log and the summary keep it.
struct ChipRecord {
    std::string time;  // when it ended, ISO 8601 with the local offset
    std::string port;
    std::string device;
    std::string signature;  // "1e 52 06"; empty when none was read
    std::string file;
    std::string sha256;
    std::optional<std::uint64_t> serial;
    std::string checksum;      // "1A2B" of the image written; empty when no write started
    std::string readChecksum;  // of the last read or verify; empty when none ran
    std::vector<std::string> steps;
    std::string outcome;  // "success", "failure" or "unreachable"
    std::string lastLine;
    double seconds = 0;
};

// text as a JSON string, quotes included. Bytes that are not UTF-8 become
// U+FFFD, so the line stays valid JSON whatever a path holds.
std::string JsonString(std::string_view text);
// The record as one JSON object on one line, without the line end.
std::string ChipRecordJson(const ChipRecord& record);
// "2026-03-01T14:05:09+08:00" in the local time zone.
std::string Iso8601LocalTime(std::time_t when);

// The --log file: one JSON object per chip and line, appended. Each line
// goes out whole in one write and, in a regular file, is flushed to disk
// before Append returns, so a crash never loses or tears a finished chip's
// line. A pipe or terminal (/dev/stderr) takes the lines as they come.
// Thread-safe.
class CResultLog {
public:
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return m_fd.IsValid(); }
    bool Append(const ChipRecord& record, std::string& error);

private:
    std::string m_strPath;
    CUniqueFd m_fd;
    std::mutex m_mutex;
};
