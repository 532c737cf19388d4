#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "cli/SerialNumberFormat.h"
#include "programmer/UniqueFd.h"

// Hands out serial numbers, each at most once, to any number of threads.
// With a state file, the file always holds the next number to hand out; it
// is replaced (temporary file, fsync, rename) before a number is given, so
// a number once given is never given again, even if the program is killed
// right after. A lock on "FILE.lock" beside the file FILE leads to (links
// followed) keeps a second run from sharing it at the same time.
class CSerialAllocator {
public:
    explicit CSerialAllocator(const SerialNumberFormat& format);

    // Takes the state file: read when it exists, otherwise created holding
    // START. false, with error, when it holds no number, cannot be created,
    // has more than one name (hard links) or another run has it.
    bool UseStateFile(const std::string& path, std::string& error);

    // Whether count numbers from the next one on all fit in BYTES.
    bool CanHandOut(std::uint64_t count, std::string& error) const;

    std::uint64_t Next() const;
    // The next number. nullopt (with error) when the state file could not
    // be updated: that number is then skipped, never handed out.
    std::optional<std::uint64_t> Take(std::string& error);

private:
    const SerialNumberFormat m_format;
    std::string m_strStatePath;
    CUniqueFd m_lock;
    mutable std::mutex m_mutex;  // guards m_nNext and the state file
    std::uint64_t m_nNext;
};
