// The gang command's parts called directly: serial numbers, their state
// file, the result log's JSON, the gate between rounds, the options.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include <unistd.h>

#include "cli/CliOptions.h"
#include "cli/ResultLog.h"
#include "cli/RoundGate.h"
#include "cli/SerialAllocator.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SerialNumberFormat, ParsesEveryFormAndRefusesTheRest)
{
    std::string error;
    auto fields = [&](const char* text) {
        const auto format = SerialNumberFormat::Parse(text, error);
        return format ? std::to_string(format->address) + " " + std::to_string(format->start) + " "
                + std::to_string(format->step) + " " + std::to_string(format->bytes)
                + (format->bigEndian ? " be" : " le")
                    : error;
    };
    EXPECT_EQ(fields("0x1FF0:1000"), "8176 1000 1 4 le");
    EXPECT_EQ(fields("16:0x10:3"), "16 16 3 4 le");
    EXPECT_EQ(fields("0:255:1:1"), "0 255 1 1 le");
    EXPECT_EQ(fields("0X20:7:2:2:be"), "32 7 2 2 be");
    EXPECT_EQ(fields("0:18446744073709551615:1:8:le"), "0 18446744073709551615 1 8 le");
    for (const char* bad : {"", "0x1FF0", "0:1:1:4:le:x", "0::1", "0:1:", "0:-1", "0:+1", "0:1:0",
                            "0:1:1:0", "0:1:1:9", "0:256:1:1", "0:65536:1:2", "0:1:1:4:LE",
                            "0x:1", "0x100000000:1", " 0:1", "0:1 "})
        EXPECT_EQ(fields(bad).rfind("--serial", 0), 0u) << bad << ": " << fields(bad);
}

TEST(SerialNumberFormat, EncodesInItsByteOrderAndTouchesNothingElse)
{
    using Bytes = std::vector<std::uint8_t>;
    for (const auto& [text, image] :
         {std::pair{"2:0x05060708", Bytes{0xFF, 0xFF, 0x08, 0x07, 0x06, 0x05, 0xFF}},
          std::pair{"2:0x05060708:1:4:be", Bytes{0xFF, 0xFF, 0x05, 0x06, 0x07, 0x08, 0xFF}},
          std::pair{"2:0x08:1:1", Bytes{0xFF, 0xFF, 0x08, 0xFF, 0xFF, 0xFF, 0xFF}},
          std::pair{"1:0x0708:1:2:be", Bytes{0xFF, 0x07, 0x08, 0xFF, 0xFF, 0xFF, 0xFF}},
          std::pair{"0:0x01020304050607:1:7", Bytes{7, 6, 5, 4, 3, 2, 1}}}) {
        std::string error;
        Bytes written(7, 0xFF);
        SerialNumberFormat::Parse(text, error)->Encode(SerialNumberFormat::Parse(text, error)->start,
                                                     written.data());
        EXPECT_EQ(written, image) << text;
    }
}

SerialNumberFormat Counter(std::uint64_t start, std::uint64_t step, int bytes)
{
    SerialNumberFormat format;
    format.start = start;
    format.step = step;
    format.bytes = bytes;
    return format;
}

// The state file always holds the next number; a new run, or one after a
// kill, takes up where the file says.
TEST(SerialAllocator, StateFileHoldsTheNextNumberBeforeOneIsGiven)
{
    CTempDir dir;
    const std::string state = dir.File("serial.state");
    std::string error;
    {
        CSerialAllocator serials(Counter(1000, 5, 4));
        ASSERT_TRUE(serials.UseStateFile(state, error)) << error;
        EXPECT_EQ(ReadText(state), "1000\n") << "made holding START";
        EXPECT_EQ(serials.Take(error), 1000u);
        EXPECT_EQ(ReadText(state), "1005\n");
        EXPECT_EQ(serials.Take(error), 1005u);
        EXPECT_EQ(ReadText(state), "1010\n");

        CSerialAllocator rival(Counter(1000, 5, 4));
        EXPECT_FALSE(rival.UseStateFile(state, error)) << "one run at a time";
        EXPECT_NE(error.find("in use"), std::string::npos) << error;
        // Nor through a link to it: the lock is the file's, not the name's.
        std::filesystem::create_symlink(state, dir.File("link"));
        EXPECT_FALSE(rival.UseStateFile(dir.File("link"), error)) << "a link shares the lock";
    }
    CSerialAllocator next(Counter(1, 1, 4));
    ASSERT_TRUE(next.UseStateFile(state, error)) << error;
    EXPECT_EQ(next.Take(error), 1010u) << "the file wins over START";
}

