#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "programmer/Programmer.h"
#include "programmer/StatusQueue.h"
#include "settings/core/SettingsRecord.h"
#include "widgets/core/CommandButton.h"

class IMessageSink;
class IProgrammerView;
class IStatusSink;

// The main window's logic without the window: it turns status events into
// log lines and sequence outcomes, runs the command sequence, loads and
// saves images and writes the verify report. The window (or the CLI) shows
// what it is told through IProgrammerView and hands every status event to
// HandleEvent, one at a time, in posting order, on one thread.
class CProgrammerSession {
public:
    // The controller posts into sink; the host drains it and calls
    // HandleEvent. messages shows the backends' and the HEX converter's
    // errors.
    CProgrammerSession(IProgrammerView& view, IStatusSink& sink, IMessageSink& messages);

    CProgrammerSession(const CProgrammerSession&) = delete;
    CProgrammerSession& operator=(const CProgrammerSession&) = delete;

    // How Start creates and opens the backend; the default is the
    // controller's own SelectBackend. Simulators and tests install theirs.
    using BackendOpener = std::function<int(CProgrammer&, int progType, int ispSetting)>;
    void SetBackendOpener(BackendOpener opener);

    // Start-up as the main window does it: takes the settings, enables the
    // commands, opens the backend, loads the catalogue (the program folder's,
    // or cataloguePath when given) and selects the stored device. The
    // backend's first report arrives later as an event.
    void Start(const SettingsRecord& settings, const std::string& cataloguePath = {});
    // The working settings and the buttons' marks from a stored record.
    void ApplySettings(const SettingsRecord& settings);

    // The user chose the device COM port comPort stands for: with the serial
    // board running, its port opens again at once on that COM port, with
    // the start-up lines and ready check. While a step is outstanding that
    // waits for the end of the sequence; a cable running ignores it.
    void ReopenSerialPort(int comPort);

    // One event from the sink: a status code, or a signature match that
    // selects a device list entry.
    void HandleEvent(const StatusEvent& event);
    void OnProgStatus(int code);

    // Adds a line to the end of the status log and brings the Status page
    // forward.
    void AppendLog(std::string text);
    // The window's tab change, and AppendLog's request for the Status page.
    void SelectPage(int page);

    void SetCommandsEnabled(int flag);
    // Starts the next pending step after a success, or ends the sequence.
    void AdvanceSequence(int success, int prompt);

    // The command buttons. Each does nothing while its button is not
    // accepting.
    void OnDetect();
    void OnErase();
    void OnWrite();
    void OnRead();
    void OnVerify();
    void OnAuto();
    void OnLock();
    void OnLoadFile();
    // true when Buffer2 was saved; false on cancel, a refused click or a
    // file that could not be written (the last is logged with its reason and
    // ends the sequence as a failure; errno tells the reason).
    bool OnSaveFile();
    // A lone ready check, for hosts without a button for it (the CLI).
    void OnCheck();
    // Blank check (the Buffer 2 page's menu, the CLI's blank): reads the
    // whole device and says whether every byte is 0xFF; a chip that is not
    // blank fails. Taken while the Read button accepts.
    void OnBlankCheck();
    // Whether an automatic run checks the chip blank, after an erase and
    // before a write (there is no button to mark for it).
    void SetBlankCheckInAuto(bool on) { m_bBlankInAuto = on; }
    // Of the last sequence: the checksum of Buffer1 as its write started
    // (a serial number placed), and of Buffer2 after its last read.
    std::optional<std::uint16_t> WrittenChecksum() const { return m_oWrittenChecksum; }
    std::optional<std::uint16_t> ReadChecksum() const { return m_oReadChecksum; }
    // Right mouse button on a button: toggles its Auto mark.
    void OnToggleMark(int id);
    // An Auto run with no step marked ends with a line that says how to
    // mark one (the window: its steps are marked with the right button).
    void SetReportUnmarkedAuto(bool on) { m_bReportUnmarkedAuto = on; }

