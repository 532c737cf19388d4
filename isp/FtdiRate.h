#pragma once

#include <string>

// The two classes of FTDI chip that clock synchronous bit-bang differently:
// the full-speed FT232R family (FT232R, FT245R, FT-X; a 3 MBaud rate
// generator) and the high-speed H family (FT232H, FT2232H, FT4232H; a
// 12 MBaud generator).
enum class FtdiChipKind { FT232R, FT232H };

// How the "Baud" rate of the [FTDI] section becomes line states per second,
// and the highest one the target's crystal allows.
//
// libftdi programs the chip's rate generator at 4 x the rate it is given
// once bit-bang mode is on, and in synchronous bit-bang the chip clocks one
// byte (one state of the eight lines) per 1/16 (R family) or 1/5 (H
// family) of a generator period: a rate B gives 64 B or 20 B line states
// per second. The lines change SCK at most once per state, so each state
// must last an SCK phase: IspTiming::MinSckPhase of the crystal. The
// generator divides its clock in steps of 1/8 and libftdi accepts a rate
// within 5 % of the one asked for, so the limit keeps 5 % in hand.
struct FtdiRate {
    static constexpr int kStatesPerBaudR = 64;
    static constexpr int kStatesPerBaudH = 20;
    static constexpr int kMaxBaudR = 750000;   // 3 MBaud / 4
    static constexpr int kMaxBaudH = 3000000;  // 12 MBaud / 4
    static constexpr double kGeneratorTolerance = 1.05;

    static const char* Name(FtdiChipKind kind);
    // The kind a product id stands for (FT232R's 0x6001 and the FT-X 0x6015
    // are of the R family; 0x6010, 0x6011 and 0x6014 of the H family).
    static FtdiChipKind KindOfProduct(int product);
    static double StatesPerSecond(FtdiChipKind kind, int baud);
    // The highest rate whose line states keep every SCK phase long enough
    // for a crystal of crystalHz, within what the chip can do.
    static int MaxSafeBaud(FtdiChipKind kind, double crystalHz);
    // The rate to set: configured when it is safe, the highest safe one
    // when configured is 0 (the key left out). 0 for a configured rate above
    // the limit; problem then names the rate, the chip and the crystal, and
    // fix says what to do in the interface's language.
    static int Choose(FtdiChipKind kind, int configured, double crystalHz, std::string* problem,
                      std::string* fix);
};
