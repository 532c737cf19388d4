#pragma once

#include <string>

#include "programmer/UniqueFd.h"

// A pseudo-terminal pair standing in for a serial cable: the simulator talks
// on the master end, the host opens the slave path like a serial device.
//
// The slave end is kept open here as well, in raw mode, so the host may open
// and close it as often as it likes without the master ever seeing a hang-up
// and without the line settings falling back to a cooked terminal.
//
// Holding the slave open has one cost: a host that takes the port in
// exclusive mode (TIOCEXCL) leaves that mode set when it closes, since the
// terminal never fully closes, and could not open it again. So the slave
// path is watched, and every close by the host drops exclusive mode.
class CPseudoTerminal {
public:
    CPseudoTerminal() = default;
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    // Creates the pair; the master is non-blocking. The baud rate is only
    // recorded in the line settings: a pseudo-terminal does not pace bytes.
    bool Open(int baud, std::string* error = nullptr);
    // Closes both ends: the host sees the line go away.
    void Close();

    // Becomes readable when the host closes the slave; then call
    // OnHostClosed().
    int HostWatchFd() const { return m_watch.Get(); }
    void OnHostClosed();

    // Bytes sent to the host that it has not read yet.
    int PendingForHost() const;

    bool IsOpen() const { return m_master.IsValid(); }
    int MasterFd() const { return m_master.Get(); }
    // E.g. /dev/pts/7; empty before Open.
    const std::string& SlavePath() const { return m_strSlavePath; }

private:
    CUniqueFd m_master;
    CUniqueFd m_slave;
    CUniqueFd m_watch;
    std::string m_strSlavePath;
};
