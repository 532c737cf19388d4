#pragma once

// A program on the simulated board's line, for end-to-end tests of the
// serial backend through the session.

#include <algorithm>
#include <chrono>

#include "app/core/SessionEventLoop.h"
#include "programmer/SerialProgrammer.h"
#include "tests/app/SessionTestKit.h"

// A program on the board's line: session, queue and loop as the CLI has them.
struct BoardProgram {
    explicit BoardProgram(const std::string& port)
    {
        WriteCatalogueFile(catalogue, {{"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}}});
        session.Programmer().m_strPortPath = port;
        SettingsRecord settings;
        settings.autoDetect = 0;
        settings.soundOn = 0;
        settings.autoErase = settings.autoWrite = settings.autoVerify = 1;
        session.Start(settings, catalogue);
        loop.RunUntil([&] { return session.SequenceEndCount() > 0 && !session.IsStepOutstanding(); });
        // 40 bytes: three blocks.
        for (int i = 0; i < 40; ++i)
            session.Programmer().Buffer1[i] = std::uint8_t(i + 1);
    }
    bool Auto()
    {
        view.log.clear();
        return loop.RunCommand([&] { session.OnAuto(); });
    }
    // Handles what is still due after a run ended (the board's answer to
    // the end frame of a refused write) until the board is ready again, or
    // nothing came for two seconds.
    void Settle()
    {
        auto* serial = dynamic_cast<CSerialProgrammer*>(session.Programmer().Backend());
        for (int quiet = 0; quiet < 20;) {
            if (const auto event = queue.Wait(std::chrono::milliseconds(100))) {
                session.HandleEvent(*event);
                quiet = 0;
            } else if (serial && serial->IsReady() && !serial->IsBusy()) {
                return;
            } else {
                ++quiet;
            }
        }
    }
    bool Logged(const std::string& line) const
    {
        return std::find(view.log.begin(), view.log.end(), line) != view.log.end();
    }

    CTempDir dir;
    const std::string catalogue = dir.File("ChipList.chip");
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammerSession session{view, queue, messages};
    // Well beyond the board's own 1000 ms wait for an acknowledgement, so
    // that a lost one is reported by the transfer, not by the watchdog.
    CSessionEventLoop loop{session, queue, std::chrono::milliseconds(3000)};
};
