// The bytes of a media file read as the sonvera tool reads its input: the file source opens
// them with FFmpeg and decodes them into the buffers it sends. Whatever the bytes, the source
// either refuses the file with EReadError or announces a format and delivers whole buffers of
// exactly that format, stamped without gaps, until its stream ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "AudioBufferChecks.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;
using namespace sonvera::fuzz;

namespace {

constexpr size_t KMaxInput = 1u << 16;
// Enough to decode every input of KMaxInput bytes; a decoder that makes more stops there.
constexpr int KMaxBuffers = 4096;

// Checks every buffer against the announced format and the stream's clock; paces the source.
class TChecker : public TSVBasicAudioOut {
public:
    using TSVBasicAudioOut::TSVBasicAudioOut;
    TSVWaveFormatExtensible Format{};
    int64_t End = 0;
    bool Stopped = false;

    bool SinkDispatch(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) override {
        if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
            Format = start->GetWaveFormat();
            GetInputPin()->Notify(TPXMasterPumpOperation::Create());
        } else if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
            const TRef<TSVAudioBuffer> buffer = IntfCast<TSVAudioBuffer>(supplied->GetData());
            CheckAudioBuffer(*buffer);
            SONVERA_FUZZ_CHECK(SVIsEqualAudioFormat(buffer->GetWaveFormat(), Format));
            SONVERA_FUZZ_CHECK(buffer->GetBitsPerSample() == Format.Samples.wValidBitsPerSample);
            const TRef<IRVTimeStamp> stamp = buffer->GetTimeStamp();
            SONVERA_FUZZ_CHECK(stamp->GetAvailable() && stamp->GetBegin() == End);
            SONVERA_FUZZ_CHECK(stamp->GetEnd() >= stamp->GetBegin());
            End = stamp->GetEnd();
            if (buffer->GetByteSize() <= KMaxWorkedBytes)
                WorkOn(buffer);
        } else if (OperationAs<TPXStopOperation>(AOperation)) {
            Stopped = true;
        }
        return false;
    }
};

std::string InputPath() {
    return "/tmp/sonvera-fuzz-media-" + std::to_string(getpid()) + ".bin";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize > KMaxInput)
        return 0;
    const std::string path = InputPath();
    FILE* file = std::fopen(path.c_str(), "wb");
    SONVERA_FUZZ_CHECK(file != nullptr);
    SONVERA_FUZZ_CHECK(std::fwrite(AData, 1, ASize, file) == ASize);
    std::fclose(file);

    TSVLAVFileSource source(nullptr);
    TChecker checker(nullptr);
    source.SetFileName(path);
    try {
        source.Open();
    } catch (const EReadError&) {
        return 0;
    }
    SONVERA_FUZZ_CHECK(source.GetOutputPin()->Connect(checker.GetInputPin()));
    source.Start();
    for (int i = 0; i < KMaxBuffers && source.GetRunning(); ++i) {
        checker.GetInputPin()->Notify(TPXPumpRequestOperation::Create());
        TMainThread::ProcessQueue();
    }
    source.Stop();
    SONVERA_FUZZ_CHECK(checker.Stopped);
    SONVERA_FUZZ_CHECK(checker.End == source.GetPosition());
    return 0;
}
