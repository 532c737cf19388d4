#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

#include "settings/SerialDeviceList.h"
#include "settings/core/SettingsRecord.h"

class CPropertyGrid;
class CPropertyGridItem;

// The Settings page: builds its items on a CPropertyGrid, shows a stored
// settings block on them, reads them back for saving and turns the user's
// switch changes into settings.
//
// The grid keeps the settings it has shown or read (Settings()); an item
// that still shows its empty start value reads back as that kept value, so
// saving without touching such an item stores what was loaded (a COM port 7
// stays 7, a cable kind 2 stays 2).
//
// The programmer item offers every kind of programmer, its position being
// the programmer type; the items that do not apply to the kind chosen there
// are greyed. The serial device item shows the device the COM port stands
// for ("Ports" in "Tamber_Info.ini") and makes the port stand for the one
// the user picks.
//
// The owner connects the grid's notify() to OnGridNotify (Build does not),
// and forwards switchesChanged() to the session and serialDeviceChosen() to
// whatever opens the port.
class CSettingsGrid : public QObject {
    Q_OBJECT

public:
    using AppendLogFn = std::function<void(const std::string&)>;

    // Captions of the items, in Chinese, the source: the grid shows them
    // through tr().
    static inline const char* const kCatProgrammer = QT_TRANSLATE_NOOP("CSettingsGrid", "编程器");
    static inline const char* const kCatSystem = QT_TRANSLATE_NOOP("CSettingsGrid", "系统");
    static inline const char* const kProgType = QT_TRANSLATE_NOOP("CSettingsGrid", "编程器");
    static inline const char* const kComPort = QT_TRANSLATE_NOOP("CSettingsGrid", "串口");
    static inline const char* const kSerialDevice = QT_TRANSLATE_NOOP("CSettingsGrid", "串口设备");
    static inline const char* const kBaudSel = QT_TRANSLATE_NOOP("CSettingsGrid", "通讯速率");
    static inline const char* const kIspSetting = QT_TRANSLATE_NOOP("CSettingsGrid", "程序版本");
    static inline const char* const kCrystal = QT_TRANSLATE_NOOP("CSettingsGrid", "晶振频率");
    static inline const char* const kAutoDetect = QT_TRANSLATE_NOOP("CSettingsGrid", "自动检测器件");
    static inline const char* const kSoundOn = QT_TRANSLATE_NOOP("CSettingsGrid", "使用声音提示");
    static inline const char* const kHotkeyOn = QT_TRANSLATE_NOOP("CSettingsGrid", "使用热键");

    explicit CSettingsGrid(QObject* parent = nullptr);

    // The two categories and nine items, then the grid's colours.
    void Build(CPropertyGrid& grid);

    // Where the serial device item takes the devices present from
    // (CSerialDeviceList::Present unless told otherwise); read at Build and
    // each time the item's list opens.
    void SetSerialDeviceSource(CSerialDeviceList::Source source);
    // Reads the devices present again into the serial device item.
    void RefreshSerialDevices();

    // Each stores value as its setting and shows it when it is in range:
    // programmer 0..5 (0 also logs the product line through appendLog), COM
    // 1..4, baud 0..1, fourth item 0. Out of range: the item keeps what it
    // shows.
    void ShowProgType(int value, const AppendLogFn& appendLog = {});
    void ShowComPort(int value);
    void ShowBaudSel(int value);
    void ShowIspSetting(int value);
    // The kind this run uses instead of the stored one (--programmer): the
    // programmer item shows it and greys what does not apply to it, and
    // saving keeps the stored kind unless the user picks one there.
    void ShowRunningProgType(int value);

    // The position of the item's value in its list (COM: position + 1),
    // stored as the setting; the kept setting while the item is empty.
    int ReadProgType();
    int ReadComPort();
    int ReadBaudSel();
    int ReadIspSetting();

    // Reads "Tamber_Info.ini" at iniPath. On failure logs the three start
    // lines and leaves settings as given; on success shows the record on the
    // grid, logs the edition lines and returns it in settings (marks and
    // device index included: the caller applies them). Either way the grid
    // keeps settings as its own afterwards. Needs Build first.
    bool LoadSettings(const std::string& iniPath, SettingsRecord& settings,
                      const AppendLogFn& appendLog);
    // The block to store at close: the four text items read from the grid;
    // switches, hotkey, marks and device index as current has them (start
    // from Settings() to get the grid's switches and hotkey).
    SettingsRecord CollectForSave(const SettingsRecord& current);
    static bool SaveSettings(const std::string& iniPath, const SettingsRecord& settings);

