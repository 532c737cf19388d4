#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/CliProcess.h"
#include "tests/support/TempDir.h"

namespace {

constexpr uid_t kNobody = 65534;

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the CLI on port, as user nobody when we are root (root opens any
// device whatever its mode). exitCode -2: could not become nobody.
CliRun RunWithoutRights(const std::string& port, const CTempDir& dir)
{
    const std::string outPath = dir.File("out.txt");
    const std::string errPath = dir.File("err.txt");
    const std::string program = TamberlinkCliPath();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(120);
        if (::geteuid() == 0
            && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(121);
        ::execl(program.c_str(), program.c_str(), "--port", port.c_str(), "--timeout", "5", "check",
                static_cast<char*>(nullptr));
        ::_exit(122);
    }
    CliRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    if (run.exitCode == 121)
        run.exitCode = -2;
    run.out = ReadWhole(outPath);
    run.err = ReadWhole(errPath);
    return run;
}

TEST(CliPorts, PortWithoutPermissionNamesTheDialoutGroup)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const std::string slave = ptsname(master);
    // Nobody but root may open it.
    ASSERT_EQ(::chmod(slave.c_str(), 0), 0);

    CTempDir dir;
    const CliRun run = RunWithoutRights(slave, dir);
    ::close(master);
    if (run.exitCode == -2)
        GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "初始化串口通讯失败.\n串口 " + slave + ": 权限不够 (请把用户加入 dialout 组)\n");
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("group dialout"), std::string::npos) << run.err;
}

}  // namespace
