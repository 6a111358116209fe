#include "sonvera/primitives/SVTruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace sonvera {

namespace {

// The grid is four points per sample; the point on the sample itself needs no filter.
constexpr int32_t KGrid = 4;
constexpr int32_t KPhases = KGrid - 1;
constexpr int32_t KTaps = KSVTruePeakHistory + 1; // per phase
constexpr int32_t KLanes = 8; // outputs computed side by side, so that the loops vectorise

using TTaps = std::array<std::array<float, KTaps>, KPhases>;

// Tap k of phase p (the point p/4 of the way from one sample to the next) multiplies the sample
// k frames back: the tap p + 1 + 4k of a 49-tap prototype centred on its tap 24.
TTaps BuildTaps() {
    constexpr int32_t last = KGrid * KTaps; // the prototype's taps are 0 to last
    TTaps taps{};
    for (int32_t phase = 0; phase < KPhases; ++phase) {
        double sum = 0;
        std::array<double, KTaps> values{};
        for (int32_t tap = 0; tap < KTaps; ++tap) {
            const int32_t m = phase + 1 + KGrid * tap;
            const double t = (m - last / 2.0) / KGrid;
            const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
            const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * m / last);
            values[size_t(tap)] = sinc * hann;
            sum += values[size_t(tap)];
        }
        for (int32_t tap = 0; tap < KTaps; ++tap)
            taps[size_t(phase)][size_t(tap)] = static_cast<float>(values[size_t(tap)] / sum);
    }
    return taps;
}

const TTaps& Taps() {
    static const TTaps taps = BuildTaps();
    return taps;
}

// Folds the magnitudes of ACount outputs from AAt on into APeaks, lane by lane.
template <int32_t ACount>
void FoldOutputs(const TTaps& ATaps, const float* AAt, std::array<float, KLanes>& APeaks) {
    for (int32_t phase = 0; phase < KPhases; ++phase) {
        std::array<float, KLanes> sums{};
        for (int32_t tap = 0; tap < KTaps; ++tap) {
            const float weight = ATaps[size_t(phase)][size_t(tap)];
            for (int32_t lane = 0; lane < ACount; ++lane)
                sums[size_t(lane)] += weight * AAt[lane - tap];
        }
        for (int32_t lane = 0; lane < ACount; ++lane)
            APeaks[size_t(lane)] = std::max(APeaks[size_t(lane)], std::fabs(sums[size_t(lane)]));
    }
}

} // namespace

float SVTruePeak_32f(const float* ASamples, int32_t ALength) {
    const TTaps& taps = Taps();
    std::array<float, KLanes> peaks{};
    int32_t at = 0;
    for (; at + KLanes <= ALength; at += KLanes)
        FoldOutputs<KLanes>(taps, ASamples + at, peaks);
    for (; at < ALength; ++at)
        FoldOutputs<1>(taps, ASamples + at, peaks);
    return *std::max_element(peaks.begin(), peaks.end());
}

} // namespace sonvera
