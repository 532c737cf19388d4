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

    // What the system has now, in path order, each device followed by its
    // /dev/serial/by-id names (the same adapter keeps them whichever USB
    // socket it is in); empty where Qt Serial Port was not available at
    // build time.
    static std::vector<SerialDeviceInfo> Present();
    // devices, each followed by the links in byIdFolder that lead to it,
    // described as it is; links to a device not among them come last.
    static std::vector<SerialDeviceInfo> WithStableNames(std::vector<SerialDeviceInfo> devices,
                                                         const std::string& byIdFolder);
    // "/dev/ttyUSB0 - USB Serial (QinHeng)"; the parts the system does not
    // know are left out.
    static std::string Label(const SerialDeviceInfo& device);
};
