#include "app/core/ProgrammerSession.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "app/core/HardwareBackends.h"
#include "app/core/PortFailureText.h"
#include "app/core/ProgrammerView.h"
#include "formats/ImageFile.h"
#include "isp/FtdiProgrammer.h"
#include "isp/GpioProgrammer.h"
#include "isp/SpiProgrammer.h"
#include "platform/AppGlobals.h"
#include "platform/MessageSink.h"
#include "platform/UiText.h"
#include "programmer/DeviceCatalogue.h"
#include "programmer/SerialPort.h"
#include "programmer/StatusCode.h"

namespace {

constexpr int kBufferSize = CProgrammer::kBufferSize;
// The verify report covers the first 64 KB only.
constexpr int kCompareSize = 0x10000;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats are looked up whole in the interface's language (Tr) and may
// carry a path of any length: the text is as long as it needs to be.
std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(std::size_t(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(std::size_t(length));
    }
    va_end(again);
    return text;
}

// A record's memory in bytes, within the buffers whatever the catalogue says.
int RomBytesOf(const DeviceRecord& device)
{
    return int(std::clamp<std::int64_t>(std::int64_t(device.romSizeKB) * 1024, 0, kBufferSize));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

CProgrammerSession::CProgrammerSession(IProgrammerView& view, IStatusSink& sink,
                                       IMessageSink& messages)
    : m_view(view)
    , m_messages(messages)
    , m_buttons{CCommandButton::ForCommand(kCmdDetect), CCommandButton::ForCommand(kCmdLoadFile),
                CCommandButton::ForCommand(kCmdSaveFile), CCommandButton::ForCommand(kCmdErase),
                CCommandButton::ForCommand(kCmdWrite), CCommandButton::ForCommand(kCmdRead),
                CCommandButton::ForCommand(kCmdVerify), CCommandButton::ForCommand(kCmdLock),
                CCommandButton::ForCommand(kCmdAuto)}
    , m_openBackend([](CProgrammer& programmer, int progType, int ispSetting) {
        return programmer.SelectBackend(progType, ispSetting);
    })
    , m_Programmer(sink, messages)
{
    m_Programmer.SetBackendTable(&HardwareBackends());
}

void CProgrammerSession::SetBackendOpener(BackendOpener opener)
{
    m_openBackend = std::move(opener);
}

void CProgrammerSession::ApplySettings(const SettingsRecord& settings)
{
    m_Settings = settings;
    m_nProgType = settings.progType;
    m_nComPort = settings.comPort;
    m_nBaudSel = settings.baudSel;
    m_nIspSetting = settings.ispSetting;
    m_nAutoDetect = settings.autoDetect;
    m_nSoundOn = settings.soundOn;
    m_nHotkeyOn = settings.hotkeyOn;
    const std::pair<int, int> marks[] = {
        {kCmdLoadFile, settings.autoLoad}, {kCmdErase, settings.autoErase},
        {kCmdWrite, settings.autoWrite},   {kCmdRead, settings.autoRead},
        {kCmdVerify, settings.autoVerify},
    };
    for (const auto& [id, mark] : marks) {
        MutableButton(id).SetMark(mark);
        m_view.ButtonChanged(Button(id));
    }
}

void CProgrammerSession::Start(const SettingsRecord& settings, const std::string& cataloguePath)
{
    m_view.ShowBuffer1(m_Programmer.Buffer1, kBufferSize);
    m_view.ShowBuffer2(m_Programmer.Buffer2, kBufferSize);
    SetLockSelection(0);
    ApplySettings(settings);
    SetCommandsEnabled(1);

    // The catalogue is complete before the port opens: from then on the
    // port's thread may match a signature reply against it at any moment.
    if (cataloguePath.empty())
        m_Programmer.LoadCatalogue();
    else
        m_Programmer.LoadCatalogue(cataloguePath);

    OpenBackend();

    ShowDeviceList();
    SetDeviceSelection(
        FindStoredDevice(m_Programmer.Devices(), settings.deviceIndex, m_strStoredDeviceName));
}

void CProgrammerSession::ShowDeviceList()
{
    std::vector<std::string> names;
    for (const DeviceRecord& record : m_Programmer.Devices())
        names.push_back(record.name);
    m_view.SetDeviceList(names);
}

void CProgrammerSession::OpenBackend()
{
    m_Programmer.m_nComPort = m_nComPort;
    m_Programmer.m_nBaudSel = m_nBaudSel;
    // Success and failure arrive as status events; the result is not needed.
    if (m_openBackend)
        m_openBackend(m_Programmer, m_nProgType, m_nIspSetting);
}

void CProgrammerSession::ReopenSerialPort(int comPort)
{
    if (m_nProgType != 0)
        return;
    m_nComPort = comPort;
    // The device chosen for the COM port replaces a path given at start.
    m_Programmer.m_strPortPath.clear();
    m_bReopenPending = true;
    ReopenWhenIdle();
}

void CProgrammerSession::ReopenWhenIdle()
{
    // A new port in the middle of a step would leave the chip half done.
    if (!m_bReopenPending || m_bStepOutstanding)
        return;
    m_bReopenPending = false;
    OpenBackend();
}

void CProgrammerSession::HandleEvent(const StatusEvent& event)
{
    if (event.kind == StatusEvent::Kind::SelectDevice)
        SetDeviceSelection(event.value);
    else
        OnProgStatus(event.value);
    ReopenWhenIdle();
    ReloadCatalogueWhenIdle();
}

void CProgrammerSession::OnProgStatus(int code)
{
    // A code that carries an outcome answers the outstanding step.
    auto outcome = [this](int success, int prompt) {
        m_bStepOutstanding = false;
        // The backend's own reason, right after the status line.
        if (!success)
            if (IDeviceBackend* backend = m_Programmer.Backend())
                if (const std::string note = backend->TakeFailureNote(); !note.empty())
                    AppendLog(note);
        AdvanceSequence(success, prompt);
    };

    switch (code) {
    case kStatusSerialFailed:
        AppendLog(Tr("初始化串口通讯失败."));
        LogPortFailure(SerialPortFailureLine);
        outcome(0, 1);
        break;
    case kStatusParallelFailed:
        AppendLog(Tr("初始化并口失败."));
        LogPortFailure(ParallelPortFailureLine);
        outcome(0, 1);
        break;
    case kStatusSerialOpened:
        AppendLog(Tr("初始化串口通讯完成."));
        StartOperation([](CProgrammer& p, int device) { p.CheckReady(device); });
        break;
    case kStatusSerialNotOpen:
        AppendLog(Tr("未初始化串口."));
        outcome(0, 1);
        break;
    case kStatusParallelReady:
        AppendLog(Tr("初始化并口完成."));
        LogIspLines();
        break;
    case kStatusReady:
        AppendLog(Tr("编程器:就绪."));
        outcome(1, 0);
        break;
    case kStatusUnavailable:
        AppendLog(Tr("编程器:不可用."));
        outcome(0, 1);
        break;
    case kStatusReceiveError:
        AppendLog(Tr("接收数据时发生错误."));
        outcome(0, 1);
        break;
    case kStatusUnused8:
        // Nothing sends it; it neither logs nor ends anything.
        break;
    case kStatusEraseDone:
        AppendLog(Tr("编程器:擦除器件完成."));
        outcome(1, 1);
        break;
    case kStatusWriteStart: {
        AppendLog(Tr("编程器:写器件开始."));
        const int length = m_Programmer.TrimLength(m_Programmer.Buffer1, kBufferSize);
        AppendLog(Format(Tr("写入%d字节..."), length));
        break;
    }
    case kStatusWriteProgress:
        ShowProgressText("正在写:%04X/%04X");
        break;
    case kStatusWriteDone:
        AppendLog(Tr("编程器:写器件完成."));
        m_view.SetProgressPos(100);
        m_view.SetProgressText(Tr("写器件完成"));
        m_view.InvalidateProgress();
        ++m_nWriteCount;
        if (m_nProgType == 0) {
            // The serial board answers the write's end frame with a ready
            // report; a following read must wait for it.
            if (m_bStepRead || m_bStepVerify)
                break;
            outcome(1, 1);
            m_bStepOutstanding = true;
            break;
        }
        outcome(1, 1);
        break;
    case kStatusWriteError:
        AppendLog(Tr("编程器:写器件时发生错误."));
        outcome(0, 1);
        break;
    case kStatusReadStart:
        AppendLog(Tr("编程器:读器件开始."));
        break;
    case kStatusReadProgress:
        ShowProgressText("正在读:%04X/%04X");
        break;
    case kStatusReadDone:
        AppendLog(Tr("编程器:读器件完成."));
        m_view.SetProgressPos(100);
        m_view.SetProgressText(Tr("读器件完成"));
        m_view.InvalidateProgress();
        m_view.ShowBuffer2(m_Programmer.Buffer2, kBufferSize);
        AppendLog(Tr("数据已经保存到缓冲2."));
        m_oReadChecksum = LogChecksum(m_Programmer.Buffer2, "校验和 %04X (缓冲2, 器件 %s)");
        if (m_bBlankAfterRead)
            outcome(BlankCheck(), 1);
        else if (m_bCompareAfterRead)
            outcome(CompareBuffers(), 1);
        else
            outcome(1, 1);
        break;
    case kStatusLockDone:
        AppendLog(Tr("编程器:写锁定位完成."));
        outcome(1, 1);
        break;
    case kStatusInvalidOperation:
        AppendLog(Tr("编程器:无效的操作."));
        outcome(0, 1);
        break;
    case kStatusDeviceDetected:
        LogSignature("编程器:检测到器件(特征字:%02x %02x %02x).");
        LogDetectedDevice();
        outcome(1, 1);
        break;
    case kStatusNoDevice:
        LogSignature("编程器:没检测到器件(特征字:%02x %02x %02x).");
        outcome(0, 1);
        break;
    default:
        // Unknown codes end the sequence as a failure, without a line.
        outcome(0, 1);
        break;
    }
}

void CProgrammerSession::LogPortFailure(std::string (*describe)(const PortOpenFailure&))
{
    const IDeviceBackend* backend = m_Programmer.Backend();
    const std::string line = backend ? describe(backend->OpenFailure()) : std::string();
    if (!line.empty())
        AppendLog(line);
}

void CProgrammerSession::LogIspLines()
{
    // GPIO lines, FTDI cables and SPI report through the parallel port's status;
    // the line after it says what is really there.
    IDeviceBackend* backend = m_Programmer.Backend();
    const char* format = nullptr;
    if (dynamic_cast<CGpioProgrammer*>(backend))
        format = "GPIO引脚ISP: %s 已就绪.";
    else if (dynamic_cast<CFtdiProgrammer*>(backend))
        format = "FTDI下载线ISP: %s 已就绪.";
    else if (dynamic_cast<CSpiProgrammer*>(backend))
        format = "SPI接口ISP: %s 已就绪.";
    if (format)
        AppendLog(Format(Tr(format), static_cast<CIspEngine*>(backend)->LinesName().c_str()));
}

void CProgrammerSession::LogUnansweredPort()
{
    // Which board kept silent: the port a wrong setting or a loose cable
    // would show up on.
    if (auto* port = dynamic_cast<CSerialPort*>(m_Programmer.Backend()))
        AppendLog(NoAnswerLine(port->LastOpenPath()));
}

void CProgrammerSession::ShowProgressText(const char* format)
{
    // Whatever the worker has reached by now, not when it posted.
    const int pos = m_Programmer.m_nPos;
    const int length = m_Programmer.m_nLength;
    m_view.ShowProgress();
    // Unsigned: a position of 0 shows as FFFFFFFF.
    m_view.SetProgressText(Format(Tr(format), unsigned(pos) - 1u, unsigned(length) - 1u));
    const std::int64_t last = std::int64_t(length) - 1;
    // A one-byte transfer has no span to divide by; its only progress event
    // comes once the byte is through, so it shows full.
    std::int64_t percent = 100;
    if (last != 0)
        percent = std::int64_t(pos) * 100 / last;
    m_view.SetProgressPos(int(std::clamp<std::int64_t>(percent, INT32_MIN, INT32_MAX)));
}

void CProgrammerSession::LogSignature(const char* format)
{
    const auto signature = m_Programmer.Signature();
    AppendLog(Format(Tr(format), signature[0], signature[1], signature[2]));
}

void CProgrammerSession::LogDetectedDevice()
{
    const DeviceRecord* device = m_Programmer.CurrentDevice();
    if (!device)
        return;  // a match always has a record; an empty catalogue has none
    // Two decimals with a '.', whatever locale a window toolkit has set.
    char volts[64];
    const auto result = std::to_chars(volts, volts + sizeof volts, device->programVoltage,
                                      std::chars_format::fixed, 2);
    const std::string voltage =
        result.ec == std::errc() ? std::string(volts, result.ptr) : std::string("?");
    AppendLog(Format(Tr("%s - ROM容量:%dK字节. 编程电压:%sV."), device->name.c_str(),
                     device->romSizeKB, voltage.c_str()));
}

const DeviceRecord* CProgrammerSession::SelectedRecord() const
{
    const std::vector<DeviceRecord>& devices = m_Programmer.Devices();
    const std::size_t index = std::size_t(std::max(m_nDeviceSel, 0));
    return index < devices.size() ? &devices[index] : nullptr;
}

std::optional<std::uint16_t> CProgrammerSession::LogChecksum(const std::uint8_t* buffer,
                                                             const char* format)
{
    const DeviceRecord* device = SelectedRecord();
    if (!device)
        return std::nullopt;
    const std::uint16_t sum = CProgrammer::Checksum(buffer, RomBytesOf(*device));
    AppendLog(Format(Tr(format), unsigned(sum), device->name.c_str()));
    return sum;
}

void CProgrammerSession::ForgetChecksums()
{
    m_oWrittenChecksum.reset();
    m_oReadChecksum.reset();
}

void CProgrammerSession::AppendLog(std::string text)
{
    if (m_nCurPage != kPageStatus)
        SelectPage(kPageStatus);
    m_view.InsertLogLine(m_nLogLines, text, true);
    ++m_nLogLines;
}

void CProgrammerSession::SelectPage(int page)
{
    m_nCurPage = page;
    m_view.ShowPage(page);
}

void CProgrammerSession::SetCommandsEnabled(int flag)
{
    for (CCommandButton& button : m_buttons)
        button.SetBusy(0);
    if (flag == 1) {
        m_bStepCheck = m_bStepReload = m_bStepDetect = m_bStepErase = 0;
        m_bStepWrite = m_bStepRead = m_bStepVerify = m_bStepBlank = 0;
        m_bAutoUnmarked = false;
        for (CCommandButton& button : m_buttons)
            button.SetAccepting(1);
        m_bCombosEnabled = true;
    } else {
        for (CCommandButton& button : m_buttons)
            button.SetAccepting(0);
        m_bCombosEnabled = false;
    }
    for (const CCommandButton& button : m_buttons)
        m_view.ButtonChanged(button);
    m_view.EnableCombos(m_bCombosEnabled);
}

void CProgrammerSession::AdvanceSequence(int success, int prompt)
{
    if (!success) {
        if (prompt)
            PromptFailure();
        SetCommandsEnabled(1);
        EndSequence(false);
        return;
    }
    // A failed load left Buffer1 holding the file before it: that is not
    // what the user means to program. A reload still to come decides anew.
    if (m_bStepWrite && !m_bStepReload && !m_strFailedLoad.empty()) {
        AppendLog(Format(Tr("文件 %s 没有装入, 缓冲1仍是以前的内容: 不写器件."),
                         m_strFailedLoad.c_str()));
        AdvanceSequence(0, 1);
        return;
    }
    // Each flag is cleared before its step starts, so that an outcome that
    // might come back at once never finds the step still pending.
    if (m_bStepReload) {
        m_bStepReload = 0;
        LoadImageFile();
        return;
    }
    if (m_bStepCheck) {
        m_bStepCheck = 0;
        StartOperation([](CProgrammer& p, int device) { p.CheckReady(device); });
        return;
    }
    if (m_bStepDetect) {
        m_bStepDetect = 0;
        StartOperation([](CProgrammer& p, int device) { p.DetectDevice(device); });
        return;
    }
    if (m_bStepErase) {
        m_bStepErase = 0;
        SetCommandsEnabled(0);
        SetBusy(kCmdErase, 1);
        StartOperation([](CProgrammer& p, int device) { p.EraseDevice(device); }, true);
        return;
    }
    if (m_bStepBlank) {
        m_bStepBlank = 0;
        StartRead(kCmdRead, ReadEnd::BlankCheck, 0);  // all of the device
        return;
    }
    if (m_bStepWrite) {
        m_bStepWrite = 0;
        SetCommandsEnabled(0);
        SetBusy(kCmdWrite, 1);
        if (m_onWriteStart && !m_onWriteStart()) {
            AdvanceSequence(0, 1);
            return;
        }
        if (const DeviceRecord* device = SelectedRecord())
            m_oWrittenChecksum =
                CProgrammer::Checksum(m_Programmer.Buffer1, RomBytesOf(*device));
        StartOperation([](CProgrammer& p, int device) { p.WriteDevice(device); }, true);
        return;
    }
    if (m_bStepRead) {
        m_bStepRead = 0;
        StartRead(kCmdRead, ReadEnd::Keep, 0);
        return;
    }
    if (m_bStepVerify) {
        m_bStepVerify = 0;
        // After a write, read back only what the write transferred.
        StartRead(kCmdVerify, ReadEnd::Compare, m_nWriteCount != 0 ? 1 : 0);
        return;
    }
    const bool unmarked = m_bAutoUnmarked;
    SetCommandsEnabled(1);
    if (unmarked)
        AppendLog(Tr("自动完成: 没有标记的步骤 (右键单击按钮把它标记为\"(自动)\")."));
    if (prompt)
        PromptSuccess();
    EndSequence(true);
}

void CProgrammerSession::StartRead(int id, ReadEnd end, int keepLength)
{
    SetCommandsEnabled(0);
    SetBusy(id, 1);
    m_bCompareAfterRead = end == ReadEnd::Compare ? 1 : 0;
    m_bBlankAfterRead = end == ReadEnd::BlankCheck ? 1 : 0;
    m_Programmer.m_bKeepLength = keepLength;
    StartOperation([](CProgrammer& p, int device) { p.ReadDevice(device); }, true);
}

void CProgrammerSession::StartOperation(const std::function<void(CProgrammer&, int)>& operation,
                                        bool deviceStep)
{
    m_bStepOutstanding = true;
    m_bDeviceStep = deviceStep;
    operation(m_Programmer, m_nDeviceSel);
}

void CProgrammerSession::EndSequence(bool success)
{
    ++m_nSequenceEnds;
    m_bLastSucceeded = success;
    if (m_onSequenceEnd)
        m_onSequenceEnd(success);
}

void CProgrammerSession::SetSequenceEndHandler(SequenceEndHandler handler)
{
    m_onSequenceEnd = std::move(handler);
}

void CProgrammerSession::SetWriteStartHandler(WriteStartHandler handler)
{
    m_onWriteStart = std::move(handler);
}

void CProgrammerSession::OnStepTimeout()
{
    m_bStepOutstanding = false;
    AppendLog(Tr("编程器:操作超时,没有响应."));
    LogUnansweredPort();
    AdvanceSequence(0, 1);
    ReopenWhenIdle();
    ReloadCatalogueWhenIdle();
}

void CProgrammerSession::RunSingleStep(int id, int& step)
{
    if (!Button(id).IsAccepting())
        return;
    SetCommandsEnabled(1);  // drops whatever was pending
    ForgetChecksums();
    step = 1;
    AdvanceSequence(1, 1);
}

void CProgrammerSession::OnDetect()
{
    RunSingleStep(kCmdDetect, m_bStepDetect);
}

void CProgrammerSession::OnErase()
{
    RunSingleStep(kCmdErase, m_bStepErase);
}

void CProgrammerSession::OnWrite()
{
    RunSingleStep(kCmdWrite, m_bStepWrite);
}

void CProgrammerSession::OnRead()
{
    RunSingleStep(kCmdRead, m_bStepRead);
}

void CProgrammerSession::OnVerify()
{
    RunSingleStep(kCmdVerify, m_bStepVerify);
}

void CProgrammerSession::OnCheck()
{
    RunSingleStep(kCmdDetect, m_bStepCheck);
}

void CProgrammerSession::OnBlankCheck()
{
    RunSingleStep(kCmdRead, m_bStepBlank);
}

void CProgrammerSession::OnAuto()
{
    if (!Button(kCmdAuto).IsAccepting())
        return;
    SetCommandsEnabled(1);
    ForgetChecksums();
    m_view.ClearLog();
    m_nLogLines = 0;
    m_bStepReload = Button(kCmdLoadFile).IsMarked() ? 1 : 0;
    m_bStepDetect = m_nAutoDetect ? 1 : 0;
    m_bStepErase = Button(kCmdErase).IsMarked() ? 1 : 0;
    m_bStepWrite = Button(kCmdWrite).IsMarked() ? 1 : 0;
    m_bStepCheck = 1;
    m_bStepRead = Button(kCmdRead).IsMarked() ? 1 : 0;
    m_bStepVerify = Button(kCmdVerify).IsMarked() ? 1 : 0;
    m_bStepBlank = m_bBlankInAuto ? 1 : 0;
    m_bAutoUnmarked = m_bReportUnmarkedAuto
        && !(m_bStepReload || m_bStepErase || m_bStepBlank || m_bStepWrite || m_bStepRead
             || m_bStepVerify);
    AdvanceSequence(1, 1);
}

void CProgrammerSession::OnLock()
{
    if (!Button(kCmdLock).IsAccepting())
        return;
    // No step flag: the commands stay enabled, the outcome ends it.
    const int level = m_nLockSel + 1;
    StartOperation([level](CProgrammer& p, int device) { p.LockDevice(device, level); }, true);
}

void CProgrammerSession::OnToggleMark(int id)
{
    if (MutableButton(id).ToggleMark())
        m_view.ButtonChanged(Button(id));
}

void CProgrammerSession::OnLoadFile()
{
    if (!Button(kCmdLoadFile).IsAccepting())
        return;
    const std::optional<std::string> path = m_view.ChooseOpenFile();
    if (!path)
        return;
    SetFilePath(*path);
    LoadImageFile();
}

void CProgrammerSession::SetFilePath(const std::string& path)
{
    m_strFilePath = path;
    m_strFileExt = UpperExtension(path);
}

int CProgrammerSession::LoadImageFile()
{
    if (m_strFilePath.empty()) {
        AppendLog(Tr("请先打开文件."));
        AdvanceSequence(0, 1);
        return 0;
    }
    const ImageLoad load =
        LoadImageToBuffer(m_strFilePath, m_strFileExt, m_Programmer.Buffer1, m_messages);
    m_strLoadedSha256 = load.sha256;
    if (load.outcome != ImageLoad::Outcome::Loaded)
        m_strFailedLoad = m_strFilePath;
    if (load.outcome == ImageLoad::Outcome::Unreadable) {
        AppendLog(Tr("打开文件失败."));
        AdvanceSequence(0, 1);
        return 0;
    }
    if (load.outcome == ImageLoad::Outcome::ConversionFailed) {
        // Buffer1 is as it was; a run must stop before it erases the chip.
        AppendLog(Format(Tr("读入文件 %s 失败."), m_strFilePath.c_str()));
        AdvanceSequence(0, 1);
        return 0;
    }
    m_strFailedLoad.clear();
    m_view.ShowBuffer1(m_Programmer.Buffer1, kBufferSize);
    AppendLog(Format(Tr("读入文件 %s 到缓冲1(%ld字节)."), m_strFilePath.c_str(), load.count));
    LogChecksum(m_Programmer.Buffer1, "校验和 %04X (缓冲1, 器件 %s)");
    LogImageBeyondDevice();
    AdvanceSequence(1, 0);
    return 1;
}

void CProgrammerSession::LogImageBeyondDevice()
{
    const std::vector<DeviceRecord>& devices = m_Programmer.Devices();
    if (m_nDeviceSel < 0 || std::size_t(m_nDeviceSel) >= devices.size())
        return;
    const DeviceRecord& device = devices[std::size_t(m_nDeviceSel)];
    const std::uint8_t* image = m_Programmer.Buffer1;
    // The image's own end, whatever the device: trailing 0xFF is never written.
    const std::uint8_t* last = std::find_if(std::make_reverse_iterator(image + kBufferSize),
                                            std::make_reverse_iterator(image),
                                            [](std::uint8_t byte) { return byte != 0xFF; })
                                   .base();
    const int length = int(last - image);
    const int rom = int(std::clamp<std::int64_t>(std::int64_t(device.romSizeKB) * 1024, 0,
                                                 kBufferSize));
    // A write stops at the end of the device's ROM without a word of its own.
    if (length > rom)
        AppendLog(Format(Tr("映像长%d字节, 器件 %s 只装得下前%d字节."), length,
                         device.name.c_str(), rom));
}

void CProgrammerSession::ReportSaveFailure(const std::string& path, int error)
{
    AppendLog(Format(Tr("保存文件 %s 失败: %s."), path.c_str(), ErrorText(error).c_str()));
    AdvanceSequence(0, 1);
    errno = error;  // the caller may name the reason too
}

bool CProgrammerSession::OnSaveFile()
{
    if (!Button(kCmdSaveFile).IsAccepting())
        return false;
    const std::optional<std::string> path = m_view.ChooseSaveFile();
    if (!path)
        return false;
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path->c_str(), "wb"));
    if (!file) {
        ReportSaveFailure(*path, errno ? errno : EIO);
        return false;
    }

