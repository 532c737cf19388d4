#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/AppGlobals.h"

namespace {

void PrintUsage()
{
    std::fputs("usage: tamberlink-cli hex2bin IN OUT\n"
               "       tamberlink-cli devices [--catalogue FILE]\n",
               stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    InitAppGlobals();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string catalogue;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--catalogue") {
            if (i + 1 >= args.size()) {
                PrintUsage();
                return kExitUsage;
            }
            catalogue = args[++i];
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.size() == 3 && words[0] == "hex2bin")
        return RunHex2Bin(words[1], words[2]);
    if (words.size() == 1 && words[0] == "devices")
        return RunDevices(catalogue);
    PrintUsage();
    return kExitUsage;
}
