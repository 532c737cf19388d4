// tamberlink-cli gang from outside: several simulated boards at once.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "sim/BoardSimulator.h"
#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using Args = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string kBlinkHex = ":03000000020030CB\n:08003000B2907FFFDFFE80F8B3\n:00000001FF\n";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The raw value of key in a JSON line: a number, null, an array, or a
// string's text.
std::string Field(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "?";
    std::size_t from = at + key.size() + 3;
    if (line[from] == '"')
        return line.substr(from + 1, line.find('"', from + 1) - from - 1);
    if (line[from] == '[')
        return line.substr(from, line.find(']', from) + 1 - from);
    return line.substr(from, line.find_first_of(",}", from) - from);
}

class GangOnSimulatedBoards : public testing::Test {
protected:
    GangOnSimulatedBoards() { std::ofstream(m_image) << kBlinkHex; }

    CliRun Gang(const Args& more)
    {
        Args args = {"--simulate", "--sim-state", m_dir.File("D"), "gang", m_image,
                     "--log", m_log};
        args.insert(args.end(), more.begin(), more.end());
        return RunTamberlinkCli(args, m_dir.Path().string());
    }

    CTempDir m_dir;
    const std::string m_image = m_dir.File("blink.hex");
    const std::string m_log = m_dir.File("L");
    const std::string m_state = m_dir.File("S");
};

// Three boards get three serial numbers; a failing board's number is spent
// all the same and never comes back.
TEST_F(GangOnSimulatedBoards, SerialNumbersAreUniqueAcrossRunsAndFailures)
{
    const Args serial = {"--ports", "A,B,C", "--serial", "0x1FF0:1000", "--serial-state", m_state};
    CliRun run = Gang(serial);
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("[C] ----------效验成功,数据正确----------\n"), std::string::npos);
    EXPECT_NE(run.out.find("port  signature  serial  outcome  seconds\n"), std::string::npos);
    EXPECT_EQ(ReadText(m_state), "1003\n");
    std::vector<std::string> log = Lines(m_log);
    ASSERT_EQ(log.size(), 3u);
    std::set<std::string> ports, serials;
    std::string serialOfA;
    for (const std::string& line : log) {
        EXPECT_EQ(Field(line, "outcome") + " " + Field(line, "last_line") + " "
                      + Field(line, "steps") + " " + Field(line, "sha256"),
                  "success ----------效验成功,数据正确---------- [\"erase\",\"write\",\"verify\"] "
                  "f968e3adbcbbb17832a0b2ad301055644c61e15638f6d59c5f9a9d64008b1acb");
        ports.insert(Field(line, "port"));
        serials.insert(Field(line, "serial"));
        if (Field(line, "port") == "A")
            serialOfA = Field(line, "serial");
    }
    EXPECT_EQ(ports, (std::set<std::string>{"A", "B", "C"}));
    EXPECT_EQ(serials, (std::set<std::string>{"1000", "1001", "1002"}));
    // Each chip's checksum takes its serial in, and its verify read it back.
    std::set<std::string> checksums;
    for (const std::string& line : log) {
        EXPECT_EQ(Field(line, "read_checksum"), Field(line, "checksum")) << line;
        checksums.insert(Field(line, "checksum"));
    }
    EXPECT_EQ(checksums, (std::set<std::string>{"D841", "D842", "D843"}));

    // A's chip, read back on its own: the image and its serial, little-endian.
    const std::string out = m_dir.File("a.bin");
    run = RunTamberlinkCli({"--simulate", "--sim-state", m_dir.File("D/A.state"), "read", out},
                           m_dir.Path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string chip = ReadText(out);
    ASSERT_EQ(chip.size(), 0x1FF4u);
    EXPECT_EQ(chip.substr(0, 3), std::string("\x02\x00\x30", 3));
    EXPECT_EQ(chip.substr(0x30, 8), "\xB2\x90\x7F\xFF\xDF\xFE\x80\xF8");
    const unsigned long number = std::stoul(serialOfA);
    EXPECT_EQ(chip.substr(0x1FF0), std::string({char(number), char(number >> 8), 0, 0}));

    // B's board fails its first block: exit 1, A and C pass and are logged.
    Args faulty = serial;
    faulty.insert(faulty.end(), {"--sim-fault", "B:fail-block=0"});
    run = Gang(faulty);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("[B] 编程器:写器件时发生错误.\n"), std::string::npos) << run.out;
    run = Gang(serial);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    log = Lines(m_log);
    ASSERT_EQ(log.size(), 9u);
    for (std::size_t i = 3; i < 9; ++i) {
        const bool failed = i < 6 && Field(log[i], "port") == "B";
        EXPECT_EQ(Field(log[i], "outcome"), failed ? "failure" : "success") << log[i];
        serials.insert(Field(log[i], "serial"));
    }
    EXPECT_EQ(serials.size(), 9u) << "the failed chip's number is not given again";
    EXPECT_EQ(*serials.rbegin(), "1008");
    EXPECT_EQ(ReadText(m_state), "1009\n");
}