    // The user may have edited the Buffer2 view.
    m_view.TakeBuffer2(m_Programmer.Buffer2, kBufferSize);
    const int length = m_Programmer.TrimLength(m_Programmer.Buffer2, kBufferSize);
    // A name ending in .hex or .ihx gets the same bytes as Intel HEX text.
    const std::string contents = ImageFileContents(SaveFormatFor(UpperExtension(*path)),
                                                   m_Programmer.Buffer2, std::size_t(length));
    errno = 0;
    bool written =
        std::fwrite(contents.data(), 1, contents.size(), file.get()) == contents.size();
    written = std::fflush(file.get()) == 0 && written;
    const int error = errno;
    written = std::fclose(file.release()) == 0 && written;
    if (!written) {
        // A short write must not be logged as a saved file.
        ReportSaveFailure(*path, error ? error : EIO);
        return false;
    }
    AppendLog(Format(Tr("缓冲2保存到文件 %s(%d字节)."), path->c_str(), length));
    return true;
}

int CProgrammerSession::CompareBuffers()
{
    AppendLog(Tr("---------------效验开始--------------"));
    // Looked up once: a report may have 65536 lines.
    const char* const mismatch = Tr("    %05d - 地址:%04X  写:%02X  读:%02X");
    const std::uint8_t* written = m_Programmer.Buffer1;
    const std::uint8_t* read = m_Programmer.Buffer2;
    int count = 0;
    for (int address = 0; address < kCompareSize; ++address) {
        if (written[address] == read[address])
            continue;
        ++count;
        // Inserted without selecting: the report scrolls only with the
        // closing lines.
        m_view.InsertLogLine(m_nLogLines,
                             Format(mismatch, count, address, written[address], read[address]),
                             false);
        ++m_nLogLines;
    }
    if (count == 0) {
        AppendLog(Tr("----------效验成功,数据正确----------"));
        return 1;
    }
    AppendLog(Format(Tr("共发现%5d个单元不对!"), count));
    AppendLog(Tr("---------效验结束，数据有误----------"));
    m_bCompareAfterRead = 0;
    return 0;
}

