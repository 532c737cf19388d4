#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CCommandButton;

// The main window's pages, in tab order.
enum ProgrammerPage : int {
    kPageBuffer1 = 0,
    kPageBuffer2 = 1,
    kPageStatus = 2,
    kPageSettings = 3,
};

// The prompts a sequence ends with; the session picks one, the view sounds it.
enum class PromptSound {
    SuccessTones,       // three short 2000 Hz tones
    FailureTone,        // one 410 Hz tone
    SystemDefault,      // the desktop's default notification sound
    SystemExclamation,  // the desktop's warning sound
};

// What the session asks of a window. Everything is called on the session's
// own thread; the view only shows, it decides nothing. Texts are UTF-8.
class IProgrammerView {
public:
    virtual ~IProgrammerView() = default;

    // Brings a page forward (see ProgrammerPage).
    virtual void ShowPage(int page) = 0;
    // Puts text into the status log as line index (always the end of the
    // list). select: make it the current line, scrolled into view.
    virtual void InsertLogLine(int index, const std::string& text, bool select) = 0;
    virtual void ClearLog() = 0;

    // The progress bar: hidden until ShowProgress; Invalidate redraws it
    // without erasing the background.
    virtual void ShowProgress() = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void SetProgressText(const std::string& text) = 0;
    virtual void InvalidateProgress() = 0;

    // The hex views: data stays valid for the session's life.
    virtual void ShowBuffer1(const std::uint8_t* data, int length) = 0;
    virtual void ShowBuffer2(const std::uint8_t* data, int length) = 0;
    // Copies what the Buffer2 view holds (the user may have edited it) into
    // dest, at most capacity bytes; returns the count copied.
    virtual int TakeBuffer2(std::uint8_t* dest, int capacity) = 0;

    // The device list (one entry per catalogue record, in order), its
    // selection (-1: none) and the lock-level list's selection (0..2).
    virtual void SetDeviceList(const std::vector<std::string>& names) = 0;
    virtual void SetDeviceSelection(int index) = 0;
    virtual void SetLockSelection(int index) = 0;
    virtual void EnableCombos(bool enable) = 0;

    // A button's caption, icon, busy or accepting state changed.
    virtual void ButtonChanged(const CCommandButton& button) = 0;

    virtual void PlaySound(PromptSound sound) = 0;
    // Flashes the window once to draw the user's eye.
    virtual void FlashWindow() = 0;

    // The file dialogs: the chosen path, or nullopt when cancelled.
    virtual std::optional<std::string> ChooseOpenFile() = 0;
    virtual std::optional<std::string> ChooseSaveFile() = 0;
};
