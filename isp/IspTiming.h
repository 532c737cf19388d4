#pragma once

#include <chrono>

// The AT89S51/52 serial interface's timing as the host keeps it, from the
// crystal the user set: the datasheet's figures with a margin, for every
// kind of line that clocks the chip.
struct IspTiming {
    // SCK high and low each at least 8 crystal periods (datasheet)...
    static constexpr double kSckPhasePeriods = 8.0;
    // ...with room for a crystal a little faster than marked, for rounding
    // of clock dividers and for the edges' own rise and fall.
    static constexpr double kSckMargin = 1.25;
    // A byte write is busy for 64 crystal periods + 400 us (datasheet).
    static constexpr double kWriteCyclePeriods = 64.0;
    static constexpr std::chrono::microseconds kWriteCycleFixed{400};
    static constexpr double kWriteCycleMargin = 1.02;

    // The shortest SCK high or low phase the host may drive.
    static std::chrono::nanoseconds MinSckPhase(double crystalHz);
    // The host's wait for a byte write to finish.
    static std::chrono::nanoseconds ByteWriteCycle(double crystalHz);
    // The fastest byte-per-phase clock (one line state per SCK phase) that
    // keeps every phase long enough, in line states per second.
    static double MaxPhaseRate(double crystalHz);
};
