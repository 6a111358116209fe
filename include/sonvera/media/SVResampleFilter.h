// A filter that changes the sample rate of a stream through libswresample: every sample passes
// the resampler once, whatever the two rates, and the start downstream announces the new rate.
// Buffers leave stamped on the new rate's clock from the stream's first stamp on; the samples
// the resampler holds back are sent when the stream stops, before the stop, and when a new start
// midway announces another format, before that start.
//
// Threads and locks: the resampler is made at the stream's start (inside the component lock)
// and used by the processing under a lock of its own, so that processing on the filter's
// thread never takes the component lock.
#pragma once

#include <memory>
#include <mutex>

#include "sonvera/components/SVCommonFilter.h"

namespace sonvera {

// Published: SampleRate (0: the stream keeps its rate).
class TSVResampleFilter : public TSVCommonFilter {
public:
    static constexpr uint32_t KMaxSampleRate = 1'000'000;

    explicit TSVResampleFilter(TPersistent* AOwner);
    ~TSVResampleFilter() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Takes effect at the next stream start; above KMaxSampleRate raises EArgumentError.
    uint32_t GetSampleRate() const { return GetPropValue(FSampleRate); }
    void SetSampleRate(uint32_t AValue);

protected:
    TRef<IPXNotifyOperation> OutputStartOperation(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;
    void StreamStop() override;

private:
    class TResampler;

    uint32_t FSampleRate = 0;
    std::mutex FResamplerLock; // FResampler
    std::unique_ptr<TResampler> FResampler;
};

} // namespace sonvera
