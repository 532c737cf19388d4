// Bytes that arrive on the serial line while the program starts (a board
// that chatters at power-up, another device on the port) are dispatched on
// the port's own thread at once. A signature reply among them is matched
// against the catalogue, so the catalogue must be complete before the port
// is opened, not loaded beside a thread that already reads it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"

namespace {

using namespace std::chrono_literals;

TEST(StartUp, SignatureRepliesArrivingDuringStartMatchTheWholeCatalogue)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);

    CTempDir dir;
    const std::string catalogue = dir.File("ChipList.chip");
    ASSERT_TRUE(WriteCatalogueFile(catalogue, {{"AT89S51", 2, 4, 5.0f, {0x1e, 0x51, 0x06}},
                                               {"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}}}));

    // Signature replies of the second device, as fast as the line takes them.
    std::atomic<bool> stop{false};
    std::thread chatter;
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Joiner()
        {
            stop = true;
            if (thread.joinable())
                thread.join();
        }
    } joiner{stop, chatter};
    chatter = std::thread([&] {
        std::array<std::uint8_t, 18> frame{};
        frame[0] = 1;
        frame[2] = 0x1e;
        frame[3] = 0x52;
        frame[4] = 0x06;
        while (!stop) {
            if (::write(master, frame.data(), frame.size()) < 0) {
                pollfd pfd{master, POLLOUT, 0};
                ::poll(&pfd, 1, 10);
            }
            // Keep the host's side drained of what it sends us.
            std::array<std::uint8_t, 64> sink{};
            while (::read(master, sink.data(), sink.size()) > 0) {
            }
        }
    });

    {
        CRecordingView view;
        CStatusQueue queue;
        CRecordingMessageSink messages;
        CProgrammerSession session(view, queue, messages);
        session.Programmer().m_strPortPath = ptsname(master);
        SettingsRecord settings;
        settings.deviceIndex = 0;
        session.Start(settings, catalogue);

        // Every match made from the chatter names the device that has the
        // signature: the catalogue was whole when the first one was made.
        for (int handled = 0; handled < 20;) {
            const auto event = queue.Wait(5s);
            ASSERT_TRUE(event.has_value());
            if (event->kind == StatusEvent::Kind::SelectDevice) {
                EXPECT_EQ(event->value, 1);
                ++handled;
            } else {
                EXPECT_NE(event->value, kStatusNoDevice);
                handled += event->value == kStatusDeviceDetected ? 1 : 0;
            }
        }
    }
    stop = true;
    chatter.join();
    ::close(master);
}

}  // namespace