TEST_F(GangOnSimulatedBoards, RoundsGoOnAtOnceWithoutATerminal)
{
    const CliRun run = Gang({"--ports", "A,B", "--rounds", "3", "--detect"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> log = Lines(m_log);
    ASSERT_EQ(log.size(), 6u);
    for (const std::string& line : log) {
        EXPECT_EQ(Field(line, "signature"), "1e 52 06");
        EXPECT_EQ(Field(line, "serial"), "null");
        EXPECT_EQ(Field(line, "steps"), "[\"detect\",\"erase\",\"write\",\"verify\"]");
    }
    int rows = 0;  // in the summary, one per chip
    const std::string row = "1e 52 06   -       success";
    for (std::size_t at = run.out.find(row); at != std::string::npos; at = run.out.find(row, at + 1))
        ++rows;
    EXPECT_EQ(rows, 6) << run.out;
}

// --steps blank: a programmed chip fails at the blank check, before a write.
TEST_F(GangOnSimulatedBoards, BlankStepFailsAProgrammedChip)
{
    const Args blank = {"--ports", "A", "--steps", "blank,write"};
    ASSERT_EQ(Gang(blank).exitCode, 0);
    const CliRun run = Gang(blank);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> log = Lines(m_log);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(Field(log[0], "steps") + " " + Field(log[0], "checksum"),
              "[\"blank\",\"write\"] DB52");
    EXPECT_EQ(Field(log[1], "outcome") + " " + Field(log[1], "last_line") + " "
                  + Field(log[1], "checksum") + " " + Field(log[1], "read_checksum"),
              "failure 器件不是空的, 第一个非空字节在 0x0000. null DB52");
}

// A log that cannot be written fails the run, though every chip passed.
TEST_F(GangOnSimulatedBoards, ResultLogThatCannotBeWrittenFailsTheRun)
{
    const CliRun run = RunTamberlinkCli(
        {"--simulate", "gang", m_image, "--ports", "A,B", "--log", "/dev/full"},
        m_dir.Path().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("[B] cannot append to /dev/full: No space left"), std::string::npos)
        << run.err;
}

// What the run keeps cannot be written (RLIMIT_FSIZE, unprivileged): a state
// file that cannot take the next number skips that chip, unwritten; a result
// log that takes half a line fails the run and loses the half line again.
TEST_F(GangOnSimulatedBoards, FilesThatCannotGrowFailTheChipOrTheRun)
{
    std::ofstream(m_state) << "1000\n";
    CliRun run = RunTamberlinkCliWithFileSizeLimit(
        {"--simulate", "gang", m_image, "--ports", "A", "--serial", "0x100:1", "--serial-state",
         m_state},
        4);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.out.find("[A] cannot update " + m_state + ": File too large"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("[A] 编程器:擦除器件完成.\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("写器件开始"), std::string::npos) << run.out;
    EXPECT_EQ(ReadText(m_state), "1000\n");
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"blink.hex", "S", "S.lock"})) << "no temporary file";

    std::ofstream(m_log) << "{}\n";
    run = RunTamberlinkCliWithFileSizeLimit(
        {"--simulate", "gang", m_image, "--ports", "A", "--log", m_log}, 64);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.out.find("[A] cannot append to " + m_log), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("----------效验成功,数据正确----------"), std::string::npos);
    EXPECT_EQ(ReadText(m_log), "{}\n");
}

