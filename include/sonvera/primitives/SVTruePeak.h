// The peak between samples: a run of one channel's float samples oversampled four times by a
// Hann-windowed sinc lowpass at the original Nyquist frequency (49 taps; the three phases
// between samples have 12 taps each and a gain of 1 at 0 Hz), the largest magnitude of the
// values it interpolates a quarter, half and three quarters of the way from each sample to the
// next. Meters take it with the sample peak for the true peak.
#pragma once

#include <cstdint>

namespace sonvera {

// Samples of the past every call reads before its run.
inline constexpr int32_t KSVTruePeakHistory = 11;

// The largest magnitude the filter interpolates from ALength samples at ASamples, with the
// KSVTruePeakHistory samples before ASamples (the run's past, silence at a stream's start)
// readable too. Keeps no state and never throws; a length below 1 gives 0.
float SVTruePeak_32f(const float* ASamples, int32_t ALength);

} // namespace sonvera
