// Bytes from outside read as a stream of audio structure records by a split structure with one
// or two audio elements, cut into pieces where the input says. The first byte chooses: bit 0
// the number of elements, bits 1-3 the largest piece (1 to 128 bytes), bits 4-7 where the
// piece sizes start. Whatever the bytes, the stream is read without a crash or a hang; a
// section that no buffer can have is refused with EReadError; every element announces its
// stream once, on the main thread, before its first buffer; and the buffers that come out
// hold no more samples than the stream carried, each in a format a buffer can have.
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzCheck.h"
#include "sonvera/components/SVStructureElements.h"
#include "sonvera/platform/bases/QXStructure.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

using namespace sonvera;

namespace {

// What arrives at one element's output.
class TOutput {
public:
    // ASectionBytes counts the section bytes that came out of the stream, over all outputs.
    TOutput(uint64_t AStreamSize, uint64_t& ASectionBytes)
        : FStreamSize(AStreamSize), FSectionBytes(ASectionBytes) {}

    TSVPXAudioSinkPin Pin{nullptr, nullptr, nullptr,
                          [this](TPXPin*, TPXPin*, const TGUID&,
                                 const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
                              Arrived(AOperation);
                              return true;
                          }};

private:
    void Arrived(const TRef<IPXNotifyOperation>& AOperation) {
        if (const auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
            SONVERA_FUZZ_CHECK(!FStarted);
            SONVERA_FUZZ_CHECK(TMainThread::IsMainThread());
            SONVERA_FUZZ_CHECK(start->GetWaveFormat().Format.wBitsPerSample <= 32);
            FStarted = true;
        } else if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
            const TRef<ISVAudioBuffer> buffer = IntfCast<ISVAudioBuffer>(supplied->GetData());
            SONVERA_FUZZ_CHECK(FStarted);
            SONVERA_FUZZ_CHECK(buffer->GetBitsPerSample() <= 32 && buffer->GetChannels() <= 255);
            // A section holds at least 4 bytes besides its samples.
            FSectionBytes += buffer->GetByteSize() + 4;
            SONVERA_FUZZ_CHECK(FSectionBytes <= FStreamSize);
        }
    }

    const uint64_t FStreamSize;
    uint64_t& FSectionBytes;
    bool FStarted = false;
};

void PumpMainThread() {
    for (;;) {
        try {
            if (TMainThread::ProcessQueue() == 0)
                return;
        } catch (const EReadError&) {
            // a refused section
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < 1)
        return 0;
    const uint8_t choice = AData[0];
    const uint8_t* stream = AData + 1;
    const size_t size = ASize - 1;

    TQXSplitStructure split;
    std::vector<std::unique_ptr<TOutput>> outputs;
    uint64_t sectionBytes = 0;
    for (int i = 0; i < 1 + (choice & 1); ++i) {
        auto* element = dynamic_cast<TSVAudioBufferSplitStructureElement*>(
            split.GetElements().Add("TSVAudioBufferSplitStructureElement"));
        outputs.push_back(std::make_unique<TOutput>(size, sectionBytes));
        SONVERA_FUZZ_CHECK(element->GetOutputPin()->Connect(&outputs.back()->Pin));
    }
    TQXPXBinarySourcePin feeder(nullptr, nullptr, nullptr, nullptr);
    SONVERA_FUZZ_CHECK(feeder.Connect(split.GetInputPin()));

    feeder.Notify(TPXStartRateOperation::Create(1.0));
    const uint32_t largest = 1u << ((choice >> 1) & 7);
    uint32_t state = choice >> 4;
    for (size_t at = 0; at < size;) {
        state = state * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(1 + (state >> 16) % largest, size - at);
        TRef<TQXBlockBuffer> block = TQXBlockBuffer::CreateSizeObject(uint32_t(piece));
        std::copy(stream + at, stream + at + piece, block->Write());
        feeder.SubmitBuffer(block);
        at += piece;
    }
    feeder.Notify(TPXStopOperation::Create());
    SONVERA_FUZZ_CHECK(!split.IsProcessing());
    PumpMainThread();
    return 0;
}
