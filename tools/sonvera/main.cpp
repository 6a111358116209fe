// The sonvera command-line tool: converts media files through chains of the library's own
// components, and shows what the library and FFmpeg offer.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "SignalGuard.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/package/SonveraPackage.h"

namespace {

constexpr const char* KUsage =
    "usage: sonvera convert IN OUT [--codec NAME] [--format NAME] [--bits 8|16|24|32]\n"
    "                      [--layout mono|stereo|5.1|7.1] [--rate HZ] [--gain DB]\n"
    "                      [--bitrate BPS] [--option NAME=VALUE]... [--strict]\n"
    "                      [--normalize LUFS [--true-peak DBTP]]\n"
    "                      [--allow NAME,...] [--quiet]   (IN, OUT: - is standard in/out)\n"
    "       sonvera run \"CHAIN TEXT\" | CHAIN.json [--quiet] [--verbose]\n"
    "       sonvera run --save CHAIN.json \"CHAIN TEXT\"\n"
    "       sonvera inspect [NAME]\n"
    "       sonvera analyze FILE [--json] [--png OUT.png] [--size WIDTHxHEIGHT]\n"
    "       sonvera play FILE [--device NAME] [--latency MS] [--quiet]\n"
    "       sonvera record OUT [--device NAME] [--duration SECONDS] [--rate HZ]\n"
    "                      [--channels N] [--bits 8|16|24|32] [--latency MS] [--quiet]\n"
    "       sonvera devices\n"
    "       sonvera codecs [--audio|--video] [--decoders|--encoders]\n"
    "       sonvera formats [--audio]\n"
    "       sonvera probe FILE\n"
    "       sonvera demo\n"
    "       sonvera info\n"
    "       sonvera --version\n"
    "Every command answers --help.\n";

// The lines of the usage that belong to ACommand: from its "sonvera ACommand" line to the next
// command's; empty for a command the usage does not name.
std::string UsageOf(const std::string& ACommand) {
    const std::string text = KUsage;
    const size_t start = text.find("sonvera " + ACommand + " ");
    const size_t own = start == std::string::npos ? text.find("sonvera " + ACommand + "\n") : start;
    if (own == std::string::npos)
        return "";
    const size_t end = text.find("sonvera ", own + 8);
    const size_t lineEnd = text.rfind('\n', end == std::string::npos ? text.size() - 1 : end);
    return "usage: " + text.substr(own, lineEnd + 1 - own);
}

bool AsksForHelp(const std::vector<std::string>& AArguments) {
    for (const std::string& argument : AArguments)
        if (argument == "--help" || argument == "-h")
            return true;
    return false;
}

using TArguments = std::vector<std::string>;

// A command, and what its --help prints: its own help text, or without one its usage lines.
// run answers --help itself, with chain text explained.
struct TCommand {
    const char* Name;
    int (*Run)(const TArguments&);
    const char* Help = nullptr;
    bool AnswersHelp = false;
};

const TCommand KCommands[] = {
    {"convert", sonvera::tool::RunConvert, sonvera::tool::KConvertHelp},
    {"run", sonvera::tool::RunRun, nullptr, true},
    {"inspect", sonvera::tool::RunInspect},
    {"analyze", sonvera::tool::RunAnalyze},
    {"play", sonvera::tool::RunPlay},
    {"record", sonvera::tool::RunRecord},
    {"devices", sonvera::tool::RunDevices},
    {"codecs", sonvera::tool::RunCodecs},
    {"formats", sonvera::tool::RunFormats},
    {"probe", sonvera::tool::RunProbe},
    {"demo", [](const TArguments&) { return sonvera::tool::RunDemo(); }},
    {"info", [](const TArguments&) { return sonvera::tool::RunInfo(); }},
};

int RunCommand(const std::string& AName, const TArguments& AArguments) {
    if (AName == "--version" || AName == "version") {
        std::printf("sonvera %s (Sonvera Basic), FFmpeg %s\n", sonvera::SonveraVersion().c_str(),
                    av_version_info());
        return 0;
    }
    if (AName == "help" || AName == "--help") {
        std::fputs(KUsage, stdout);
        return 0;
    }
    for (const TCommand& command : KCommands) {
        if (AName != command.Name)
            continue;
        if (!command.AnswersHelp && AsksForHelp(AArguments)) {
            std::fputs(command.Help ? command.Help : UsageOf(AName).c_str(), stdout);
            return 0;
        }
        return command.Run(AArguments);
    }
    std::fprintf(stderr, "sonvera: unknown command '%s'\n%s", AName.c_str(), KUsage);
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
    } catch (const sonvera::tool::EInterrupted& stopped) {
        std::fprintf(stderr, "sonvera: %s\n", stopped.what());
        return stopped.GetExitCode();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sonvera: %s\n", error.what());
        return 1;
    }
}
