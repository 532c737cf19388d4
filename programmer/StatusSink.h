#pragma once

// Receives what the controller and its backends report. Both calls may come
// from any thread and must return at once; the receiver handles them later,
// one at a time and in the order they were made, on its own thread.
class IStatusSink {
public:
    virtual ~IStatusSink() = default;
    // A StatusCode (WM_PROG_STATUS in the window).
    virtual void PostStatus(int code) = 0;
    // A signature match made record index current: the device list must show
    // it before the events posted after this call are handled.
    virtual void SelectDeviceEntry(int index) = 0;
};
