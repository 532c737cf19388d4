#pragma once

#include <atomic>

#include "programmer/StatusQueue.h"

// The event queue that also counts what was posted into it, so that a soak
// can tell that every event posted was handled.
class CCountingStatusQueue : public CStatusQueue {
public:
    void PostStatus(int code) override;
    void SelectDeviceEntry(int index) override;
    long Posted() const { return m_nPosted.load(); }

private:
    std::atomic<long> m_nPosted{0};
};
