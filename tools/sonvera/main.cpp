// The sonvera command-line tool: shows what the library holds and exercises it.
#include <cstdio>
#include <cstring>
#include <string>

#include "sonvera/Sonvera.h"

namespace {

int PrintUsage(std::FILE* AStream) {
    std::fprintf(AStream, "usage: sonvera info\n");
    return AStream == stdout ? 0 : 2;
}

int RunInfo() {
    std::printf("Sonvera Basic %s\n", sonvera::SonveraVersion().c_str());
    std::printf("started: %d\n", sonvera::SonveraStartCount());
    std::printf("units (start-up order):\n");
    for (const sonvera::TSonveraUnit& unit : sonvera::SonveraUnits())
        std::printf("  %s\n", unit.Name);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return PrintUsage(stderr);
    const std::string command = argv[1];
    try {
        if (command == "info")
            return RunInfo();
        if (command == "--help" || command == "help")
            return PrintUsage(stdout);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonvera: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "sonvera: unknown command '%s'\n", command.c_str());
    return PrintUsage(stderr);
}
