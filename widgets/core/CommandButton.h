#pragma once

#include <cstdint>
#include <string>

// The ids of the main window's nine command buttons (also their control ids).
enum CommandId : int {
    kCmdDetect = 1003,
    kCmdLoadFile = 1004,
    kCmdSaveFile = 1005,
    kCmdErase = 1006,
    kCmdWrite = 1007,
    kCmdRead = 1008,
    kCmdVerify = 1009,
    kCmdAuto = 1010,
    kCmdLock = 1013,
};

// What a command button is, without any drawing: captions, icons, the soft
// enable flag its handler tests, the busy state of its running step and the
// mark that puts its step into the Auto sequence. The window paints from it.
class CCommandButton {
public:
    // Accepting, not toggleable, no captions or icons yet.
    CCommandButton() = default;
    CCommandButton(int id, std::string caption);

    // The main window's button for id, set up with its caption, icons and
    // whether the right mouse button marks it.
    static CCommandButton ForCommand(CommandId id);

    // Called once after construction. baseFaceColour is the face the toolkit
    // gives the button; a marked button is drawn slightly lighter.
    void SetUp(bool toggleable, bool hasBusyIcon, int normalIcon, int busyIcon,
               std::uint32_t baseFaceColour = 0);

    void SetBusy(int value);
    void SetMark(int value);
    // The right mouse button: flips the mark of a toggleable button; true
    // when something changed.
    bool ToggleMark();
    void SetAccepting(int value) { m_bAccepting = value ? 1 : 0; }

    int Id() const { return m_nId; }
    const std::string& PlainCaption() const { return m_strCaption; }
    const std::string& MarkedCaption() const { return m_strMarkedCaption; }
    // The text the button shows now.
    const std::string& Caption() const;
    bool IsToggleable() const { return m_bToggleable != 0; }
    bool IsAccepting() const { return m_bAccepting != 0; }
    bool IsBusy() const { return m_bBusy != 0; }
    bool IsMarked() const { return m_bMarked != 0; }
    int NormalIcon() const { return m_nNormalIcon; }
    int BusyIcon() const { return m_nBusyIcon; }
    // The icon shown now; 0 = none.
    int CurrentIcon() const { return m_nCurrentIcon; }
    // The base face, lightened by 0x0F0F0F (a plain sum, carries included)
    // while marked.
    std::uint32_t FaceColour() const;

private:
    int m_nId = 0;
    std::uint32_t m_crBaseFace = 0;
    int m_bMarked = 0;
    int m_bBusy = 0;
    std::string m_strMarkedCaption;
    std::string m_strCaption;
    int m_bHasBusyIcon = 0;
    int m_nBusyIcon = 0;
    int m_nNormalIcon = 0;
    int m_bToggleable = 0;
    int m_bAccepting = 1;
    int m_nCurrentIcon = 0;
};
