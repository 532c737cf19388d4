#include "settings/SettingsGrid.h"

#include <algorithm>
#include <filesystem>

#include "isp/IspSettings.h"
#include "platform/AppGlobals.h"
#include "programmer/SerialPort.h"
#include "widgets/PropertyGrid.h"

namespace {

// The programmer item's values, each at the position of its programmer
// type: the serial programmer board, the three parallel-port cable kinds,
// ISP over a computer's GPIO lines, over an FTDI cable and over Linux SPI.
const char* const kProductValue = "Tamberlink V3.0 ";
const char* const kProgrammerKinds[] = {
    kProductValue,
    QT_TRANSLATE_NOOP("CSettingsGrid", "并口ISP下载线 类型1"),
    QT_TRANSLATE_NOOP("CSettingsGrid", "并口ISP下载线 类型2"),
    QT_TRANSLATE_NOOP("CSettingsGrid", "并口ISP下载线 类型3"),
    QT_TRANSLATE_NOOP("CSettingsGrid", "GPIO引脚ISP (树莓派等)"),
    QT_TRANSLATE_NOOP("CSettingsGrid", "FTDI下载线ISP (FT232R/FT232H)"),
    QT_TRANSLATE_NOOP("CSettingsGrid", "SPI接口ISP (树莓派 spidev)"),
};
constexpr int kKindCount = int(std::size(kProgrammerKinds));
// The kinds that program the chip in the system itself: no serial port.
constexpr int kFirstIspKind = 1;

const char* const kRunningKindHint = QT_TRANSLATE_NOOP(
    "CSettingsGrid", "本次运行用命令行 --programmer 选的编程器; 保存的设置不变, 除非在这里另选.");
const char* const kSerialDeviceHint =
    QT_TRANSLATE_NOOP("CSettingsGrid", "选择串口所接的设备,选后立即生效.");
const char* const kVersionValue = "Ver3.0";
const char* const kVersionDescription =
    QT_TRANSLATE_NOOP("CSettingsGrid", "Tamberlink Ver3.0, 2026年12月发布");

// Log lines of a start without a stored record, and of a start with one.
const char* const kNoRecordLine = "TamberlinkVer3.0)";
const char* const kEditionLine = QT_TRANSLATE_NOOP("CSettingsGrid", "Tamberlink 编程器 Linux 版");
const char* const kReleaseLine = QT_TRANSLATE_NOOP("CSettingsGrid", "Ver3.0, 2026年12月发布");

// The grid's colours: help pane, help text, lines, background, text.
constexpr unsigned kHelpBack = 0x8080FF;
constexpr unsigned kHelpText = 0;
constexpr unsigned kLine = 0xFF8080;
constexpr unsigned kBack = 0xF7F3E9;
constexpr unsigned kText = 0;

// The product line: nine trailing spaces.
const std::string kProductLogLine = "Tamberlink Ver3.0" + std::string(9, ' ');
// Two product names, 12 spaces between them and 3 after.
const std::string kProductPairLine =
    "Tamberlink" + std::string(12, ' ') + "Tamberlink" + std::string(3, ' ');

// A caption, description or log line of the grid in the interface's language.
QString T(const char* chinese)
{
    return CSettingsGrid::tr(chinese);
}

void Log(const CSettingsGrid::AppendLogFn& appendLog, const std::string& line)
{
    if (appendLog)
        appendLog(line);
}

template <typename Values>
CPropertyGridItem* AddListItem(CPropertyGrid& grid, CPropertyGridItem* category,
                               const char* caption, const char* description,
                               const Values& constraints)
{
    CPropertyGridItem* item = grid.AddTextItem(category, T(caption), QString());
    item->SetDescription(T(description));
    // Only positions are read back, so the values may be translated too.
    for (const char* value : constraints)
        item->AddConstraint(T(value));
    item->SetFlags(CPropertyGridItem::kFlagHasComboButton);
    return item;
}

CPropertyGridItem* AddListItem(CPropertyGrid& grid, CPropertyGridItem* category,
                               const char* caption, const char* description,
                               std::initializer_list<const char*> constraints)
{
    return AddListItem<std::initializer_list<const char*>>(grid, category, caption, description,
                                                           constraints);
}

// The same device: the same path, or links to one node (a by-id name, the
// simulated board's link).
bool SameDevice(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    std::error_code error;
    const auto canonicalA = std::filesystem::canonical(a, error);
    if (error)
        return false;
    const auto canonicalB = std::filesystem::canonical(b, error);
    return !error && canonicalA == canonicalB;
}

CPropertyGridItem* AddSwitch(CPropertyGrid& grid, CPropertyGridItem* category,
                             const char* caption, const char* description)
{
    CPropertyGridItem* item = grid.AddBoolItem(category, T(caption), true);
    item->SetDescription(T(description));
    return item;
}

} // namespace

