#pragma once

#include <optional>
#include <string>

#include "isp/IspLines.h"

// Which FTDI chip to use, as the user writes it: "ftdi" for the first one
// found among FTDI's own product ids, or "ftdi:VID:PID" (hexadecimal) with an
// optional ":SERIAL" to pick one of several.
struct FtdiAddress {
    int vendor = 0;   // 0: any of FTDI's own ids (vendor 0403)
    int product = 0;
    std::string serial;  // empty: any

    // nullopt, with the reason in error, for text of another form.
    static std::optional<FtdiAddress> Parse(const std::string& text, std::string* error = nullptr);
    // true for text meant as an FTDI address, well formed or not.
    static bool LooksLikeOne(const std::string& text);
    // Back to the user's form: "ftdi", "ftdi:0403:6001", "ftdi:0403:6001:A50285BI".
    std::string ToString() const;
    // Whether a USB device with these ids and serial number is the one meant.
    bool Matches(int deviceVendor, int deviceProduct, const std::string& deviceSerial) const;

    // Failures shared by the real cable and the simulated one, each with
    // the parts of the log line (kind "FTDI" and the fix).
    LinesOpenFailure NotFound() const;
    // usbPath is the device node the user lacks access to
    // (/dev/bus/usb/BBB/DDD).
    LinesOpenFailure AccessDenied(const std::string& usbPath) const;
    // Any other: text for the command line, error and fix for the log.
    LinesOpenFailure Failure(const std::string& text, int error, const std::string& fix = {}) const;
};
