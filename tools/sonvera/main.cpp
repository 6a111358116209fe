// The sonvera command-line tool: shows what the library holds and exercises it.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

constexpr const char* KUsage =
    "usage: sonvera info\n"
    "       sonvera demo\n"
    "       sonvera convert IN.wav OUT.wav [--bits 8|16|24|32] [--layout mono|stereo|5.1|7.1]"
    " [--gain X]\n";

int RunCommand(const std::string& ACommand, const std::vector<std::string>& AArguments) {
    using namespace sonvera::tool;
    if (ACommand == "info")
        return RunInfo();
    if (ACommand == "demo")
        return RunDemo();
    if (ACommand == "convert")
        return RunConvert(AArguments);
    if (ACommand == "help" || ACommand == "--help") {
        std::fputs(KUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "sonvera: unknown command '%s'\n%s", ACommand.c_str(), KUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(KUsage, stderr);
        return 2;
    }
    try {
        return RunCommand(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonvera: %s\n", error.what());
        return 1;
    }
}