CSettingsGrid::CSettingsGrid(QObject* parent)
    : QObject(parent)
{
}

void CSettingsGrid::Build(CPropertyGrid& grid)
{
    CPropertyGridItem* programmer = grid.AddCategory(T(kCatProgrammer));
    m_pProgType = AddListItem(grid, programmer, kProgType, kProductValue, kProgrammerKinds);
    m_pComPort = AddListItem(grid, programmer, kComPort, QT_TR_NOOP("选择COM口.(重启程序生效)"),
                             {"COM 1", "COM 2", "COM 3", "COM 4"});
    m_pSerialDevice = AddListItem(grid, programmer, kSerialDevice, kSerialDeviceHint, {});
    // A path may be typed as well: a simulator's pseudo-terminal, a
    // /dev/serial/by-id name of an adapter not plugged in yet.
    m_pSerialDevice->SetFlags(CPropertyGridItem::kFlagHasComboButton
                              | CPropertyGridItem::kFlagHasEdit);
    // Adapters come and go: the list is read again whenever it opens.
    connect(&grid, &CPropertyGrid::aboutToEdit, this, [this](CPropertyGridItem* item) {
        if (item && item == m_pSerialDevice)
            RefreshSerialDevices();
    });
    RefreshSerialDevices();
    m_pBaudSel = AddListItem(grid, programmer, kBaudSel,
                             QT_TR_NOOP("选择通讯波特率.(重启程序生效)"), {"115200", "57600"});
    m_pIspSetting = AddListItem(grid, programmer, kIspSetting, kVersionDescription,
                                {kVersionValue});
    ShowPosition(m_pBaudSel, 0);
    // Typed, not picked: crystals come in too many values for a list.
    m_pCrystal = grid.AddTextItem(programmer, T(kCrystal), QString());
    m_pCrystal->SetDescription(T(QT_TR_NOOP(
        "ISP下载时目标芯片的晶振频率(MHz), 串行时钟和写入等待都以此为准.(重启程序生效)")));
    m_pCrystal->SetFlags(CPropertyGridItem::kFlagHasEdit);
    ShowCrystal();
    ShowKind(m_Settings.progType);

    CPropertyGridItem* system = grid.AddCategory(T(kCatSystem));
    m_pAutoDetect = AddSwitch(grid, system, kAutoDetect, QT_TR_NOOP("[自动完成]时是否先检测器件?"));
    m_pSoundOn =
        AddSwitch(grid, system, kSoundOn, QT_TR_NOOP("编程成功或失败将会有不同的声音提示."));
    m_pHotkeyOn =
        AddSwitch(grid, system, kHotkeyOn, QT_TR_NOOP("按下热键后相当于点击了[自动完成]."));

    grid.SetCustomColors(kHelpBack, kHelpText, kLine, kBack, kText);
}

void CSettingsGrid::ShowPosition(CPropertyGridItem* item, int position)
{
    if (item && position >= 0 && position < item->Constraints().size())
        item->SetValue(item->Constraints().at(position));
}

int CSettingsGrid::ReadPosition(const CPropertyGridItem* item, int fallback)
{
    const int position = item ? item->ConstraintIndex() : -1;
    return position >= 0 ? position : fallback;
}

void CSettingsGrid::SetSerialDeviceSource(CSerialDeviceList::Source source)
{
    m_deviceSource = std::move(source);
    RefreshSerialDevices();
}

void CSettingsGrid::RefreshSerialDevices()
{
    if (!m_pSerialDevice)
        return;
    m_devices = m_deviceSource ? m_deviceSource() : std::vector<SerialDeviceInfo>{};
    QStringList labels;
    for (const SerialDeviceInfo& device : m_devices)
        labels << QString::fromStdString(CSerialDeviceList::Label(device));
    m_pSerialDevice->SetConstraints(labels);
    ShowSerialDevice();
}

std::string CSettingsGrid::IniPath() const
{
    return m_strIniPath.empty() ? IniFilePath(SettingsRecord::kFileName) : m_strIniPath;
}

std::string CSettingsGrid::CableIniPath() const
{
    return std::filesystem::path(IniPath()).replace_filename("Quenby.ini").string();
}

void CSettingsGrid::ShowCrystal()
{
    if (!m_pCrystal)
        return;
    const double mhz = IspSettings::FromIni(CableIniPath()).crystalMHz;
    m_pCrystal->SetValue(QString::fromStdString(IspSettings::CrystalText(mhz)));
}

void CSettingsGrid::OnCrystalTyped(const QString& text)
{
    const double mhz = IspSettings::ParseCrystal(text.trimmed().toStdString());
    // What the item shows afterwards is what the file holds.
    if (mhz > 0)
        IspSettings::StoreCrystal(CableIniPath(), mhz);
    ShowCrystal();
}