int CProgrammerSession::BlankCheck()
{
    m_bBlankAfterRead = 0;
    const DeviceRecord* device = SelectedRecord();
    const int first =
        CProgrammer::FirstNonBlank(m_Programmer.Buffer2, device ? RomBytesOf(*device) : 0);
    if (first < 0) {
        AppendLog(Tr("器件是空的."));
        return 1;
    }
    AppendLog(Format(Tr("器件不是空的, 第一个非空字节在 0x%04X."), unsigned(first)));
    return 0;
}

void CProgrammerSession::PromptSuccess()
{
    if (m_nSoundOn)
        m_view.PlaySound(g_bWinMajor4 ? PromptSound::SystemDefault : PromptSound::SuccessTones);
}

void CProgrammerSession::PromptFailure()
{
    if (m_nSoundOn)
        m_view.PlaySound(g_bWinMajor4 ? PromptSound::SystemExclamation : PromptSound::FailureTone);
    m_view.FlashWindow();
}

void CProgrammerSession::SetDeviceSelection(int index)
{
    const int count = int(m_Programmer.Devices().size());
    m_nDeviceSel = index >= 0 && index < count ? index : -1;
    m_view.SetDeviceSelection(m_nDeviceSel);
}

void CProgrammerSession::SetLockSelection(int index)
{
    m_nLockSel = index >= 0 && index < 3 ? index : -1;
    m_view.SetLockSelection(m_nLockSel);
}