// Refused before any board is touched: no chip state, no log, no numbers.
TEST_F(GangOnSimulatedBoards, UsageErrorsTouchNothing)
{
    std::ofstream(m_dir.File("full")) << "255\n";
    std::ofstream(m_dir.File("junk")) << "next\n";
    const Args cases[] = {
        {"--ports", "A", "--serial", "0x1FFE:1"},  // past the AT89S52's 8 KB
        {"--ports", "A", "--device", "AT89S51", "--serial", "0x1000:1:1:1"},
        {"--ports", "A,B", "--serial", "0:250:1:1", "--serial-state", m_dir.File("full")},
        {"--ports", "A", "--serial", "0:1", "--serial-state", m_dir.File("junk")},
        {"--ports", "A", "--serial", "0:1", "--serial-state", m_dir.File("no/such/S")},
    };
    for (const Args& args : cases) {
        const CliRun run = Gang(args);
        EXPECT_EQ(run.exitCode, 2) << args.back() << run.out;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(m_dir.File("D/A.state")));
    }
    EXPECT_EQ(ReadText(m_dir.File("full")), "255\n");
    std::ofstream(m_image) << ":0200000012349E\n";  // no end record
    const CliRun broken = Gang({"--ports", "A"});
    EXPECT_EQ(broken.exitCode, 1) << "no image: no chip is touched";
    EXPECT_EQ(broken.out, "");
}

// Real ports: one that cannot be opened makes the run exit 3, and the
// others are still programmed, whichever place it has in --ports.
TEST(GangPorts, UnreachablePortExitsThreeAndTheOthersStillRun)
{
    CTempDir dir;
    std::ofstream(dir.File("blink.hex")) << kBlinkHex;
    CBoardSimulator board({});
    ASSERT_TRUE(board.Start());
    for (const std::string& ports :
         {board.DevicePath() + ",/no/such/tty", "/no/such/tty," + board.DevicePath()}) {
        std::filesystem::remove(dir.File("L"));
        const CliRun run = RunTamberlinkCli(
            {"gang", dir.File("blink.hex"), "--ports", ports, "--log", dir.File("L")},
            dir.Path().string());
        EXPECT_EQ(run.exitCode, 3) << ports;
        // The same explanation as the single-port commands give, hint included.
        EXPECT_NE(run.err.find("[/no/such/tty] cannot open serial port /no/such/tty: No such file "
                               "or directory (no such port: check --ports or"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.out.find("[/no/such/tty] 初始化串口通讯失败.\n"), std::string::npos);
        const std::vector<std::string> log = Lines(dir.File("L"));
        ASSERT_EQ(log.size(), 2u);
        for (const std::string& line : log)
            EXPECT_EQ(Field(line, "outcome"),
                      Field(line, "port") == board.DevicePath() ? "success" : "unreachable");
    }

    // One board under two names would get two sessions: refused.
    std::filesystem::create_symlink(board.DevicePath(), dir.File("link"));
    const CliRun twice = RunTamberlinkCli(
        {"gang", dir.File("blink.hex"), "--ports", board.DevicePath() + "," + dir.File("link")},
        dir.Path().string());
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_NE(twice.err.find("are the same device"), std::string::npos) << twice.err;
}

// --wait-chip: each port waits until its chip is out and a new one answers.
TEST(GangPorts, WaitChipWaitsForTheSocketToEmptyAndFillAgain)
{
    CTempDir dir;
    std::ofstream(dir.File("blink.hex")) << kBlinkHex;
    std::vector<std::unique_ptr<CBoardSimulator>> boards;
    std::string ports;
    for (const char* socket : {"s1", "s2"}) {
        std::ofstream(dir.File(socket)).put('\n');
        boards.push_back(std::make_unique<CBoardSimulator>(
            CBoardSimulator::Options {.socketPath = dir.File(socket)}));
        ASSERT_TRUE(boards.back()->Start());
        ports += (ports.empty() ? "" : ",") + boards.back()->DevicePath();
    }
    CliRun run;
    std::thread gang([&] {
        run = RunTamberlinkCli({"gang", dir.File("blink.hex"), "--ports", ports, "--rounds", "2",
                                "--wait-chip", "--log", dir.File("L"), "--serial", "0x100:1"},
                               dir.Path().string());
    });
    // Once both first chips are logged, swap them.
    const auto guard = std::chrono::steady_clock::now() + 20s;
    while (Lines(dir.File("L")).size() < 2 && std::chrono::steady_clock::now() < guard)
        std::this_thread::sleep_for(20ms);
    std::filesystem::remove(dir.File("s1"));
    std::filesystem::remove(dir.File("s2"));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Lines(dir.File("L")).size(), 2u) << "no second chip while the sockets are empty";
    std::ofstream(dir.File("s1")).put('\n');
    std::ofstream(dir.File("s2")).put('\n');
    gang.join();

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("waiting for a new chip"), std::string::npos) << run.err;
    const std::vector<std::string> log = Lines(dir.File("L"));
    ASSERT_EQ(log.size(), 4u);
    std::set<std::string> serials;
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(Field(log[i], "outcome"), "success");
        // The detect that found the new chip read its signature.
        EXPECT_EQ(Field(log[i], "signature"), i < 2 ? "null" : "1e 52 06");
        serials.insert(Field(log[i], "serial"));
    }
    EXPECT_EQ(serials, (std::set<std::string>{"1", "2", "3", "4"}));
}