// Two names of one file: an update through one would leave the other with
// the old number, so the state file is refused through either name.
TEST(SerialAllocator, StateFileWithTwoNamesIsRefused)
{
    CTempDir dir;
    const std::string state = dir.File("S");
    std::ofstream(state) << "1000\n";
    std::filesystem::create_hard_link(state, dir.File("other"));
    for (const std::string& name : {state, dir.File("other")}) {
        CSerialAllocator serials(Counter(1, 1, 4));
        std::string error;
        EXPECT_FALSE(serials.UseStateFile(name, error)) << name;
        EXPECT_NE(error.find("2 names (hard links)"), std::string::npos) << error;
    }
    EXPECT_EQ(ReadText(state), "1000\n");
    EXPECT_EQ(ReadText(dir.File("other")), "1000\n");
}

TEST(SerialAllocator, EveryNumberOfTheRunMustFitBeforeItStarts)
{
    std::string error;
    const struct {
        std::uint64_t start, step;
        int bytes;
        std::uint64_t count;
        bool fits;
    } cases[] = {
        {254, 1, 1, 2, true},   {254, 1, 1, 3, false}, {0, 128, 1, 2, true},
        {0, 128, 1, 3, false},  {65535, 1, 2, 1, true}, {1, 1, 1, 0, true},
        {UINT64_MAX - 2, 1, 8, 2, true}, {UINT64_MAX - 2, 1, 8, 3, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSerialAllocator(Counter(c.start, c.step, c.bytes)).CanHandOut(c.count, error),
                  c.fits)
            << c.start << " step " << c.step << " x" << c.count;
}

TEST(SerialAllocator, ThreadsNeverGetTheSameNumber)
{
    CTempDir dir;
    CSerialAllocator serials(Counter(7, 3, 4));
    std::string error;
    ASSERT_TRUE(serials.UseStateFile(dir.File("s"), error));
    std::vector<std::uint64_t> taken(60);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 6; ++t)
            threads.emplace_back([&serials, &taken, t] {
                std::string why;
                for (int i = t; i < 60; i += 6)
                    taken[std::size_t(i)] = serials.Take(why).value_or(0);
            });
    }
    const std::set<std::uint64_t> all(taken.begin(), taken.end());
    EXPECT_EQ(all.size(), 60u);
    EXPECT_EQ(*all.begin(), 7u);
    EXPECT_EQ(*all.rbegin(), 7u + 59 * 3);
    EXPECT_EQ(ReadText(dir.File("s")), std::to_string(7 + 60 * 3) + "\n");
}

TEST(ResultLog, JsonStringsEscapeAndStayUtf8)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\""},
        {std::string("\0", 1), "\"\\u0000\""},
        {"编程器:就绪. 😀", "\"编程器:就绪. 😀\""},
        {"\xB1\xE0", "\"\\ufffd\\ufffd\""},                   // GBK bytes, not UTF-8
        {"x\xE4\xB8", "\"x\\ufffd\\ufffd\""},                 // cut short at the end
        {"\xC0\xAF", "\"\\ufffd\\ufffd\""},                   // overlong '/'
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},        // a surrogate
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(JsonString(text), json) << text;
}

TEST(ResultLog, RecordIsOneJsonLine)
{
    ChipRecord record;
    record.time = "2026-01-02T03:04:05+08:00";
    record.port = "/dev/ttyUSB0";
    record.device = "AT89S52";
    record.file = "a b.hex";
    record.sha256 = "ab";
    record.serial = 1002;
    record.checksum = "1A2B";  // no read ran: read_checksum is null
    record.steps = {"erase", "write"};
    record.outcome = "failure";
    record.lastLine = "编程器:写器件时发生错误.";
    record.seconds = 1.23456;
    EXPECT_EQ(ChipRecordJson(record),
              "{\"time\":\"2026-01-02T03:04:05+08:00\",\"port\":\"/dev/ttyUSB0\","
              "\"device\":\"AT89S52\",\"signature\":null,\"file\":\"a b.hex\",\"sha256\":\"ab\","
              "\"serial\":1002,\"checksum\":\"1A2B\",\"read_checksum\":null,"
              "\"steps\":[\"erase\",\"write\"],\"outcome\":\"failure\","
              "\"last_line\":\"编程器:写器件时发生错误.\",\"seconds\":1.235}");
}

TEST(ResultLog, TimesCarryTheLocalOffset)
{
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    for (const auto& [zone, text] :
         {std::pair{"UTC0", "1970-01-02T00:00:00+00:00"},
          std::pair{"CST-8", "1970-01-02T08:00:00+08:00"},
          std::pair{"XYZ+3:30", "1970-01-01T20:30:00-03:30"}}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        EXPECT_EQ(Iso8601LocalTime(86400), text) << zone;
    }
    saved ? ::setenv("TZ", before.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

TEST(ResultLog, LinesFromManyThreadsStayWhole)
{
    CTempDir dir;
    const std::string path = dir.File("log.jsonl");
    std::ofstream(path) << "{\"earlier\":1}\n";
    CResultLog log;
    std::string error;
    ASSERT_TRUE(log.Open(path, error)) << error;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&log, t] {
                ChipRecord record;
                record.port = std::string(3000, char('A' + t));  // longer than a pipe's atom
                std::string why;
                for (int i = 0; i < 25; ++i)
                    EXPECT_TRUE(log.Append(record, why)) << why;
            });
    }
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "{\"earlier\":1}") << "appended, not overwritten";
    int lines = 0;
    for (; std::getline(in, line); ++lines)  // each line one thread's, whole
        EXPECT_EQ(line.find_first_not_of(line[19], 19), 3019u) << line.substr(0, 40);
    EXPECT_EQ(lines, 100);
}

