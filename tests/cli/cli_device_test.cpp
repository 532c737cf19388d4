#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

using Args = std::vector<std::string>;

const std::string kLinkUp = "初始化串口通讯完成.\n编程器:就绪.\n";

// The device commands against the simulated board, its chip kept between
// runs in a state file.
class CliOnSimulatedBoard : public testing::Test {
protected:
    CliRun Run(Args args)
    {
        args.insert(args.begin(), {"--simulate", "--sim-state", m_dir.File("chip.state")});
        return RunTamberlinkCli(args, m_dir.Path().string());
    }

    std::string Image(const std::string& name, const std::string& bytes)
    {
        std::ofstream(m_dir.File(name), std::ios::binary) << bytes;
        return m_dir.File(name);
    }

    // The load line and the image's checksum over the AT89S52's 8 KB.
    std::string LoadLine(const std::string& path, std::size_t bytes, const std::string& sum)
    {
        return "读入文件 " + path + " 到缓冲1(" + std::to_string(bytes) + "字节).\n校验和 " + sum
            + " (缓冲1, 器件 AT89S52)\n";
    }

    CTempDir m_dir;
};

TEST_F(CliOnSimulatedBoard, CheckAndDetect)
{
    CliRun run = Run({"check"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp);
    // A chip of another kind in the socket, so without the state file.
    run = RunTamberlinkCli({"--simulate", "--device", "AT89S51", "detect"}, m_dir.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp + "编程器:检测到器件(特征字:1e 51 06).\n"
                                 "AT89S51 - ROM容量:4K字节. 编程电压:5.00V.\n");
}

TEST_F(CliOnSimulatedBoard, WriteVerifyAndReadBack)
{
    const std::string image = Image("image.bin", std::string("\x02\x00\x30\xFF\x12", 5));
    CliRun run = Run({"write", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp + LoadLine(image, 5, "DC48")
                  + "编程器:写器件开始.\n写入5字节...\n编程器:写器件完成.\n编程器:就绪.\n");

    run = Run({"verify", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp + LoadLine(image, 5, "DC48")
                  + "编程器:读器件开始.\n编程器:读器件完成.\n数据已经保存到缓冲2.\n"
                    "校验和 DC48 (缓冲2, 器件 AT89S52)\n"
                    "---------------效验开始--------------\n"
                    "----------效验成功,数据正确----------\n");

    run = Run({"verify", Image("other.bin", "\x02\x01")});
    EXPECT_EQ(run.exitCode, 1);
    // Without a write in the same run the whole ROM is compared.
    EXPECT_NE(run.out.find("    00001 - 地址:0001  写:01  读:00\n    00002 - 地址:0002  写:FF  读:30\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("共发现    3个单元不对!\n"), std::string::npos);

    const std::string out = m_dir.File("out.bin");
    run = Run({"read", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::ifstream saved(out, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}),
              std::string("\x02\x00\x30\xFF\x12", 5));
    EXPECT_NE(run.out.find("缓冲2保存到文件 " + out + "(5字节).\n"), std::string::npos);
}

TEST_F(CliOnSimulatedBoard, LockedChipRefusesAWrite)
{
    CliRun run = Run({"lock", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp + "编程器:写锁定位完成.\n");
    run = Run({"write", Image("a.bin", std::string(1, '\0'))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("编程器:写器件时发生错误.\n"), std::string::npos) << run.out;
}

// A board that never answers the frame that ends a write: the write stands,
// and the run goes on to its verify.
TEST_F(CliOnSimulatedBoard, UnansweredEndFrameStillVerifies)
{
    const std::string image = Image("image.bin", std::string("\x02\x00\x30\x12", 4));
    const CliRun run =
        Run({"--sim-fault", "no-end-answer", "auto", "--steps", "erase,write,verify", image});
    EXPECT_EQ(run.exitCode, 0) << run.err << run.out;
    const std::string last = "编程器:写器件完成.\n编程器:就绪.\n编程器:读器件开始.\n"
                             "编程器:读器件完成.\n数据已经保存到缓冲2.\n"
                             "校验和 DC48 (缓冲2, 器件 AT89S52)\n"
                             "---------------效验开始--------------\n"
                             "----------效验成功,数据正确----------\n";
    ASSERT_GE(run.out.size(), last.size()) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - last.size()), last);
}

TEST_F(CliOnSimulatedBoard, AutoRunsTheDefaultStepsOrOnlyTheChecks)
{
    const std::string text = ":020000001234B8\n:00000001FF\n";
    const std::string image = Image("image.hex", text);
    CliRun run = Run({"auto", image});
    EXPECT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("编程器:擦除器件完成.\n编程器:写器件开始.\n写入2字节...\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("----------效验成功,数据正确----------\n"), std::string::npos);

    run = Run({"auto", image, "--steps", "", "--detect"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp + LoadLine(image, text.size(), "DE48")
                  + "编程器:就绪.\n编程器:检测到器件(特征字:1e 52 06).\n"
                    "AT89S52 - ROM容量:8K字节. 编程电压:5.00V.\n");
}

// The blank check alone and as a step, and the checksums of the demo image:
// DB52 is its sum over the AT89S52's 8 KB with 0xFF past its 11 bytes, E000
// that of an erased chip.
TEST_F(CliOnSimulatedBoard, BlankCheckAndChecksums)
{
    const std::string blink = TAMBERLINK_SOURCE_DIR "/res/demo/blink.hex";
    const std::string readLines = "编程器:读器件开始.\n编程器:读器件完成.\n数据已经保存到缓冲2.\n";
    CliRun run = Run({"blank"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kLinkUp + readLines + "校验和 E000 (缓冲2, 器件 AT89S52)\n器件是空的.\n");

    run = Run({"auto", blink, "--steps", "erase,blank,write,verify"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("校验和 DB52 (缓冲1, 器件 AT89S52)\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("编程器:擦除器件完成.\n" + readLines
                           + "校验和 E000 (缓冲2, 器件 AT89S52)\n器件是空的.\n编程器:写器件开始.\n"),
              std::string::npos)
        << run.out;

    run = Run({"blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("器件不是空的, 第一个非空字节在 0x0000.\n"), std::string::npos) << run.out;
    run = Run({"read", m_dir.File("out.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("校验和 DB52 (缓冲2, 器件 AT89S52)\n"), std::string::npos) << run.out;
}

// A HEX file that does not convert fails the command before any chip
// operation: the chip stays blank.
TEST_F(CliOnSimulatedBoard, BrokenHexFileTouchesNoChip)
{
    const std::string broken = Image("broken.hex", ":0200000012349E\n");  // no end record
    for (const char* command : {"write", "verify", "auto"}) {
        const CliRun run = Run({command, broken});
        EXPECT_EQ(run.exitCode, 1) << command << run.err;
        EXPECT_EQ(run.out, kLinkUp + "读入文件 " + broken + " 失败.\n") << command;
        EXPECT_NE(run.err.find("未找到"), std::string::npos) << run.err;
    }
    const std::string out = m_dir.File("out.bin");
    const CliRun run = Run({"read", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(std::filesystem::file_size(out), 0u);
}

// The same commands over each simulated parallel-port cable: the same log
// lines but the cable's own start-up line and no serial ready reports.
class CliOnSimulatedCable : public testing::TestWithParam<const char*> {};

TEST_P(CliOnSimulatedCable, WriteThenVerifyKeepsTheChip)
{
    CTempDir dir;
    const std::string image = dir.File("image.bin");
    std::ofstream(image, std::ios::binary) << std::string("\x75\x90\x55\x80\xFE", 5);
    const Args common = {"--programmer", GetParam(), "--simulate", "--sim-state",
                         dir.File("chip.state")};
    auto run = [&](Args more) {
        Args args = common;
        args.insert(args.end(), more.begin(), more.end());
        return RunTamberlinkCli(args, dir.Path().string());
    };
    const std::string loaded =
        "读入文件 " + image + " 到缓冲1(5字节).\n校验和 DDDD (缓冲1, 器件 AT89S52)\n";
    // GPIO lines, the FTDI cable and SPI then say what they are.
    const std::string kind = GetParam();
    const std::string opened = std::string("初始化并口完成.\n")
        + (kind == "4"   ? "GPIO引脚ISP: GPIO chip gpiochip0 已就绪.\n"
           : kind == "5" ? "FTDI下载线ISP: FTDI cable ftdi 已就绪.\n"
           : kind == "6" ? "SPI接口ISP: SPI device /dev/spidev0.0 已就绪.\n"
                         : "");

    CliRun result = run({"auto", image, "--detect"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, opened + loaded
                              + "编程器:就绪.\n编程器:检测到器件(特征字:1e 52 06).\n"
                                "AT89S52 - ROM容量:8K字节. 编程电压:5.00V.\n"
                                "编程器:擦除器件完成.\n编程器:写器件完成.\n"
                                "编程器:读器件完成.\n数据已经保存到缓冲2.\n"
                                "校验和 DDDD (缓冲2, 器件 AT89S52)\n"
                                "---------------效验开始--------------\n"
                                "----------效验成功,数据正确----------\n");

    // A later run finds the programmed chip; a locked one refuses a write.
    result = run({"verify", image});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    result = run({"lock", "1"});
    EXPECT_EQ(result.out, opened + "编程器:写锁定位完成.\n");
    const std::string other = dir.File("other.bin");
    std::ofstream(other, std::ios::binary) << std::string(1, '\0');
    result = run({"write", other});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("编程器:写器件时发生错误.\n"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Cables, CliOnSimulatedCable, testing::Values("1", "2", "3"));
// GPIO lines, the FTDI cable and SPI: the same engine, so the same lines.
INSTANTIATE_TEST_SUITE_P(PinKinds, CliOnSimulatedCable, testing::Values("4", "5", "6"));

class CliOnSimulatedPins : public testing::TestWithParam<const char*> {};

TEST_P(CliOnSimulatedPins, DemoImageVerifies)
{
    CTempDir dir;
    const std::string hex = dir.File("blink.hex");
    std::ofstream(hex) << ":03000000020030CB\n:08003000B2907FFFDFFE80F8B3\n:00000001FF\n";
    const CliRun run =
        RunTamberlinkCli({"--programmer", GetParam(), "--simulate", "auto", hex}, dir.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string last = "----------效验成功,数据正确----------\n";
    ASSERT_GE(run.out.size(), last.size()) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - last.size()), last);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliOnSimulatedPins, testing::Values("4", "5", "6"));

// A programmer that cannot be reached exits 3, with the port named.
TEST(CliPorts, UnopenablePortIsExplained)
{
    CTempDir dir;
    for (const std::string& port : {dir.File("no-such-tty"), std::string("/no/such/tty")}) {
        const CliRun run = RunTamberlinkCli({"--port", port, "detect"}, dir.Path().string());
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.out, "初始化串口通讯失败.\n串口 " + port
                               + ": 没有那个文件或目录 (请检查连线和串口设置)\n");
        EXPECT_NE(run.err.find(port + ": No such file or directory"), std::string::npos) << run.err;
    }
}

// GPIO lines, FTDI cables and SPI devices that are not there: the real libraries answer,
// and stderr names the device and why.
TEST(CliPorts, MissingGpioChipAndFtdiCableAreExplained)
{
    CTempDir dir;
    const struct {
        const char* programmer;
        const char* port;
        const char* logged;
        const char* named;
    } cases[] = {{"4", "tl-no-such-chip", "GPIO tl-no-such-chip: ",
                  "cannot open GPIO chip tl-no-such-chip: tl-no-such-chip: "},
                 {"5", "ftdi:1234:5678", "FTDI ftdi:1234:5678: ",
                  "cannot open FTDI cable ftdi:1234:5678: ftdi:1234:5678"},
                 {"6", "spidev9.9", "SPI /dev/spidev9.9: ",
                  "cannot open SPI device /dev/spidev9.9: /dev/spidev9.9: No such file"}};
    for (const auto& c : cases) {
        const CliRun run = RunTamberlinkCli({"--programmer", c.programmer, "--port", c.port, "check"},
                                            dir.Path().string());
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_EQ(run.out.rfind("初始化并口失败.\n" + std::string(c.logged), 0), 0u) << run.out;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    }
}

// Ports that lead to no board: nothing is written into a file or a FIFO,
// and a line that echoes is found out by the first ready check.
TEST(CliPorts, NoTerminalOrEchoingLineIsUnreachable)
{
    CTempDir dir;
    const std::string file = dir.File("fw.hex");
    const std::string text = ":0200000012349E\n:00000001FF\n";
    std::ofstream(file, std::ios::binary) << text;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& port : {file, fifo}) {
        const CliRun run = RunTamberlinkCli({"--port", port, "check"}, dir.Path().string());
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_EQ(run.out, "初始化串口通讯失败.\n串口 " + port + ": 不是串口设备\n");
        EXPECT_NE(run.err.find(port + ": not a serial device"), std::string::npos) << run.err;
    }
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);

    // TX tied to RX: every byte comes straight back.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const std::string slave = ptsname(master);
    std::thread echo([master] {
        char buffer[256];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            if (::write(master, buffer, std::size_t(n)) != n)
                break;
    });
    const CliRun run = RunTamberlinkCli({"--port", slave, "--timeout", "5", "erase"},
                                        dir.Path().string());
    // The echo ends by itself once the program has closed the line.
    echo.join();
    ::close(master);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_EQ(run.out, "初始化串口通讯完成.\n初始化串口通讯失败.\n串口 " + slave
                           + ": 发出的数据被原样送回 (请检查 TX 是否接到了 RX, "
                             "或调制解调器是否开着回显)\n");
    EXPECT_NE(run.err.find("sends back what it is sent"), std::string::npos) << run.err;
}

TEST(CliPorts, SilentBoardTimesOut)
{
    // A terminal nobody answers on.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    CTempDir dir;
    const std::string slave = ptsname(master);
    const CliRun run = RunTamberlinkCli({"--port", slave, "--timeout", "0.3", "erase"},
                                        dir.Path().string());
    close(master);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "初始化串口通讯完成.\n编程器:操作超时,没有响应.\n串口 " + slave
                           + ": 没有应答 (请检查编程器是否接好、通电并接在这个串口上)\n");
    EXPECT_NE(run.err.find("no answer from the programmer on " + slave),
              std::string::npos)
        << run.err;
}

}  // namespace
