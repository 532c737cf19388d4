#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/QtStatusSink.h"
#include "app/core/ProgrammerSession.h"
#include "app/core/ProgrammerView.h"
#include "settings/core/SettingsRecord.h"

class CCommandButtonWidget;
class CFileDropLoader;
class CHexEdit;
class CHotkeyRegistration;
class CHyperLink;
class CLastFileDialog;
class CPropertyGrid;
class CPropertyGridItem;
class CSettingsGrid;
class CSimulatedHardware;
class CSoundPrompts;
class CTextProgressCtrl;
class IMessageSink;
class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QTabWidget;

// How the main window runs.
struct ProgrammerDlgOptions {
    // Demo mode: the serial board (type 0) or the parallel-port cable
    // (types 1..3) is simulated, so the window works without hardware.
    bool simulate = false;
    // The simulated board takes as long per byte as the real line would.
    bool pacedSimulation = true;
    // Runs with this programmer type instead of the stored one; the
    // stored value is kept.
    std::optional<int> programmer;
    // Device catalogue to load instead of the program folder's.
    std::string cataloguePath;
};

// The main window: the controls of the programmer's dialog laid out as its
// template places them, showing what the session tells it (IProgrammerView)
// and handing every click, selection and status event to the session.
class CProgrammerDlg : public QDialog, public IProgrammerView {
    Q_OBJECT

public:
    // Control ids of the dialog template.
    enum ControlId : int {
        kIdDeviceCombo = 1002,
        kIdTab = 1014,
        kIdToolLink = 1015,
        kIdHexView1 = 1016,
        kIdHexView2 = 1017,
        kIdLogList = 1018,
        kIdProgress = 1019,
        kIdLockCombo = 1012,
        kIdGrid = 144,
    };
    // The system-menu command that opens the About box.
    static constexpr int kIdmAboutBox = 0x0010;
    // No event for this long while a step is outstanding ends the step.
    static constexpr int kDefaultStepTimeoutMs = 30000;

    using Options = ProgrammerDlgOptions;

    // Builds the controls and runs the start-up (OnInitDialog). messages
    // shows the core's errors; nullptr: message boxes on this window.
    explicit CProgrammerDlg(const Options& options = {}, IMessageSink* messages = nullptr,
                            QWidget* parent = nullptr);
    ~CProgrammerDlg() override;

    // Brings page 0..3 forward: its control fills the page area of the tab
    // control (the settings grid one pixel more on every side), the other
    // three are hidden.
    void SelectPage(int page);
    // The page area inside the tab control, in dialog coordinates.
    QRect PageRect() const;
    // The template's size in pixels for this window's font: the smallest
    // the window gets, and the size at which every control sits exactly where
    // the template puts it.
    QSize TemplateSize() const { return m_templateSize; }

    // The command handlers behind the window's buttons and keys.
    void OnOK();      // Enter: the Auto command; the window stays open
    void OnCancel();  // Esc or close box: saves the settings, then closes
    void OnLaunchTool();
    // The settings as they would be stored now.
    SettingsRecord CollectSettings() const;
    // Stores the settings block and, in a section of its own, the window's
    // size and place; the result is the block's.
    bool SaveSettings();

    // The step watchdog's time-out (tests shorten it).
    void SetStepTimeout(int milliseconds);

    // Answer the file dialogs without showing them (tests, scripted runs):
    // return the chosen path, or nullopt for Cancel.
    using FileChooser = std::function<std::optional<std::string>()>;
    void SetOpenFileChooser(FileChooser chooser) { m_chooseOpen = std::move(chooser); }
    void SetSaveFileChooser(FileChooser chooser) { m_chooseSave = std::move(chooser); }

    // The menu with "&About Vrel..." (the window's stand-in for the system
    // menu); the caller owns it.
    QMenu* CreateSystemMenu(QWidget* parent);
    void ShowAboutBox();

    CProgrammerSession& Session() { return *m_pSession; }
    // Where the controller's reports enter the window's thread (benchmarks
    // post status events through it as a worker would).
    CQtStatusSink& StatusSink() { return m_sink; }
    CSettingsGrid& SettingsGrid() { return *m_pSettingsGrid; }
    CHotkeyRegistration& Hotkey() { return *m_pHotkey; }
    const SettingsRecord& LoadedSettings() const { return m_Settings; }
    bool SettingsLoaded() const { return m_bSettingsLoaded; }
    CSimulatedHardware* SimulatedHardware() const { return m_pSimulated.get(); }