    // Loads m_strFilePath into Buffer1; 1 loaded, 0 failed. Always ends by
    // advancing the sequence.
    int LoadImageFile();
    // The verify report over the first 64 KB; 1 when the buffers agree.
    int CompareBuffers();
    // The blank check's line over the device's whole memory in Buffer2; 1
    // when every byte is 0xFF.
    int BlankCheck();
    void PromptSuccess();
    void PromptFailure();

    // Step watchdog. A step is outstanding from the controller call that
    // starts it until a status event with an outcome arrives (after a
    // serial write, until the board's ready report). The host calls
    // OnStepTimeout when no event arrived for its time-out while one is
    // outstanding; the step then ends as a failure.
    bool IsStepOutstanding() const { return m_bStepOutstanding; }
    // The outstanding step works on the device itself (erase, write, read,
    // verify, lock): ending the program now could leave it half done.
    bool IsDeviceStepOutstanding() const { return m_bStepOutstanding && m_bDeviceStep; }
    void OnStepTimeout();

    // Every end of a sequence, success or failure, is counted and reported.
    using SequenceEndHandler = std::function<void(bool success)>;
    void SetSequenceEndHandler(SequenceEndHandler handler);
    int SequenceEndCount() const { return m_nSequenceEnds; }

    // Called when a write step is about to hand Buffer1 to the programmer,
    // after every step before it (a reload included) has run: it may change
    // Buffer1 (a serial number). false ends the sequence as a failure before
    // anything is written.
    using WriteStartHandler = std::function<bool()>;
    void SetWriteStartHandler(WriteStartHandler handler);
    bool LastSequenceSucceeded() const { return m_bLastSucceeded; }

    // The device list and the lock-level list, as the user or a signature
    // match sets them. An index outside the list leaves no selection (-1).
    void SetDeviceSelection(int index);
    int DeviceSelection() const { return m_nDeviceSel; }
    // The name of the device selected now; empty with none.
    std::string DeviceSelectionName() const;
    // The name of the device chosen when the settings were saved: Start
    // selects the record of that name when another one now has the stored
    // index (devices were added or moved since).
    void SetStoredDeviceName(std::string name) { m_strStoredDeviceName = std::move(name); }
    // The catalogue file was changed (an edit saved, the user's own copy
    // made): path is read again once no step is outstanding, and the
    // device chosen stays chosen by its name.
    void ReloadCatalogue(const std::string& path);
    void SetLockSelection(int index);
    int LockSelection() const { return m_nLockSel; }
    bool CombosEnabled() const { return m_bCombosEnabled; }

    // The live switches of the settings grid.
    void SetAutoDetect(int value) { m_nAutoDetect = value; }
    void SetSoundOn(int value) { m_nSoundOn = value; }
    int AutoDetect() const { return m_nAutoDetect; }
    int SoundOn() const { return m_nSoundOn; }
    int HotkeyOn() const { return m_nHotkeyOn; }
    int ProgType() const { return m_nProgType; }

    // The image file (Load file, the CLI); the extension is taken from it.
    void SetFilePath(const std::string& path);
    const std::string& FilePath() const { return m_strFilePath; }
    const std::string& FileExt() const { return m_strFileExt; }
    // The SHA-256 of the file bytes the last load put into Buffer1; empty
    // after a load that failed.
    const std::string& LoadedFileSha256() const { return m_strLoadedSha256; }

