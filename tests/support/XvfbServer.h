#pragma once

#include <string>
#include <sys/types.h>

// A private virtual X server for tests that need a real display: started on
// a display number the server picks itself, stopped with the object.
class CXvfbServer {
public:
    CXvfbServer();
    ~CXvfbServer();
    CXvfbServer(const CXvfbServer&) = delete;
    CXvfbServer& operator=(const CXvfbServer&) = delete;

    // Both programs the key tests need are installed.
    static bool ToolsAvailable();

    bool IsRunning() const { return !m_display.empty(); }
    // ":N", or empty when the server did not start.
    const std::string& Display() const { return m_display; }

    // Runs "xdotool key <keys>" against this display; true on success.
    bool PressKeys(const std::string& keys) const;

private:
    pid_t m_pid = -1;
    std::string m_display;
};