    CCommandButtonWidget* ButtonWidget(int id) const;
    QComboBox* DeviceCombo() const { return m_DeviceCombo; }
    QComboBox* LockCombo() const { return m_LockCombo; }
    QTabWidget* TabControl() const { return m_Tab; }
    QListWidget* LogList() const { return m_LogList; }
    CHexEdit* HexView1() const { return m_HexView1; }
    CHexEdit* HexView2() const { return m_HexView2; }
    CPropertyGrid* Grid() const { return m_Grid; }
    CTextProgressCtrl* Progress() const { return m_Progress; }
    CHyperLink* ToolLink() const { return m_ToolLink; }
    int CurrentPage() const { return m_nCurPage; }
    // The control shown for page 0..3; nullptr for any other index.
    QWidget* PageControl(int page) const;
    // Events handled since start; a wait in a test can poll it.
    int EventsHandled() const { return m_nEventsHandled; }

    // Dialog units of the template in pixels, for this window's font.
    QRect MapDialogRect(int x, int y, int w, int h) const;

    // QDialog: Enter runs Auto instead of closing; Esc and the close box
    // save the settings first.
    void accept() override;
    void reject() override;

    // IProgrammerView
    void ShowPage(int page) override;
    void InsertLogLine(int index, const std::string& text, bool select) override;
    void ClearLog() override;
    void ShowProgress() override;
    void SetProgressPos(int pos) override;
    void SetProgressText(const std::string& text) override;
    void InvalidateProgress() override;
    void ShowBuffer1(const std::uint8_t* data, int length) override;
    void ShowBuffer2(const std::uint8_t* data, int length) override;
    int TakeBuffer2(std::uint8_t* dest, int capacity) override;
    void SetDeviceList(const std::vector<std::string>& names) override;
    void SetDeviceSelection(int index) override;
    void SetLockSelection(int index) override;
    void EnableCombos(bool enable) override;
    void ButtonChanged(const CCommandButton& button) override;
    void PlaySound(PromptSound sound) override;
    void FlashWindow() override;
    std::optional<std::string> ChooseOpenFile() override;
    std::optional<std::string> ChooseSaveFile() override;

protected:
    // While the device is being worked on, Esc does nothing and the close
    // box asks first.
    void keyPressEvent(QKeyEvent* event) override;
    // The tab control, and with it the page shown, takes the room the window
    // has beyond the template's size; the command column stays as it is.
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    void OnInitDialog();
    void PlaceControls();
    void OnStatusEvent(const StatusEvent& event);
    void OnCommand(int id);
    void OnGridNotify(int code, CPropertyGridItem* item);
    void OnWatchdog();
    // Asked before closing while a device step runs; true to close anyway.
    bool ConfirmCloseDuringStep();
    void PlaceAt(QWidget* widget, int x, int y, int w, int h);
    void LayOutPages();
    // Where a page's control goes: the page area, the grid one pixel more
    // on every side.
    QRect PageControlRect(const QWidget* control) const;
    // The size and place the window had when it was last closed.
    void RestorePlacement();
    void SavePlacement() const;

    Options m_options;
    SettingsRecord m_Settings;
    bool m_bSettingsLoaded = false;
    int m_nCurPage = -1;  // no page chosen yet
    QSize m_templateSize;
    int m_nEventsHandled = 0;

    // Declared before the session: the controller's workers post into the
    // sink until the session is gone, and the simulated board must keep
    // serving until the serial port is closed.
    std::unique_ptr<IMessageSink> m_pOwnMessages;
    IMessageSink* m_pMessages = nullptr;
    CQtStatusSink m_sink;
    std::unique_ptr<CSimulatedHardware> m_pSimulated;
    std::unique_ptr<CProgrammerSession> m_pSession;
    std::unique_ptr<CSettingsGrid> m_pSettingsGrid;
    // After the session: its hotkey messages call into it until it goes.
    std::unique_ptr<CHotkeyRegistration> m_pHotkey;

    QTimer m_watchdog;
    QElapsedTimer m_sinceActivity;
    int m_nStepTimeoutMs = kDefaultStepTimeoutMs;
    bool m_bAskingToClose = false;

    FileChooser m_chooseOpen;
    FileChooser m_chooseSave;
    CLastFileDialog* m_pOpenDialog = nullptr;
    CSoundPrompts* m_pPrompts = nullptr;
    CFileDropLoader* m_pDropLoader = nullptr;
    QFileDialog* m_pSaveDialog = nullptr;

    // Controls, owned by the dialog as their parent.
    CTextProgressCtrl* m_Progress = nullptr;
    QListWidget* m_LogList = nullptr;
    CHexEdit* m_HexView2 = nullptr;
    CHexEdit* m_HexView1 = nullptr;
    QTabWidget* m_Tab = nullptr;
    CHyperLink* m_ToolLink = nullptr;
    QComboBox* m_LockCombo = nullptr;
    QComboBox* m_DeviceCombo = nullptr;
    CPropertyGrid* m_Grid = nullptr;
    std::vector<std::pair<int, CCommandButtonWidget*>> m_buttons;
    // The static texts and lines: a right click on them opens the menu.
    std::vector<QWidget*> m_statics;
};
