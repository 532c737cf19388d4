// A port that does not open is named in the log with the system's reason and
// the fix; the window and the CLI share the session, so both show it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "app/core/PortFailureText.h"
#include "isp/GpioWiring.h"
#include "isp/IspProgrammer.h"
#include "platform/AppGlobals.h"
#include "sim/SimulatedBackends.h"
#include "tests/app/SessionTestKit.h"

namespace {

// The reasons the session tests below do not reach.
TEST(PortFailureLine, NamesThePathTheReasonAndTheFix)
{
    const struct {
        std::string (*describe)(const PortOpenFailure&);
        int error;
        std::string line;
    } cases[] = {
        {SerialPortFailureLine, EACCES, "串口 /dev/x: 权限不够 (请把用户加入 dialout 组)"},
        {SerialPortFailureLine, kErrorNoUart, "串口 /dev/x: 没有串口硬件(UART) (请选择编程器所接的串口)"},
        {SerialPortFailureLine, EIO, "串口 /dev/x: 输入/输出错误"},
        {SerialPortFailureLine, EMLINK, "串口 /dev/x: " + std::string(std::strerror(EMLINK))},
        {SerialPortFailureLine, 0, ""},
        {ParallelPortFailureLine, EACCES, "并口 /dev/x: 权限不够 (请把用户加入 lp 组)"},
        {ParallelPortFailureLine, EBUSY, "并口 /dev/x: 设备或资源忙 (另一个程序或 lp 驱动正在使用并口)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.describe({"/dev/x", c.error}), c.line);
}

// The log of a session started with settings (the real backend unless
// opener is given); its start must fail.
Lines StartFails(const SettingsRecord& settings, const std::string& serialPath,
                 CProgrammerSession::BackendOpener opener = {})
{
    CTempDir dir;
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammerSession session(view, queue, messages);
    session.Programmer().m_strPortPath = serialPath;
    if (opener)
        session.SetBackendOpener(std::move(opener));
    session.Start(settings, dir.File("ChipList.chip"));
    while (auto event = queue.TryPop())
        session.HandleEvent(*event);
    EXPECT_FALSE(session.LastSequenceSucceeded());
    return view.log;
}

TEST(PortFailure, SessionLogsWhichSerialPortFailedAndWhy)
{
    CTempDir dir;
    const std::string missing = dir.File("ttyUSB7");
    EXPECT_EQ(StartFails({}, missing), (Lines{"初始化串口通讯失败.", "串口 " + missing
                                                  + ": 没有那个文件或目录 (请检查连线和串口设置)"}));

    // A terminal another program holds.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const int holder = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(StartFails({}, slave), (Lines{"初始化串口通讯失败.", "串口 " + slave
                                                + ": 设备或资源忙 (另一个程序正在使用该串口)"}));
    ::close(holder);
    ::close(master);
}

TEST(PortFailure, SessionLogsWhichParallelPortFailedAndWhy)
{
    CTempDir dir;
    const std::string oldAppDir = g_strAppDir;
    SetAppDir(dir.Path().string());
    const std::string missing = dir.File("parport7");
    std::ofstream(dir.File("Tamber_Info.ini")) << "[Ports]\r\nLPT1=" << missing << "\r\n";
    SettingsRecord settings;
    settings.progType = 1;
    const Lines log = StartFails(settings, "", [](CProgrammer& programmer, int type, int latch) {
        auto cable = std::make_unique<CIspProgrammer>(programmer.Messages());
        cable->SetDirectIoAllowed(false);  // a test must not reach real ports
        CIspProgrammer* backend = cable.get();
        programmer.SetBackend(type, std::move(cable));
        return backend->Init(&programmer, 888, type, latch);
    });
    g_strAppDir = oldAppDir;
    EXPECT_EQ(log, (Lines{"初始化并口失败.", "并口 " + missing
                              + ": 没有那个文件或目录 (请加载 ppdev 模块: sudo modprobe ppdev)"}));
}

// GPIO lines and FTDI cables report through the parallel port's status; the
// line after it names their kind, the device and the missing permission.
TEST(PortFailure, SessionLogsWhichGpioChipOrFtdiCableFailedAndWhy)
{
    CTempDir dir;
    const std::string oldAppDir = g_strAppDir;
    SetAppDir(dir.Path().string());
    SimIspOptions denied;
    denied.accessDenied = true;
    SimIspOptions busy;
    busy.gpioBusyLines[11] = "spi0";
    const struct {
        int type;
        const SimIspOptions& options;
        std::string line;
    } cases[] = {
        {4, denied,
         GpioWiring::GroupExists("gpio")
             ? "GPIO /dev/gpiochip0: 权限不够 (请安装 60-tamberlink.rules 规则后重新登录, 或把用户加入 gpio 组)"
             : "GPIO /dev/gpiochip0: 权限不够 (请安装 60-tamberlink.rules 规则后重新登录)"},
        {4, busy, "GPIO /dev/gpiochip0: 设备或资源忙 (11 号线已被 \"spi0\" 占用, 请关闭占用它的接口(如 SPI))"},
        {5, denied, "FTDI ftdi (/dev/bus/usb/001/004): 权限不够 (请安装 60-tamberlink.rules 规则后重新插拔线缆)"},
    };
    for (const auto& c : cases) {
        SettingsRecord settings;
        settings.progType = c.type;
        const CBackendTable kinds = SimulatedIspBackends(c.options);
        EXPECT_EQ(StartFails(settings, "",
                             [&kinds](CProgrammer& programmer, int type, int latch) {
                                 return kinds.Open(programmer, type, latch);
                             }),
                  (Lines{"初始化并口失败.", c.line}));
    }
    g_strAppDir = oldAppDir;
}

}  // namespace
