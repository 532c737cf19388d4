#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/ProgrammerView.h"

// The session's window on a terminal: every log line goes to stdout as it
// is written (UTF-8, one per line, flushed), the progress text to stderr
// when that is a terminal. The file dialogs answer with the paths the
// command line gave.
class CCliView : public IProgrammerView {
public:
    CCliView();

    void SetOpenPath(std::optional<std::string> path) { m_openPath = std::move(path); }
    // The progress line on a terminal; off when something else reports it.
    void SetProgressLine(bool shown) { m_bProgressOnTerminal = shown && m_bProgressOnTerminal; }
    void SetSavePath(std::optional<std::string> path) { m_savePath = std::move(path); }

    void ShowPage(int) override {}
    void InsertLogLine(int index, const std::string& text, bool select) override;
    // Lines already printed stay printed.
    void ClearLog() override {}

    void ShowProgress() override {}
    void SetProgressPos(int pos) override;
    void SetProgressText(const std::string& text) override;
    void InvalidateProgress() override;

    void ShowBuffer1(const std::uint8_t*, int) override {}
    void ShowBuffer2(const std::uint8_t* data, int length) override;
    int TakeBuffer2(std::uint8_t* dest, int capacity) override;

    void SetDeviceList(const std::vector<std::string>&) override {}
    void SetDeviceSelection(int) override {}
    void SetLockSelection(int) override {}
    void EnableCombos(bool) override {}
    void ButtonChanged(const CCommandButton&) override {}

    void PlaySound(PromptSound) override {}
    void FlashWindow() override {}

    std::optional<std::string> ChooseOpenFile() override { return m_openPath; }
    std::optional<std::string> ChooseSaveFile() override { return m_savePath; }

private:
    void DrawProgress();
    void EndProgressLine();

    bool m_bProgressOnTerminal = false;
    bool m_bProgressShown = false;
    std::string m_strProgressText;
    int m_nProgressPos = 0;
    const std::uint8_t* m_pBuffer2 = nullptr;
    int m_nBuffer2Length = 0;
    std::optional<std::string> m_openPath;
    std::optional<std::string> m_savePath;
};
