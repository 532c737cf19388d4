#pragma once

#include <functional>
#include <string>
#include <vector>

// One serial device the system has now, as the settings page offers it.
struct SerialDeviceInfo {
    std::string path;          // /dev/ttyUSB0
    std::string description;   // USB Serial
    std::string manufacturer;  // QinHeng
};

// The serial devices present (USB adapters, on-board UARTs), for the
// settings page's drop-down.
class CSerialDeviceList {
public:
    using Source = std::function<std::vector<SerialDeviceInfo>()>;

    // What the system has now, in path order; empty where Qt Serial Port
    // was not available at build time.
    static std::vector<SerialDeviceInfo> Present();
    // "/dev/ttyUSB0 - USB Serial (QinHeng)"; the parts the system does not
    // know are left out.
    static std::string Label(const SerialDeviceInfo& device);
};