    // The record the session started from (hotkey and the rest that the
    // settings page shows).
    const SettingsRecord& Settings() const { return m_Settings; }
    CProgrammer& Programmer() { return m_Programmer; }
    const CCommandButton& Button(int id) const;
    int LogLines() const { return m_nLogLines; }
    int CurrentPage() const { return m_nCurPage; }
    int WriteCount() const { return m_nWriteCount; }
    bool CompareAfterRead() const { return m_bCompareAfterRead != 0; }
    // Pending steps, in sequence order: check, reload, detect, erase, write,
    // read, verify.
    std::array<int, 7> PendingSteps() const;

private:
    CCommandButton& MutableButton(int id);
    void SetBusy(int id, int value);
    // The progress text from a format of position and last index (Chinese;
    // looked up in the interface language).
    void ShowProgressText(const char* format);
    void LogSignature(const char* format);
    void LogDetectedDevice();
    // After "初始化并口完成.": GPIO lines or an FTDI cable say what they are.
    void LogIspLines();
    // After a time-out: the port the silent board is on.
    void LogUnansweredPort();
    // After a load: an image longer than the chosen device's ROM.
    void LogImageBeyondDevice();
    void ReportSaveFailure(const std::string& path, int error);
    // The device list's choice (none: the first record), or nullptr.
    const DeviceRecord* SelectedRecord() const;
    // Logs the checksum line (format: its buffer's) of buffer over the
    // chosen device's memory; nullopt, and no line, without a device.
    std::optional<std::uint16_t> LogChecksum(const std::uint8_t* buffer, const char* format);
    void ForgetChecksums();
    // After a port failure: which device, why, and what to do.
    void LogPortFailure(std::string (*describe)(const PortOpenFailure&));
    // Calls an operation on the controller and arms the watchdog.
    void StartOperation(const std::function<void(CProgrammer&, int)>& operation,
                        bool deviceStep = false);
    // What the end of a read step does with Buffer2 besides showing it.
    enum class ReadEnd { Keep, Compare, BlankCheck };
    // Starts a read step shown on button id; keepLength as m_bKeepLength.
    void StartRead(int id, ReadEnd end, int keepLength);
    // A single button: cancels whatever is pending and starts one step.
    void RunSingleStep(int id, int& step);
    void EndSequence(bool success);
    // Opens the backend with the working settings (Start, a new port).
    void OpenBackend();
    // Opens the serial port again once nothing is outstanding.
    void ReopenWhenIdle();
    // Reads the changed catalogue once nothing is outstanding.
    void ReloadCatalogueWhenIdle();
    void ShowDeviceList();

    IProgrammerView& m_view;
    IMessageSink& m_messages;

    int m_nLogLines = 0;
    int m_bCompareAfterRead = 0;
    int m_nWriteCount = 0;
    int m_bStepCheck = 0;
    int m_bStepReload = 0;
    int m_bStepDetect = 0;
    int m_bStepErase = 0;
    int m_bStepWrite = 0;
    int m_bStepRead = 0;
    int m_bStepVerify = 0;
    int m_bStepBlank = 0;
    int m_bBlankAfterRead = 0;
    bool m_bBlankInAuto = false;
    std::optional<std::uint16_t> m_oWrittenChecksum;
    std::optional<std::uint16_t> m_oReadChecksum;
    std::string m_strFilePath;
    std::string m_strFileExt;
    std::string m_strLoadedSha256;
    // The file whose load failed last; empty once a load succeeds. Buffer1
    // then still holds the file before it, which no write may program.
    std::string m_strFailedLoad;
    SettingsRecord m_Settings;
    int m_nProgType = 0;
    int m_nBaudSel = 0;
    int m_nComPort = 1;
    int m_nIspSetting = 0;
    int m_nCurPage = -1;  // no page chosen yet
    int m_nAutoDetect = 0;
    int m_nSoundOn = 0;
    int m_nHotkeyOn = 0;

    // Order matters: SetCommandsEnabled walks them like this.
    std::array<CCommandButton, 9> m_buttons;
    int m_nDeviceSel = -1;
    int m_nLockSel = 0;
    bool m_bCombosEnabled = true;

    bool m_bStepOutstanding = false;
    bool m_bDeviceStep = false;
    bool m_bReopenPending = false;
    // An Auto run with none of its steps marked: it says so at its end.
    bool m_bReportUnmarkedAuto = false;
    bool m_bAutoUnmarked = false;
    std::string m_strStoredDeviceName;
    std::string m_strReloadPath;  // a changed catalogue waiting to be read
    int m_nSequenceEnds = 0;
    bool m_bLastSucceeded = false;
    SequenceEndHandler m_onSequenceEnd;
    WriteStartHandler m_onWriteStart;
    BackendOpener m_openBackend;

    // Last: its backends' workers post into the sink until it is gone.
    CProgrammer m_Programmer;
};
