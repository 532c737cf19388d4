#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "tests/support/Argv.h"

extern char** environ;

CChildProcess::CChildProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::vector<std::string>& extraEnv)
{
    CArgv argv(program, args);

    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& extra : extraEnv)
            replaced = replaced || extra.substr(0, extra.find('=')) == name;
        if (!replaced)
            env.push_back(text);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    // Not the test's stderr: a child that outlives a test killed by a
    // sanitizer would hold the runner's output pipe open until its timeout.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&m_pid, program.c_str(), &actions, nullptr, argv.Data(),
                                envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        m_pid = -1;
        ::close(fds[0]);
        return;
    }
    m_out = fds[0];
}

CChildProcess::~CChildProcess()
{
    if (Running())
        ::kill(m_pid, SIGKILL);
    Wait(60000);
    if (m_out >= 0)
        ::close(m_out);
}

std::string CChildProcess::ReadLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = m_buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffered.substr(0, end);
            m_buffered.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{m_out, POLLIN, 0};
        if (m_out < 0 || left.count() <= 0 || ::poll(&pfd, 1, int(left.count())) <= 0)
            return {};
        char buffer[512];
        const ssize_t got = ::read(m_out, buffer, sizeof buffer);
        if (got <= 0)
            return {};
        m_buffered.append(buffer, std::size_t(got));
    }
}

std::string CChildProcess::ReadAll()
{
    char buffer[4096];
    for (ssize_t got; m_out >= 0 && (got = ::read(m_out, buffer, sizeof buffer)) > 0;)
        m_buffered.append(buffer, std::size_t(got));
    return std::exchange(m_buffered, {});
}

int CChildProcess::Wait(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_status >= 0 && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

bool CChildProcess::Running()
{
    if (m_pid <= 0 || m_status >= 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || (done < 0 && errno == ECHILD))
        m_status = done == m_pid ? status : 0x7f00;
    return m_status < 0;
}
