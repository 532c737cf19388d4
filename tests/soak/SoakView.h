#pragma once

#include <string>
#include <vector>

#include "app/core/ProgrammerView.h"

// A window that shows nothing and keeps only the status log: the soak reads
// each run's lines from it.
class CSoakView : public IProgrammerView {
public:
    const std::vector<std::string>& Log() const { return m_log; }
    bool Contains(const std::string& line) const;
    bool ContainsPrefix(const std::string& prefix) const;
    // The last lines of the log, one per line, for a failure report.
    std::string Tail(std::size_t lines) const;

    void ShowPage(int) override {}
    void InsertLogLine(int index, const std::string& text, bool select) override;
    void ClearLog() override { m_log.clear(); }
    void ShowProgress() override {}
    void SetProgressPos(int) override {}
    void SetProgressText(const std::string&) override {}
    void InvalidateProgress() override {}
    void ShowBuffer1(const std::uint8_t*, int) override {}
    void ShowBuffer2(const std::uint8_t*, int) override {}
    int TakeBuffer2(std::uint8_t*, int) override { return 0; }
    void SetDeviceList(const std::vector<std::string>&) override {}
    void SetDeviceSelection(int) override {}
    void SetLockSelection(int) override {}
    void EnableCombos(bool) override {}
    void ButtonChanged(const CCommandButton&) override {}
    void PlaySound(PromptSound) override {}
    void FlashWindow() override {}
    std::optional<std::string> ChooseOpenFile() override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile() override { return std::nullopt; }

private:
    std::vector<std::string> m_log;
};