// A pipe (or a terminal, /dev/stderr) takes the lines; there is nothing
// to flush, and that is no failure.
TEST(ResultLog, PipeTakesWholeLines)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    CResultLog log;
    std::string error;
    ASSERT_TRUE(log.Open("/proc/self/fd/" + std::to_string(ends[1]), error)) << error;
    ChipRecord record;
    record.outcome = "success";
    EXPECT_TRUE(log.Append(record, error)) << error;
    char line[512] = {};
    EXPECT_EQ(std::string(line, std::size_t(::read(ends[0], line, sizeof line))),
              ChipRecordJson(record) + "\n");
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(RoundGate, AllArriveThenOneRunsTheStepBetween)
{
    std::atomic<int> between {0}, inRound2 {0};
    // Nobody may start round 2 before the step between has run, once.
    CRoundGate gate(3, [&] { return ++between == 1 && inRound2 == 0; });
    {
        std::vector<std::jthread> stations;
        for (int i = 0; i < 3; ++i)
            stations.emplace_back([&, i] {
                if (i == 2)  // no more rounds: leaves late, the others still go on
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                else if (gate.Arrive())
                    ++inRound2;
                gate.Leave();
            });
    }
    EXPECT_EQ(inRound2, 2);
    CRoundGate stop(1, [] { return false; });
    EXPECT_FALSE(stop.Arrive()) << "the step between said stop";
    EXPECT_FALSE(stop.Arrive());
}

TEST(GangOptions, ReadAndChecked)
{
    using Args = std::vector<std::string>;
    auto parse = [](Args args) {
        args.insert(args.begin(), "--simulate");
        return ParseCliOptions(args);
    };
    const CliParseResult full =
        parse({"gang", "f.hex", "--ports", "A,B:1", "--serial", "0x10:5:2:2:be", "--serial-state",
               "s", "--log", "l", "--rounds", "3", "--steps", "erase,write", "--detect",
               "--sim-fault", "A:fail-block=2", "--sim-fault", "A:garbage", "--sim-fault",
               "B:1:reply-delay=40"});
    ASSERT_EQ(full.error, "");
    const GangOptions& gang = full.options.gang;
    EXPECT_EQ(gang.ports, (Args{"A", "B:1"}));
    EXPECT_EQ(gang.simFaults.at("A").failBlock + gang.simFaults.at("A").garbage, 3);
    EXPECT_EQ(gang.simFaults.at("B:1").replyDelayMs, 40);

    const std::pair<Args, const char*> refused[] = {
        {{"gang", "f.hex"}, "--ports"},
        {{"gang", "f.hex", "--ports", "A,,B"}, "--ports"},
        {{"gang", "f.hex", "--ports", "A,A"}, "twice"},
        {{"gang", "f.hex", "--ports", "A", "--serial-state", "s"}, "needs --serial"},
        {{"gang", "f.hex", "--ports", "A", "--serial", "0:1", "--steps", "erase"}, "write step"},
        {{"gang", "f.hex", "--ports", "A", "--sim-fault", "B:garbage"}, "not in --ports"},
        {{"gang", "f.hex", "--ports", "A", "--sim-fault", "A:fail-block"}, "needs =K"},
        {{"gang", "f.hex", "--ports", "A", "--sim-fault", "A:melt"}, "unknown fault"},
        {{"gang", "f.hex", "--ports", "A", "--wait-chip", "--rounds", "2"}, "taken out"},
        {{"gang", "f.hex", "--ports", "A", "--rounds", "0"}, "--rounds"},
        {{"gang", "f.hex", "--ports", "a/b", "--sim-state", "d"}, "plain name"},
        {{"gang", "f.hex", "--ports", "A", "--programmer", "1"}, "--programmer 0"},
        {{"auto", "f.hex", "--log", "l"}, "gang only"},
        {{"check", "--wait-chip"}, "gang only"},
    };
    for (const auto& [args, error] : refused)
        EXPECT_NE(parse(args).error.find(error), std::string::npos)
            << args.back() << ": " << parse(args).error;
    // Without --simulate: ports as --port takes them, no simulated faults.
    for (const auto& [args, error] :
         {std::pair{Args{"gang", "f", "--ports", "COM1,COM9"}, "COM9"},
          std::pair{Args{"gang", "f", "--ports", "A", "--sim-fault", "A:garbage"}, "--simulate"},
          std::pair{Args{"--port", "COM2", "gang", "f", "--ports", "COM1"}, "not --port"}})
        EXPECT_NE(ParseCliOptions(args).error.find(error), std::string::npos) << error;
}

} // namespace
