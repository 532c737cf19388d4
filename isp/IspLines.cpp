#include "isp/IspLines.h"

#include <thread>

void IIspLines::Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx)
{
    // A byte with nowhere to go is sampled all the same: the lines see the
    // same changes either way.
    std::uint8_t discard = 0;
    BeginFrame();
    for (std::size_t i = 0; i < tx.size(); ++i) {
        std::uint8_t& in = rx.empty() ? discard : rx[i];
        SetSck(0);
        for (int mask = 0x80; mask != 0; mask >>= 1) {
            // MOSI settles while SCK is low; MISO is valid after the rise.
            SetMosi(tx[i] & mask);
            SetSck(1);
            SampleMiso(in, std::uint8_t(mask));
            SetSck(0);
        }
    }
    EndFrame();
}

void IIspLines::Wait(std::chrono::nanoseconds duration)
{
    Flush();
    std::this_thread::sleep_for(duration);
}
