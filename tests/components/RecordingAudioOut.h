// An audio output for chain tests that records what arrives: the operation names, the last
// format announced, and of every buffer its bytes, its channel-0 samples (one per frame) and its
// stamps (of float buffers: their bytes and stamps).
#pragma once

#include <string>
#include <vector>

#include "sonvera/components/SVBasicAudioOut.h"

namespace sonvera::testing {

class TRecordingAudioOut : public TSVBasicAudioOut {
public:
    using TSVBasicAudioOut::TSVBasicAudioOut;
    std::vector<std::string> Operations;
    TSVWaveFormatExtensible Format{};
    std::vector<uint8_t> Bytes;
    std::vector<int32_t> Samples;
    std::vector<int64_t> Begins, Ends;
    int EnableChanges = 0;

    bool SinkDispatch(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) override {
        Operations.push_back(AOperation->GetOperation().GetClassName());
        if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
            Format = start->GetWaveFormat();
            SetAudioFormat(&Format);
        }
        if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
            const auto buffer = IntfCast<ISVAudioBuffer>(supplied->GetData());
            const auto* bytes = static_cast<const uint8_t*>(buffer->Read());
            Bytes.insert(Bytes.end(), bytes,
                         bytes + size_t{buffer->GetSize()} * buffer->GetDataStep());
            for (uint32_t i = 0; i < buffer->GetSize() && !SVIsFloatBuffer(*buffer); ++i)
                Samples.push_back(buffer->GetItem(i, 0));
            Begins.push_back(buffer->GetTimeStamp()->GetBegin());
            Ends.push_back(buffer->GetTimeStamp()->GetEnd());
        }
        return false;
    }

protected:
    void EnableChanged() override { ++EnableChanges; }
};

} // namespace sonvera::testing