// --detect finds a 4 KB chip where --device (8 KB) had room for the serial:
// that chip is not written and takes no number.
TEST(GangPorts, SerialOutsideTheDetectedDeviceTakesNoNumber)
{
    CTempDir dir;
    std::ofstream(dir.File("blink.hex")) << kBlinkHex;
    CBoardSimulator board({.at89s51 = true});
    ASSERT_TRUE(board.Start());
    const CliRun run = RunTamberlinkCli(
        {"gang", dir.File("blink.hex"), "--ports", board.DevicePath(), "--detect", "--serial",
         "0x1FF0:5", "--serial-state", dir.File("S"), "--log", dir.File("L")},
        dir.Path().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("0x1FF0..0x1FF3 lies outside the AT89S51's 4 KB"), std::string::npos)
        << run.err;
    EXPECT_EQ(board.BlocksWritten(), 0);
    EXPECT_EQ(ReadText(dir.File("S")), "5\n");
    const std::vector<std::string> log = Lines(dir.File("L"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(Field(log[0], "serial") + " " + Field(log[0], "outcome"), "null failure");
}

// --wait-chip on a board that goes away or falls silent after the first
// chip: that port's rounds end, said why, instead of polling for ever.
TEST(GangPorts, WaitChipGivesUpOnAPortThatStopsAnswering)
{
    const std::pair<const char*, std::function<void(CBoardSimulator&)>> losses[] = {
        {"cannot open serial port", [](CBoardSimulator& board) { board.Stop(); }},
        {"no answer from the programmer",
         [](CBoardSimulator& board) { board.SetFaults({.neverAnswer = true}); }},
    };
    for (const auto& [why, lose] : losses) {
        CTempDir dir;
        std::ofstream(dir.File("blink.hex")) << kBlinkHex;
        std::ofstream(dir.File("socket")).put('\n');
        CBoardSimulator board({.linkPath = dir.File("tty"), .socketPath = dir.File("socket")});
        ASSERT_TRUE(board.Start());
        CliRun run;
        std::thread gang([&] {
            run = RunTamberlinkCli({"--timeout", "0.5", "gang", dir.File("blink.hex"), "--ports",
                                    dir.File("tty"), "--rounds", "2", "--wait-chip", "--log",
                                    dir.File("L")},
                                   dir.Path().string());
        });
        const auto guard = std::chrono::steady_clock::now() + 20s;
        while (Lines(dir.File("L")).empty() && std::chrono::steady_clock::now() < guard)
            std::this_thread::sleep_for(20ms);
        lose(board);
        gang.join();
        EXPECT_EQ(run.exitCode, 1) << why;
        EXPECT_NE(run.err.find("] " + std::string(why)), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("] no more chips on this port\n"), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("success"), std::string::npos) << "the first chip in the summary";
        EXPECT_EQ(Lines(dir.File("L")).size(), 1u);
    }
}

// Killed in the middle of a write: the number that chip took is already
// out of the state file, so the next run never gives it again.
TEST(GangPorts, KilledMidWriteNeverGivesTheNumberAgain)
{
    CTempDir dir;
    std::ofstream(dir.File("blink.hex")) << kBlinkHex;
    const std::string state = dir.File("S");
    Args args = {TamberlinkCliPath(), "--simulate", "gang", dir.File("blink.hex"), "--ports", "A",
                 "--serial", "0:7", "--serial-state", state, "--sim-fault", "A:reply-delay=300"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const auto guard = std::chrono::steady_clock::now() + 20s;
    while (ReadText(state) != "8\n" && std::chrono::steady_clock::now() < guard)
        std::this_thread::sleep_for(5ms);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "killed before it ended";

    const CliRun run = RunTamberlinkCli({"--simulate", "gang", dir.File("blink.hex"), "--ports",
                                         "A", "--serial", "0:7", "--serial-state", state},
                                        dir.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\nA     -          8       success"), std::string::npos) << run.out;
}

} // namespace
