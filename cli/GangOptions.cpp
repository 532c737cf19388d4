#include "cli/GangOptions.h"

#include <set>
#include <sstream>

bool IsGangOption(const std::string& arg, bool& valued)
{
    static const std::set<std::string> kValued = {"--ports", "--serial", "--serial-state",
                                                  "--log", "--rounds", "--sim-fault"};
    valued = kValued.count(arg) > 0;
    return valued || arg == "--wait-chip";
}

std::string ApplyBoardFault(const std::string& text, BoardFaults& faults)
{
    const std::size_t equals = text.find('=');
    const std::string kind = text.substr(0, equals);
    const std::pair<const char*, bool BoardFaults::*> switches[] = {
        {"never-answer", &BoardFaults::neverAnswer},
        {"garbage", &BoardFaults::garbage},
        {"no-end-answer", &BoardFaults::noEndAnswer},
    };
    for (const auto& [name, member] : switches) {
        if (kind != name)
            continue;
        if (equals != std::string::npos)
            return "--sim-fault: " + kind + " takes no number";
        faults.*member = true;
        return {};
    }
    const std::pair<const char*, int BoardFaults::*> counted[] = {
        {"drop-ack", &BoardFaults::dropAckOfBlock},
        {"fail-block", &BoardFaults::failBlock},
        {"lose-read-block", &BoardFaults::loseReadBlock},
        {"reply-delay", &BoardFaults::replyDelayMs},
        {"close-after-block", &BoardFaults::closeAfterBlock},
    };
    for (const auto& [name, member] : counted) {
        if (kind != name)
            continue;
        const std::optional<std::uint64_t> value =
            equals == std::string::npos ? std::nullopt : ParseCount(text.substr(equals + 1));
        if (!value || *value > 1000000)
            return "--sim-fault: " + kind + " needs =K, a number up to 1000000";
        faults.*member = int(*value);
        return {};
    }
    return "--sim-fault: unknown fault '" + kind
        + "' (never-answer, garbage, no-end-answer, drop-ack=K, fail-block=K, "
          "lose-read-block=K, reply-delay=MS, close-after-block=K)";
}

std::string ApplyGangOption(const std::string& arg, const std::string& value, GangOptions& gang)
{
    if (arg == "--ports") {
        gang.ports.clear();
        std::stringstream stream(value);
        for (std::string port; std::getline(stream, port, ',');)
            gang.ports.push_back(port);
        if (!value.empty() && value.back() == ',')
            gang.ports.push_back({});
        std::set<std::string> seen;
        for (const std::string& port : gang.ports) {
            if (port.empty())
                return "--ports needs a list of ports such as /dev/ttyUSB0,/dev/ttyUSB1";
            if (!seen.insert(port).second)
                return "--ports names " + port + " twice";
        }
        if (gang.ports.empty())
            return "--ports needs a list of ports such as /dev/ttyUSB0,/dev/ttyUSB1";
    } else if (arg == "--serial") {
        std::string error;
        gang.serial = SerialNumberFormat::Parse(value, error);
        return error;
    } else if (arg == "--serial-state" || arg == "--log") {
        if (value.empty())
            return arg + " needs a file";
        (arg == "--log" ? gang.log : gang.serialState) = value;
    } else if (arg == "--rounds") {
        const std::optional<std::uint64_t> rounds = ParseCount(value);
        if (!rounds || *rounds < 1 || *rounds > 1000000)
            return "--rounds must be a number of chips per port from 1 to 1000000";
        gang.rounds = int(*rounds);
    } else if (arg == "--wait-chip") {
        gang.waitChip = true;
    } else if (arg == "--sim-fault") {
        // The port may hold colons; the fault never does.
        const std::size_t colon = value.rfind(':');
        if (colon == std::string::npos || colon == 0)
            return "--sim-fault must be PORT:KIND or PORT:KIND=K";
        return ApplyBoardFault(value.substr(colon + 1), gang.simFaults[value.substr(0, colon)]);
    }
    return {};
}

std::string CheckGangOptions(const GangOptions& gang, bool simulate, bool writes,
                             const std::string& simState)
{
    if (gang.ports.empty())
        return "gang needs --ports P1,P2,...";
    if (!gang.serialState.empty() && !gang.serial)
        return "--serial-state needs --serial";
    if (gang.serial && !writes)
        return "--serial needs the write step among --steps";
    if (!gang.simFaults.empty() && !simulate)
        return "--sim-fault needs --simulate";
    for (const auto& [port, faults] : gang.simFaults) {
        bool known = false;
        for (const std::string& name : gang.ports)
            known = known || name == port;
        if (!known)
            return "--sim-fault names " + port + ", which is not in --ports";
    }
    if (gang.waitChip && simulate)
        return "--wait-chip needs chips that can be taken out; the boards of --simulate "
               "always hold theirs (tamberlink-board-sim --socket FILE has a socket)";
    if (!simState.empty())
        for (const std::string& port : gang.ports)
            if (port.find('/') != std::string::npos || port == "." || port == "..")
                return "with --sim-state each port is a plain name, the state file's: " + port;
    return {};
}
