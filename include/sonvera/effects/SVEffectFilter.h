// The base of float effects. An effect writes one function over interleaved float frames,
// ProcessFrames (or, when its output has another layout, OutputFormatOf and ProcessBuffer), and
// gets the rest from here: integer input converted to float on the way in
// (bit-transparently), the stream announced downstream as float at the input's rate and
// speakers, buffers stamped and passed on, and ResetState at every stream start so that state
// never leaks from one stream into the next. An effect that delays its output (a look-ahead)
// names the delay in LatencyFrames: the base drops that many frames at the stream's start and,
// when the stream stops, sends the frames still held (ProcessFrames over silence) before the
// stop, so that the stream keeps its length and its timing.
//
//     class TSVHalve : public TSVEffectFilter {
//         void ProcessFrames(TSVFloatFrames AFrames) override {
//             SVScaleFloat(AFrames.Data(), AFrames.Count(), 0.5f);
//         }
//     };
//
// Threads: ProcessFrames and ResetState run on the delivering thread (or the filter's
// processing thread), one buffer at a time, so an effect's state needs no lock of its own;
// property setters may run on any thread, and an effect reads its properties through
// GetPropValue once per buffer.
#pragma once

#include "sonvera/buffers/SVFloatFrames.h"
#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

class TSVEffectFilter : public TSVCommonFilter {
public:
    using TSVCommonFilter::TSVCommonFilter;

    // The format of the running stream as the effect sees it: float, at the input's rate and
    // speakers (all zero before the first start).
    TSVWaveFormatExtensible GetEffectFormat() const;

    // AInBuffer as float samples: the same buffer when they are floats already (private once
    // written), converted into a new float buffer with the same stamps otherwise.
    static TRef<ISVAudioBuffer> FloatBufferOf(const TRef<ISVAudioBuffer>& AInBuffer);

protected:
    // Forgets what the effect kept from earlier samples; AFormat is the stream's float format.
    virtual void ResetState(const TSVWaveFormatExtensible& AFormat);
    // The frames of one buffer, in place (nothing by default).
    virtual void ProcessFrames(TSVFloatFrames AFrames);
    // The format the effect sends for the stream's float format AInput (AInput by default).
    virtual TSVWaveFormatExtensible OutputFormatOf(const TSVWaveFormatExtensible& AInput) const;
    // The buffer sent for the float buffer AFloats: by default AFloats, through ProcessFrames.
    virtual TRef<ISVAudioBuffer> ProcessBuffer(const TRef<ISVAudioBuffer>& AFloats);

    // Frames by which the output lags the input, fixed at ResetState (0).
    virtual uint32_t LatencyFrames() const { return 0; }

    // The rate of the running stream (0 before the first start).
    uint32_t GetSampleRate() const;

    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void StreamStop() override;
    TRef<IPXNotifyOperation> OutputStartOperation(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;

private:
    // Drops the frames of AFrames that precede the output's first frame; returns what is left.
    uint32_t SkipLatency(const TRef<ISVAudioBuffer>& ABuffer);
    // The frames still held at the end of the stream, sent downstream from ABegin on.
    void FlushLatency(int64_t ABegin);

    TSVWaveFormatExtensible FEffectFormat{}; // set at a start, under the component lock
    uint32_t FLatencyToSkip = 0;             // frames still to drop at the stream's start
    bool FRunning = false;                   // a stream started and not yet stopped
};

// The class record of an effect: its class name, short name and one-line description, on the
// palette's Filters category.
TClassInfo SVEffectClassInfo(const char* AClassName, const char* AShortName,
                             const char* ADescription);

} // namespace sonvera
