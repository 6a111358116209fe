// Converts a stream whose format changes midway to the one format an output opened with: a
// format filter (width and speakers) and a resample filter (rate) between a source pin and a
// sink pin of its own, so that a file that cannot change its format mid-file still takes every
// buffer of such a stream. Each new input format is announced with Start; what the resampler
// holds back of the previous one is delivered first. Finish delivers the last of it.
//
// Threads and locks: it runs on the caller's thread, inside the caller's component lock (the
// owner's lock is the pins' owner lock, and the filters' own locks nest inside it).
#pragma once

#include <functional>

#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/media/SVResampleFilter.h"

namespace sonvera {

class TSVStreamConverter {
public:
    using TDeliver = std::function<void(const TRef<ISVAudioBuffer>&)>;

    TSVStreamConverter(TPersistent* AOwner, TRef<IChangeNotifyLock> AOwnerLock,
                       const TSVWaveFormatExtensible& ATarget, TDeliver ADeliver);
    ~TSVStreamConverter();

    // The stream goes on in AInput's format.
    void Start(const TSVWaveFormatExtensible& AInput);
    void Write(const TRef<ISVAudioBuffer>& ABuffer);
    // Delivers what the resampler holds back; the converter takes a new Start after it.
    void Finish();

private:
    TDeliver FDeliver;
    TSVFormatFilter FFormat;
    TSVResampleFilter FResample;
    TSVPXAudioSourcePin FOutput;
    TSVPXAudioSinkPin FInput;
    bool FRunning = false;
};

} // namespace sonvera
