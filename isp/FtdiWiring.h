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
    // Given to the chip's baud-rate generator; bit-bang mode clocks the
    // lines at a small multiple of it. The serial clock must stay under 1/16
    // of the target's crystal frequency.
    int m_nBaud = 9600;

    // The defaults where the file or a key is missing; a value that names
    // no line is kept as -1 (Problem says so).
    static FtdiWiring FromIni(const std::string& iniPath);

    // 0..7 for "3", "D3", "CTS" (any case); -1 for anything else.
    static int ParseLine(const std::string& text);
    // "D2 (RTS)".
    static std::string LineName(int line);

    // Empty when usable; otherwise what is wrong: a line that is not D0..D7,
    // one line given for two purposes, a baud rate that is not positive.
    std::string Problem() const;
    // The lines the chip drives: MOSI, SCK and RST.
    std::uint8_t OutputMask() const;
};
