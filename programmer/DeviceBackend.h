#pragma once

#include <cstdint>

// The six device operations every backend offers, each taking the current
// device's code. They return at once; outcomes arrive as status events.
class IDeviceBackend {
public:
    virtual ~IDeviceBackend() = default;
    virtual void CheckReady(std::uint8_t code) = 0;
    virtual void DetectDevice(std::uint8_t code) = 0;
    virtual void EraseDevice(std::uint8_t code) = 0;
    virtual void WriteDevice(std::uint8_t code) = 0;
    virtual void ReadDevice(std::uint8_t code) = 0;
    virtual void LockDevice(std::uint8_t code, int level) = 0;
};