void CSettingsGrid::ShowSerialDevice()
{
    if (!m_pSerialDevice)
        return;
    // The port the grid shows, though it takes effect only when saved.
    const int shown = ReadPosition(m_pComPort, -1);
    const int comPort = shown >= 0 ? shown + 1 : m_Settings.comPort;
    QString value;
    QString description = T(kSerialDeviceHint);
    if (comPort >= 1) {
        const std::string path = CSerialPort::ResolveComPortPath(comPort, IniPath());
        // The very name first: a by-id name and the ttyUSB node it leads to
        // are listed both.
        auto found = std::find_if(m_devices.begin(), m_devices.end(),
                                  [&](const auto& d) { return d.path == path; });
        if (found == m_devices.end())
            found = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&](const auto& d) { return SameDevice(d.path, path); });
        std::error_code error;
        if (found != m_devices.end())
            value = QString::fromStdString(CSerialDeviceList::Label(*found));
        else if (std::filesystem::exists(path, error))
            value = QString::fromStdString(path);  // there, though not listed (a pty)
        description += QStringLiteral(" COM%1: ").arg(comPort)
            + (value.isEmpty() ? QString::fromStdString(path) + tr(" (未找到)") : value);
    }
    m_pSerialDevice->SetValue(value);
    m_pSerialDevice->SetDescription(description);
}

void CSettingsGrid::OnSerialDevicePicked(const QString& label)
{
    const auto picked = std::find_if(m_devices.begin(), m_devices.end(), [&](const auto& d) {
        return QString::fromStdString(CSerialDeviceList::Label(d)) == label;
    });
    // Anything else is a typed device path; a name that is no path is
    // turned down.
    const std::string typed = label.trimmed().toStdString();
    const std::string path = picked != m_devices.end() ? picked->path
        : typed.starts_with('/')                        ? typed
                                                        : std::string();
    const int shown = ReadPosition(m_pComPort, -1);
    const int comPort = shown >= 0 ? shown + 1 : m_Settings.comPort;
    const bool stored = !path.empty() && CSerialPort::StoreComPortPath(comPort, path, IniPath());
    // The item shows what the port stands for now, stored or not.
    ShowSerialDevice();
    if (stored)
        emit serialDeviceChosen(comPort);
}

void CSettingsGrid::ShowKind(int progType)
{
    // The serial port's items mean nothing to a cable, the GPIO lines, an
    // FTDI cable or SPI. An unknown type greys nothing.
    const bool serial = progType < kFirstIspKind || progType >= kKindCount;
    for (CPropertyGridItem* item : {m_pComPort, m_pSerialDevice, m_pBaudSel})
        if (item)
            item->SetEnabled(serial);
    // The board clocks the chip itself: the crystal is the ISP kinds' alone.
    if (m_pCrystal)
        m_pCrystal->SetEnabled(progType >= kFirstIspKind && progType < kKindCount);
}

void CSettingsGrid::ShowProgType(int value, const AppendLogFn& appendLog)
{
    m_Settings.progType = value;
    ShowKind(value);
    if (value < 0 || value >= kKindCount)
        return;
    ShowPosition(m_pProgType, value);
    if (value == 0)
        Log(appendLog, kProductLogLine);
}

void CSettingsGrid::ShowComPort(int value)
{
    m_Settings.comPort = value;
    if (value >= 1 && value <= 4)
        ShowPosition(m_pComPort, value - 1);
    ShowSerialDevice();
}

void CSettingsGrid::ShowBaudSel(int value)
{
    m_Settings.baudSel = value;
    if (value == 0 || value == 1)
        ShowPosition(m_pBaudSel, value);
}

void CSettingsGrid::ShowIspSetting(int value)
{
    m_Settings.ispSetting = value;
    if (value == 0)
        ShowPosition(m_pIspSetting, 0);
}

void CSettingsGrid::ShowRunningProgType(int value)
{
    if (value < 0 || value >= kKindCount || !m_pProgType || value == m_Settings.progType)
        return;
    m_nRunningProgType = value;
    ShowPosition(m_pProgType, value);
    ShowKind(value);
    m_pProgType->SetDescription(T(kRunningKindHint));
}

int CSettingsGrid::ReadProgType()
{
    const int shown = ReadPosition(m_pProgType, m_Settings.progType);
    // The kind shown for this run only is not the user's choice.
    if (shown != m_nRunningProgType)
        m_Settings.progType = shown;
    return m_Settings.progType;
}

int CSettingsGrid::ReadComPort()
{
    // An empty item keeps the port number as it is, not "position -1 + 1".
    const int position = ReadPosition(m_pComPort, -1);
    if (position >= 0)
        m_Settings.comPort = position + 1;
    return m_Settings.comPort;
}

