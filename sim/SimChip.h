#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// The flash parts the simulators can hold.
enum class SimChipType { AT89S51, AT89S52 };

// A model of one AT89S51 (4 KB) or AT89S52 (8 KB) flash microcontroller as a
// programmer sees it: erase, byte programming, read-out, lock bits and
// signature. It knows nothing about how it is wired, so the serial board and
// the parallel-port cable simulators can both hold one.
//
// Lock levels follow the part's lock bits: level n means lock bits 1..n are
// programmed. From level 1 the flash takes no more programming; from level 2
// verify is disabled, so reads give wrong data. Only a chip erase clears them.
//
// Every method is thread-safe: a serving thread and a test may touch one chip.
class CSimChip {
public:
    static constexpr int kMaxLockLevel = 3;
    // The first level at which reading back no longer shows the contents.
    static constexpr int kVerifyDisabledLevel = 2;

    // flashBytes, when not 0, gives the part a flash of that size instead of
    // its own 4 or 8 KB: a stand-in for the larger parts of the family, so
    // transfers as long as the host allows can be driven.
    explicit CSimChip(SimChipType type = SimChipType::AT89S52, std::size_t flashBytes = 0);

    SimChipType Type() const { return m_type; }
    // "AT89S51" or "AT89S52".
    std::string Name() const;
    std::size_t Size() const { return m_size; }
    // 1e 51 06 or 1e 52 06.
    std::array<std::uint8_t, 3> Signature() const;
    int LockLevel() const;

    // Every cell to 0xFF and the lock bits cleared.
    void ChipErase();
    // Flash can only clear bits: the cell becomes old & value. False when
    // refused: address beyond the chip or programming locked.
    bool ProgramByte(std::uint32_t address, std::uint8_t value);
    // The byte as the chip gives it out: scrambled once verify is locked,
    // 0xFF beyond the chip.
    std::uint8_t ReadByte(std::uint32_t address) const;
    // Programs lock bits up to level (1..3). Levels only grow; a lower level
    // than the current one changes nothing. False for a level out of range.
    bool Lock(int level);

    // The true cell contents, whatever the lock bits say (tests, state files).
    std::uint8_t PeekByte(std::uint32_t address) const;
    std::vector<std::uint8_t> Contents() const;
    // Sets cells directly, as if programmed earlier elsewhere; bytes beyond
    // the chip are ignored.
    void SetContents(std::uint32_t address, std::span<const std::uint8_t> bytes);

    // Keeps memory and lock level in a small file: a text header naming the
    // chip type and lock level, then the raw memory. Written through a
    // temporary file and a rename, so a crash never leaves half a file.
    bool SaveState(const std::string& path, std::string* error = nullptr) const;
    // Refuses (false, chip unchanged) a file of another chip type or a
    // malformed one; error, when given, says why.
    bool LoadState(const std::string& path, std::string* error = nullptr);

private:
    static std::uint8_t Scramble(std::uint32_t address, std::uint8_t value);

    const SimChipType m_type;
    const std::size_t m_size;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_memory;
    int m_nLockLevel = 0;
};