    // The grid's notify(): code 3 on a switch updates the setting and emits
    // switchesChanged; "使用热键" turned "True" then calls the hotkey hook.
    // On the programmer item it greys what does not apply; on the COM item
    // it shows that port's device; on the serial device item it stores the
    // device for the COM port shown and emits serialDeviceChosen.
    void OnGridNotify(int code, CPropertyGridItem* item);

    // Runs when the user switches "使用热键" on (the hotkey dialog). Without
    // a hook the change is only recorded.
    void SetHotkeyHook(std::function<void()> hook) { m_onHotkeyOn = std::move(hook); }
    // The hotkey the hotkey dialog chose.
    void SetHotkey(std::uint8_t key, std::uint8_t mods);
    // The hotkey cannot work on this desktop: "使用热键" is greyed and its
    // description says why. Returns that text (for the log).
    QString ShowHotkeyUnavailable();

    const SettingsRecord& Settings() const { return m_Settings; }
    int AutoDetect() const { return m_Settings.autoDetect; }
    int SoundOn() const { return m_Settings.soundOn; }
    int HotkeyOn() const { return m_Settings.hotkeyOn; }

    CPropertyGridItem* ProgTypeItem() const { return m_pProgType; }
    CPropertyGridItem* ComPortItem() const { return m_pComPort; }
    CPropertyGridItem* SerialDeviceItem() const { return m_pSerialDevice; }
    CPropertyGridItem* BaudSelItem() const { return m_pBaudSel; }
    CPropertyGridItem* IspSettingItem() const { return m_pIspSetting; }
    CPropertyGridItem* CrystalItem() const { return m_pCrystal; }
    CPropertyGridItem* AutoDetectItem() const { return m_pAutoDetect; }
    CPropertyGridItem* SoundOnItem() const { return m_pSoundOn; }
    CPropertyGridItem* HotkeyOnItem() const { return m_pHotkeyOn; }

signals:
    void switchesChanged(int autoDetect, int soundOn, int hotkeyOn);
    // The user picked the device COM port comPort stands for; the "Ports"
    // entry is written.
    void serialDeviceChosen(int comPort);

private:
    // Greys the items that do not apply to programmer type progType.
    void ShowKind(int progType);
    // The serial device item's value and description for the COM port the
    // grid shows (or keeps).
    void ShowSerialDevice();
    void OnSerialDevicePicked(const QString& label);
    std::string IniPath() const;
    // "Quenby.ini" beside the settings file, where the ISP kinds' crystal is
    // kept.
    std::string CableIniPath() const;
    // The crystal item shows Crystal of the "ISP" section; a typed value is
    // stored there when it is a crystal frequency, else the item goes back.
    void ShowCrystal();
    void OnCrystalTyped(const QString& text);

    // Shows the constraint at position on item (when it exists).
    static void ShowPosition(CPropertyGridItem* item, int position);
    // position in the list, or fallback while the item shows no list value.
    static int ReadPosition(const CPropertyGridItem* item, int fallback);

    SettingsRecord m_Settings;
    int m_nRunningProgType = -1;  // shown instead of the stored kind; -1: none
    std::function<void()> m_onHotkeyOn;
    std::string m_strIniPath;  // the last LoadSettings'; empty: the program folder's
    CSerialDeviceList::Source m_deviceSource = &CSerialDeviceList::Present;
    std::vector<SerialDeviceInfo> m_devices;  // as the serial device item lists them

    CPropertyGridItem* m_pProgType = nullptr;
    CPropertyGridItem* m_pComPort = nullptr;
    CPropertyGridItem* m_pSerialDevice = nullptr;
    CPropertyGridItem* m_pBaudSel = nullptr;
    CPropertyGridItem* m_pIspSetting = nullptr;
    CPropertyGridItem* m_pCrystal = nullptr;
    CPropertyGridItem* m_pAutoDetect = nullptr;
    CPropertyGridItem* m_pSoundOn = nullptr;
    CPropertyGridItem* m_pHotkeyOn = nullptr;
};
