#include "ProgressLine.h"

#include <algorithm>
#include <cstdio>

#include "Conversion.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

TProgressLine::~TProgressLine() {
    if (FDrawn)
        std::fputs("\r\033[K", stderr);
}

void TProgressLine::Update(int64_t APosition, int64_t ADuration) {
    if (!FEnabled)
        return;
    const TClock::time_point now = TClock::now();
    if (now < FNextDraw)
        return;
    FNextDraw = now + std::chrono::milliseconds(250);
    const double elapsed = std::chrono::duration<double>(now - FStart).count();
    const double done = static_cast<double>(APosition) / KUnitsPerSecond;
    const double speed = elapsed > 0 ? done / elapsed : 0;
    if (ADuration > 0) {
        const double total = static_cast<double>(ADuration) / KUnitsPerSecond;
        const double left = speed > 0 ? std::max(0.0, total - done) / speed : 0;
        std::fprintf(stderr, "\r%5.1f%%  %6.1fx real time  %s left\033[K",
                     std::min(100.0, 100.0 * done / total), speed,
                     FormatStreamTime(static_cast<int64_t>(left * KUnitsPerSecond)).c_str());
    } else {
        std::fprintf(stderr, "\r%s  %6.1fx real time\033[K", FormatStreamTime(APosition).c_str(),
                     speed);
    }
    std::fflush(stderr);
    FDrawn = true;
}

} // namespace sonvera::tool
