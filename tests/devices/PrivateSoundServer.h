// A sound server of the test's own: PulseAudio in a private runtime folder with the native
// protocol on a socket there and one null sink, started for a test and stopped after it, so
// that device tests touch nothing of the machine's and need no sound card. A server left
// behind by a test that crashed ends itself after ten seconds without clients.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sonvera/devices/SVPulseConnection.h"

namespace sonvera::testing {

class TPrivateSoundServer {
public:
    static constexpr const char* KSink = "sonvera_test";

    TPrivateSoundServer() {
        char folder[] = "/tmp/sonvera-pulse-XXXXXX";
        if (!mkdtemp(folder))
            return;
        FFolder = folder;
        FServer = "unix:" + FFolder + "/native";
        const std::string protocol =
            "module-native-protocol-unix auth-anonymous=1 socket=" + FFolder + "/native";
        const std::string sink = std::string("module-null-sink sink_name=") + KSink;
        const std::string log = FFolder + "/log";
        std::vector<std::string> arguments = {
            SONVERA_PULSEAUDIO,      "--daemonize=no",       "-n",
            "--exit-idle-time=10",   "--system=no",          "--use-pid-file=no",
            "--log-target=stderr",   "--load=" + protocol,   "--load=" + sink};
        std::vector<std::string> environment = {"XDG_RUNTIME_DIR=" + FFolder, "HOME=" + FFolder,
                                                "PATH=/usr/bin:/bin"};
        // Spawned, not forked by hand: the test process runs threads of its own.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const std::vector<char*> argv = Pointers(arguments), envp = Pointers(environment);
        if (posix_spawn(&FPid, SONVERA_PULSEAUDIO, &actions, nullptr, argv.data(), envp.data()) !=
            0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Ready once it answers; a server that never does fails the test, not hangs it.
        for (int attempt = 0; attempt < 200 && FPid > 0 && !FReady; ++attempt) {
            try {
                TSVPulseConnection probe(FServer, "probe");
                FReady = true;
            } catch (const EDeviceError&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    ~TPrivateSoundServer() {
        Kill(SIGTERM);
        std::error_code ignored;
        std::filesystem::remove_all(FFolder, ignored);
    }

    bool IsReady() const { return FReady; }
    const std::string& Server() const { return FServer; }
    // Ends the server as a crash would (SIGKILL) or as a shutdown does (SIGTERM).
    void Kill(int ASignal) {
        if (FPid <= 0)
            return;
        kill(FPid, ASignal);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& AStrings) {
        std::vector<char*> pointers;
        for (std::string& text : AStrings)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    std::string FFolder;
    std::string FServer;
    pid_t FPid = -1;
    bool FReady = false;
};

} // namespace sonvera::testing