int CSettingsGrid::ReadBaudSel()
{
    m_Settings.baudSel = ReadPosition(m_pBaudSel, m_Settings.baudSel);
    return m_Settings.baudSel;
}

int CSettingsGrid::ReadIspSetting()
{
    m_Settings.ispSetting = ReadPosition(m_pIspSetting, m_Settings.ispSetting);
    return m_Settings.ispSetting;
}

bool CSettingsGrid::LoadSettings(const std::string& iniPath, SettingsRecord& settings,
                                 const AppendLogFn& appendLog)
{
    m_strIniPath = iniPath;
    ShowCrystal();
    SettingsRecord stored;
    if (!stored.Load(iniPath)) {
        m_Settings = settings;
        ShowSerialDevice();
        Log(appendLog, kNoRecordLine);
        Log(appendLog, T(kEditionLine).toStdString());
        Log(appendLog, kProductPairLine);
        return false;
    }

    m_Settings = stored;
    ShowProgType(stored.progType, appendLog);
    ShowComPort(stored.comPort);
    ShowBaudSel(stored.baudSel);
    ShowIspSetting(stored.ispSetting);
    if (stored.autoDetect == 0 && m_pAutoDetect)
        m_pAutoDetect->SetValue(CPropertyGridItem::kFalse);
    if (stored.soundOn == 0 && m_pSoundOn)
        m_pSoundOn->SetValue(CPropertyGridItem::kFalse);
    if (stored.hotkeyOn == 0 && m_pHotkeyOn)
        m_pHotkeyOn->SetValue(CPropertyGridItem::kFalse);
    // Hotkey, marks and device index travel in the record to the caller.
    settings = stored;
    Log(appendLog, T(kEditionLine).toStdString());
    Log(appendLog, T(kReleaseLine).toStdString());
    return true;
}

SettingsRecord CSettingsGrid::CollectForSave(const SettingsRecord& current)
{
    SettingsRecord record = current;
    record.progType = ReadProgType();
    record.comPort = ReadComPort();
    record.baudSel = ReadBaudSel();
    record.ispSetting = ReadIspSetting();
    return record;
}

bool CSettingsGrid::SaveSettings(const std::string& iniPath, const SettingsRecord& settings)
{
    return settings.Save(iniPath);
}

void CSettingsGrid::SetHotkey(std::uint8_t key, std::uint8_t mods)
{
    m_Settings.hotkeyKey = key;
    m_Settings.hotkeyMods = mods;
}

QString CSettingsGrid::ShowHotkeyUnavailable()
{
    const QString why = tr("Wayland 会话下程序不能自己注册全局热键, 桌面也没有提供全局快捷键服务 "
                           "(XDG GlobalShortcuts), 所以热键不可用. 请用回车键或[自动完成]按钮.");
    if (m_pHotkeyOn) {
        m_pHotkeyOn->SetEnabled(false);
        m_pHotkeyOn->SetDescription(why);
    }
    return why;
}

void CSettingsGrid::OnGridNotify(int code, CPropertyGridItem* item)
{
    if (code != CPropertyGrid::kNotifyValueChanged || !item)
        return;
    // The text items take effect when saved; these only change what the
    // page shows, or the port the COM number stands for.
    if (item == m_pProgType) {
        // Picked by the user: stored at close, whichever kind runs now.
        if (m_nRunningProgType >= 0) {
            m_nRunningProgType = -1;
            item->SetDescription(T(kProductValue));
        }
        ShowKind(ReadPosition(m_pProgType, m_Settings.progType));
        return;
    }
    if (item == m_pComPort) {
        ShowSerialDevice();
        return;
    }
    if (item == m_pSerialDevice) {
        OnSerialDevicePicked(item->Value());
        return;
    }
    if (item == m_pCrystal) {
        OnCrystalTyped(item->Value());
        return;
    }
    const QString& caption = item->Caption();
    const int on = item->Value() == CPropertyGridItem::kTrue ? 1 : 0;
    // The captions as shown, in the interface's language.
    if (caption == T(kAutoDetect)) {
        m_Settings.autoDetect = on;
    } else if (caption == T(kSoundOn)) {
        m_Settings.soundOn = on;
    } else if (caption == T(kHotkeyOn)) {
        m_Settings.hotkeyOn = on;
    } else {
        return;
    }
    emit switchesChanged(m_Settings.autoDetect, m_Settings.soundOn, m_Settings.hotkeyOn);
    // Turning the hotkey off only records it; turning it on asks for the key.
    if (caption == T(kHotkeyOn) && on && m_onHotkeyOn)
        m_onHotkeyOn();
}
