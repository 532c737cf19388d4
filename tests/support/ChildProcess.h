#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program run beside a test (a bus daemon, a second window), started with
// posix_spawn: Qt's own process launcher clones in a way ThreadSanitizer
// cannot follow. stdin is /dev/null, stdout a pipe the test reads, stderr
// /dev/null. The child is killed and reaped when the object goes.
class CChildProcess {
public:
    // program is looked up on PATH when it has no slash; extraEnv holds
    // NAME=VALUE entries added to (or replacing those of) this environment.
    CChildProcess(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& extraEnv = {});
    ~CChildProcess();

    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    // One line of stdout without its newline; empty when none came in time.
    std::string ReadLine(int timeoutMs);
    // Everything stdout still gives, up to its end.
    std::string ReadAll();
    // The exit code, or -1 when it did not exit in time or died by a signal.
    int Wait(int timeoutMs);
    bool Running();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_status = -1;  // once reaped
    std::string m_buffered;
};
