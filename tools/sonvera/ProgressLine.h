// The progress line of the tool's long commands: percent, speed and time left (or the time
// reached when the length is unknown) on one line of standard error, redrawn at most a few
// times a second and cleared at the end.
#pragma once

#include <chrono>
#include <cstdint>

namespace sonvera::tool {

class TProgressLine {
public:
    explicit TProgressLine(bool AEnabled) : FEnabled(AEnabled) {}
    ~TProgressLine();
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    // Stream times in 100 ns units; ADuration 0 when unknown.
    void Update(int64_t APosition, int64_t ADuration);

private:
    using TClock = std::chrono::steady_clock;

    bool FEnabled;
    bool FDrawn = false;
    TClock::time_point FStart = TClock::now();
    TClock::time_point FNextDraw = FStart;
};

} // namespace sonvera::tool
