// The sonvera command-line tool: converts media files through chains of the library's own
// components, and shows what the library and FFmpeg offer.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

constexpr const char* KUsage =
    "usage: sonvera convert IN OUT [--codec NAME] [--format NAME] [--bits 8|16|24|32]\n"
    "                      [--layout mono|stereo|5.1|7.1] [--rate HZ] [--gain DB]\n"
    "                      [--bitrate BPS] [--option NAME=VALUE]... [--quiet]\n"
    "       sonvera play FILE [--device NAME] [--latency MS] [--quiet]\n"
    "       sonvera record OUT [--device NAME] [--duration SECONDS] [--rate HZ]\n"
    "                      [--channels N] [--bits 8|16|24|32] [--latency MS] [--quiet]\n"
    "       sonvera devices\n"
    "       sonvera codecs [--audio|--video] [--decoders|--encoders]\n"
    "       sonvera formats\n"
    "       sonvera probe FILE\n"
    "       sonvera demo\n"
    "       sonvera info\n";

int RunCommand(const std::string& ACommand, const std::vector<std::string>& AArguments) {
    using namespace sonvera::tool;
    if (ACommand == "convert")
        return RunConvert(AArguments);
    if (ACommand == "play")
        return RunPlay(AArguments);
    if (ACommand == "record")
        return RunRecord(AArguments);
    if (ACommand == "devices")
        return RunDevices(AArguments);
    if (ACommand == "codecs")
        return RunCodecs(AArguments);
    if (ACommand == "formats")
        return RunFormats(AArguments);
    if (ACommand == "probe")
        return RunProbe(AArguments);
    if (ACommand == "demo")
        return RunDemo();
    if (ACommand == "info")
        return RunInfo();
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
    // A file that outgrows the size limit is a write error like a full disk, not the end.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return RunCommand(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonvera: %s\n", error.what());
        return 1;
    }
}
