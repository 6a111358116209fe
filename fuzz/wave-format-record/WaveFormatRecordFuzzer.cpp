// A 40-byte wave-format record from outside, followed by a frame count, turned into an audio
// buffer. A record the buffer cannot hold is refused; any other gives a whole buffer of the
// record's channels, rate and valid bits and of the frames asked for, or fails to allocate it
// and leaks nothing.
#include <cstdint>
#include <cstring>
#include <new>

#include "AudioBufferChecks.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;
using namespace sonvera::fuzz;

namespace {

// The target runs as on a system with little memory: a block beyond this fails as it would
// there, so that the large buffers a record may rightly ask for take no time.
constexpr size_t KMemoryLimit = size_t{64} << 20;

void LimitMemory(size_t ASize) {
    if (ASize > KMemoryLimit)
        throw std::bad_alloc();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QXSetAllocationHook(LimitMemory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TSVWaveFormatExtensible record;
    int32_t frames = 0;
    if (ASize < sizeof(record) + sizeof(frames))
        return 0;
    std::memcpy(&record, AData, sizeof(record));
    std::memcpy(&frames, AData + sizeof(record), sizeof(frames));
    TRef<TSVAudioBuffer> buffer;
    try {
        buffer = TSVAudioBuffer::CreateWaveFormatObject(&record, frames);
    } catch (const Exception&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    CheckAudioBuffer(*buffer);
    SONVERA_FUZZ_CHECK(buffer->GetChannels() == record.Format.nChannels);
    SONVERA_FUZZ_CHECK(static_cast<uint32_t>(buffer->GetSamplesPerSecond()) ==
                       record.Format.nSamplesPerSec);
    SONVERA_FUZZ_CHECK(buffer->GetBitsPerSample() == record.Samples.wValidBitsPerSample);
    SONVERA_FUZZ_CHECK(buffer->GetSize() == static_cast<uint32_t>(frames) ||
                       buffer->GetDataStep() == 0);
    WorkOn(buffer);
    return 0;
}
