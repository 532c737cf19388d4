#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "app/core/ProgrammerSession.h"
#include "cli/JsonProgress.h"
#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"
#include "tests/support/CliProcess.h"

namespace {

using Lines = std::vector<std::string>;

struct JsonCase {
    const char* name;
    std::vector<int> codes;  // posted one after another, at once
    int pos;                 // where the transfer has got (past the end: the last block)
    Lines lines;
};

class JsonProgressLines : public ::testing::TestWithParam<JsonCase> {};

// Reports that come faster than ten a second are left out, but the first
// and the step's end, however it ends, are always told.
TEST_P(JsonProgressLines, FirstAndLastOfEachStep)
{
    CRecordingView view;
    CStatusQueue queue;
    CRecordingMessageSink messages;
    CProgrammerSession session(view, queue, messages);
    session.Programmer().m_nLength = 100;
    Lines lines;
    CJsonProgress progress([&](const std::string& line) { lines.push_back(line); }, "A");
    session.Programmer().m_nPos = GetParam().pos;
    for (const int code : GetParam().codes)
        progress.OnEvent({StatusEvent::Kind::Status, code}, session);
    EXPECT_EQ(lines, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, JsonProgressLines,
    ::testing::Values(
        JsonCase{"Done", {10, 11, 11, 11, 11, 12, 5}, 112,
                 {R"({"port":"A","step":"write","done":100,"total":100})",
                  R"({"port":"A","step":"write","done":100,"total":100})"}},
        JsonCase{"Failed", {14, 15, 15, 7}, 48,
                 {R"({"port":"A","step":"read","done":48,"total":100})",
                  R"({"port":"A","step":"read","done":48,"total":100})"}},
        JsonCase{"NoTransfer", {9, 11, 5}, 16, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every line on stderr is a progress object; each step's last tells its end.
TEST(JsonProgressCli, SingleCommandsAndGangReportTheirSteps)
{
    CTempDir dir;
    const std::string image = dir.File("image.bin");
    std::ofstream(image, std::ios::binary) << std::string(300, '\x12');
    const std::regex object(
        R"re(\{("port":"[AB]",)?"step":"(write|read|verify)","done":\d+,"total":300\})re");
    const std::pair<std::vector<std::string>, Lines> runs[] = {
        {{"--simulate", "--progress", "json", "auto", image},
         {R"({"step":"write","done":300,"total":300})",
          R"({"step":"verify","done":300,"total":300})"}},
        {{"--simulate", "--progress", "json", "gang", image, "--ports", "A,B"},
         {R"({"port":"A","step":"write","done":300,"total":300})",
          R"({"port":"B","step":"verify","done":300,"total":300})"}},
    };
    for (const auto& [args, ends] : runs) {
        const CliRun run = RunTamberlinkCli(args, dir.Path().string());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);)
            EXPECT_TRUE(std::regex_match(line, object)) << line;
        for (const std::string& end : ends)
            EXPECT_NE(run.err.find(end + "\n"), std::string::npos) << run.err;
    }
}

}  // namespace
