#pragma once

#include <string>

class CProgrammer;

// What every ISP kind needs to know about the target besides its wiring,
// from the "ISP" section of "Quenby.ini" (keys Crystal, in MHz, and
// PageWrite), with the command line's --crystal and --page-write in their
// place when given.
struct IspSettings {
    static constexpr const char* kSection = "ISP";
    static constexpr double kDefaultCrystalMHz = 12.0;
    // The AT89S51/52 run from 0 to 33 MHz; a crystal of some 40 MHz is the
    // most any of the family's parts takes.
    static constexpr double kMaxCrystalMHz = 40.0;

    // The crystal the target runs on: it bounds the serial clock (every SCK
    // phase at least 8 crystal periods) and times a byte write.
    double crystalMHz = kDefaultCrystalMHz;
    // Page-mode writes (256 bytes per instruction) on the kinds that stream.
    bool pageWrite = false;

    double CrystalHz() const { return crystalMHz * 1e6; }

    // The defaults where the file or a key is missing or a value makes no
    // sense.
    static IspSettings FromIni(const std::string& iniPath);
    // The program folder's "Quenby.ini" with the controller's command-line
    // values in their place.
    static IspSettings For(const CProgrammer& programmer);
    // A crystal in MHz as the user writes it ("12", "11.0592"); 0 when it is
    // not a number above 0 and at most kMaxCrystalMHz.
    static double ParseCrystal(const std::string& text);
    // "12", "11.0592": the shortest text that reads back as value.
    static std::string CrystalText(double mhz);
    // Writes Crystal into iniPath's "ISP" section; false when the file
    // cannot be written or the value is out of range.
    static bool StoreCrystal(const std::string& iniPath, double mhz);
};
