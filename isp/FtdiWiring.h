#pragma once

#include <cstdint>
#include <string>

// Which of an FTDI chip's eight bit-bang lines D0..D7 carries each
// programming line, which chip to open and how fast to clock it, read from
// the "FTDI" section of "Quenby.ini" (keys Device, MOSI, MISO, SCK, RST,
// Baud). A line is given as its number (0 to 7), as D0..D7, or by its
// FT232R name: TXD, RXD, RTS, CTS, DTR, DSR, DCD, RI are D0 to D7.
//
// The defaults are the common FT232R ISP wiring: SCK on TXD (D0), MISO on
// RXD (D1), MOSI on RTS (D2), RST on DTR (D4).
struct FtdiWiring {
    static constexpr const char* kSection = "FTDI";

    std::string m_strDevice = "ftdi";  // see FtdiAddress
    int m_nMosi = 2;
    int m_nMiso = 1;
    int m_nSck = 0;
    int m_nRst = 4;
    // The rate given to libftdi, which bit-bang mode turns into line states
    // per second (FtdiRate); 0 (the key left out): the fastest the target's
    // crystal allows.
    int m_nBaud = 0;
    // The target's crystal ([ISP] Crystal or --crystal): no rate may clock
    // it faster than it takes.
    double m_dCrystalHz = 12e6;

    // The defaults where the file or a key is missing; a value that names
    // no line is kept as -1 (Problem says so).
    static FtdiWiring FromIni(const std::string& iniPath);

    // 0..7 for "3", "D3", "CTS" (any case); -1 for anything else.
    static int ParseLine(const std::string& text);
    // "D2 (RTS)".
    static std::string LineName(int line);

    // Empty when usable; otherwise what is wrong: a line that is not D0..D7,
    // one line given for two purposes, a negative baud rate.
    std::string Problem() const;
    // The lines the chip drives: MOSI, SCK and RST.
    std::uint8_t OutputMask() const;
};