const CCommandButton& CProgrammerSession::Button(int id) const
{
    for (const CCommandButton& button : m_buttons)
        if (button.Id() == id)
            return button;
    return m_buttons.front();
}

CCommandButton& CProgrammerSession::MutableButton(int id)
{
    return const_cast<CCommandButton&>(std::as_const(*this).Button(id));
}

void CProgrammerSession::SetBusy(int id, int value)
{
    MutableButton(id).SetBusy(value);
    m_view.ButtonChanged(Button(id));
}

std::array<int, 7> CProgrammerSession::PendingSteps() const
{
    return {m_bStepCheck, m_bStepReload, m_bStepDetect, m_bStepErase,
            m_bStepWrite, m_bStepRead,  m_bStepVerify};
}

std::string CProgrammerSession::DeviceSelectionName() const
{
    const std::vector<DeviceRecord>& devices = m_Programmer.Devices();
    return m_nDeviceSel >= 0 && std::size_t(m_nDeviceSel) < devices.size()
        ? devices[std::size_t(m_nDeviceSel)].name
        : std::string();
}

void CProgrammerSession::ReloadCatalogue(const std::string& path)
{
    m_strReloadPath = path;
    ReloadCatalogueWhenIdle();
}

void CProgrammerSession::ReloadCatalogueWhenIdle()
{
    // A running step keeps the device it was started with.
    if (m_strReloadPath.empty() || m_bStepOutstanding)
        return;
    const std::string path = std::exchange(m_strReloadPath, std::string());
    // Half a save, or a file gone for a moment, is no new catalogue.
    std::optional<std::vector<DeviceRecord>> devices = ReadCatalogueFile(path);
    if (!devices || *devices == m_Programmer.Devices())
        return;
    const int chosen = m_nDeviceSel;
    const std::string name = DeviceSelectionName();
    const int index = FindStoredDevice(*devices, chosen, name);
    const bool gone = !name.empty()
        && (index < 0 || std::size_t(index) >= devices->size()
            || (*devices)[std::size_t(index)].name != name);
    const std::size_t count = devices->size();
    m_Programmer.SetCatalogue(std::move(*devices));
    ShowDeviceList();
    SetDeviceSelection(index);
    AppendLog(Format(Tr("器件库已更新: %s (%d个器件)."), path.c_str(), int(count)));
    if (gone)
        AppendLog(Format(Tr("原来选中的器件 %s 已不在器件库中."), name.c_str()));
}
