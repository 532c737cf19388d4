#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/DeviceCommand.h"
#include "cli/GangCommand.h"
#include "platform/AppGlobals.h"
#include "platform/UiText.h"

int main(int argc, char** argv)
{
    // A file size limit (ulimit -f) would otherwise kill every station of a
    // run at the first file that grows past it, half a write on the chips
    // included; ignored, the write fails with EFBIG and is reported.
    std::signal(SIGXFSZ, SIG_IGN);
    InitAppGlobals();
    const CliParseResult parsed = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(CliHelp(), stdout);
        return kExitSuccess;
    }
    if (parsed.version) {
        std::printf("tamberlink-cli %s\n", TAMBERLINK_VERSION);
        return kExitSuccess;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tamberlink-cli: %s\n", parsed.error.c_str());
        std::fputs(CliUsage(), stderr);
        std::fputs("Try 'tamberlink-cli --help' for more.\n", stderr);
        return kExitUsage;
    }
    // Before anything is shown: the converter and the session look their
    // texts up as they go.
    CUiText::SetLanguage(ChooseCliLanguage(parsed.options.lang));
    if (parsed.options.command == "gang")
        return RunGangCommand(parsed.options);
    if (!parsed.options.command.empty())
        return RunDeviceCommand(parsed.options);

    const std::vector<std::string>& words = parsed.words;
    if (words.size() == 3 && words[0] == "hex2bin")
        return RunHex2Bin(words[1], words[2]);
    if (words.size() == 3 && words[0] == "convert")
        return RunConvert(words[1], words[2]);
    if (words.size() == 1 && words[0] == "devices")
        return RunDevices(parsed.options.catalogue);
    // The parser lets through only the forms above.
    std::fprintf(stderr, "tamberlink-cli: unknown command '%s'\n", words[0].c_str());
    std::fputs(CliUsage(), stderr);
    return kExitUsage;
}
