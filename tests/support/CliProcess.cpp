#include "tests/support/CliProcess.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/Argv.h"

extern char** environ;

namespace {

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string TamberlinkCliPath()
{
    const char* dir = std::getenv("TAMBERLINK_BIN_DIR");
    return std::string(dir ? dir : ".") + "/tamberlink-cli";
}

CliRun RunTamberlinkCli(const std::vector<std::string>& args, const std::string& scratchDir)
{
    return RunBuiltProgram("tamberlink-cli", args, scratchDir);
}

CliRun RunBuiltProgram(const std::string& name, const std::vector<std::string>& args,
                       const std::string& scratchDir)
{
    const std::string outPath = scratchDir + "/cli-stdout.txt";
    const std::string errPath = scratchDir + "/cli-stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Never the runner's terminal: a program that would wait for a key
    // must not wait here.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);

    const char* dir = std::getenv("TAMBERLINK_BIN_DIR");
    const std::string program = std::string(dir ? dir : ".") + "/" + name;
    CArgv argv(program, args);

    CliRun run;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.Data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;

    // A hung child is left to the test runner's time-out.
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.out = ReadWhole(outPath);
    run.err = ReadWhole(errPath);
    return run;
}

CliRun RunTamberlinkCliWithFileSizeLimit(const std::vector<std::string>& args,
                                         unsigned long limitBytes)
{
    CArgv argv(TamberlinkCliPath(), args);

    CliRun run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const struct rlimit limit = {limitBytes, limitBytes};
        const int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(pipeFds[1], 1) < 0 || ::dup2(pipeFds[1], 2) < 0
            || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(127);
        ::execv(argv.Data()[0], argv.Data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t got; pid > 0 && (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, std::size_t(got));
    ::close(pipeFds[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}
