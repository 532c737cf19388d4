#pragma once

// A recording window and a scripted backend for driving a session in tests.

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "app/core/ProgrammerSession.h"
#include "app/core/ProgrammerView.h"
#include "programmer/DeviceCatalogue.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TempDir.h"

using Lines = std::vector<std::string>;

class CRecordingView : public IProgrammerView {
public:
    void ShowPage(int) override {}
    void InsertLogLine(int index, const std::string& text, bool select) override
    {
        misplaced += index != int(log.size());  // lines always go to the end
        log.push_back(text);
        selected.push_back(select);
    }
    void ClearLog() override
    {
        log.clear();
        selected.clear();
        ++clears;
    }
    void ShowProgress() override { progressShown = true; }
    void SetProgressPos(int pos) override { progressPos.push_back(pos); }
    void SetProgressText(const std::string& text) override { progressTexts.push_back(text); }
    void InvalidateProgress() override {}
    void ShowBuffer1(const std::uint8_t*, int length) override { buffer1Shown.push_back(length); }
    void ShowBuffer2(const std::uint8_t*, int) override {}
    int TakeBuffer2(std::uint8_t* dest, int capacity) override
    {
        const int count = std::min(int(buffer2View.size()), capacity);
        std::copy_n(buffer2View.begin(), count, dest);
        return count;
    }
    void SetDeviceList(const std::vector<std::string>& names) override { deviceList = names; }
    void SetDeviceSelection(int index) override { deviceSel = index; }
    void SetLockSelection(int) override {}
    void EnableCombos(bool enable) override { combosEnabled = enable; }
    void ButtonChanged(const CCommandButton& button) override
    {
        icons[button.Id()] = button.CurrentIcon();
    }
    void PlaySound(PromptSound sound) override { sounds.push_back(sound); }
    void FlashWindow() override { ++flashes; }
    std::optional<std::string> ChooseOpenFile() override { return openAnswer; }
    std::optional<std::string> ChooseSaveFile() override { return saveAnswer; }

    Lines log;
    Lines deviceList;
    std::vector<bool> selected;
    int misplaced = 0, clears = 0, flashes = 0, deviceSel = -2;
    bool progressShown = false, combosEnabled = false;
    std::vector<int> progressPos, buffer1Shown;
    Lines progressTexts;
    std::vector<std::uint8_t> buffer2View;  // what the Buffer2 view holds
    std::map<int, int> icons;
    std::vector<PromptSound> sounds;
    std::optional<std::string> openAnswer, saveAnswer;
};

// Answers each operation with the codes scripted for it, posted through the
// controller as a real backend would (handled when pumped).
class CScriptedBackend : public IDeviceBackend {
public:
    struct Call {
        std::string op;
        int level;
        int keepLength;  // the controller's m_bKeepLength at the call
    };

    explicit CScriptedBackend(CProgrammer& programmer) : m_programmer(programmer) {}
    void CheckReady(std::uint8_t) override { Answer("check"); }
    void DetectDevice(std::uint8_t) override { Answer("detect"); }
    void EraseDevice(std::uint8_t) override { Answer("erase"); }
    void WriteDevice(std::uint8_t) override { Answer("write"); }
    void ReadDevice(std::uint8_t) override { Answer("read"); }
    void LockDevice(std::uint8_t, int level) override { Answer("lock", level); }

    Lines Ops() const
    {
        Lines ops;
        for (const Call& call : calls)
            ops.push_back(call.op);
        return ops;
    }

    std::map<std::string, std::vector<int>> script;
    std::vector<Call> calls;

private:
    void Answer(const std::string& op, int level = 0)
    {
        calls.push_back({op, level, m_programmer.m_bKeepLength.load()});
        for (int status : script[op])
            m_programmer.PostStatus(status);
    }

    CProgrammer& m_programmer;
};

// A started session on the scripted backend; the catalogue holds AT89S52,
// then AT89S51.
class CSessionHarness {
public:
    explicit CSessionHarness(int progType = 0, SettingsRecord settings = {})
        : session(view, queue, messages)
    {
        const std::string catalogue = dir.File("ChipList.chip");
        WriteCatalogueFile(catalogue, {{"AT89S52", 2, 8, 5.0f, {0x1e, 0x52, 0x06}},
                                       {"AT89S51", 2, 4, 5.0f, {0x1e, 0x51, 0x06}}});
        session.SetBackendOpener([this](CProgrammer& programmer, int type, int) {
            auto fake = std::make_unique<CScriptedBackend>(programmer);
            backend = fake.get();
            programmer.SetBackend(type, std::move(fake));
            return 1;
        });
        settings.progType = progType;
        session.Start(settings, catalogue);
    }

    // Handles every queued event, as the window's message loop would.
    void Pump()
    {
        while (auto event = queue.TryPop())
            session.HandleEvent(*event);
    }
    void Post(int code)
    {
        queue.PostStatus(code);
        Pump();
    }
    bool AllAccepting() const
    {
        for (int id : {kCmdDetect, kCmdLoadFile, kCmdSaveFile, kCmdErase, kCmdWrite, kCmdRead,
                       kCmdVerify, kCmdAuto, kCmdLock})
            if (!session.Button(id).IsAccepting())
                return false;
        return true;
    }

    CTempDir dir;
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CScriptedBackend* backend = nullptr;
    CProgrammerSession session;
};
