// A JSON document read into an audio buffer. A read that raises leaves the buffer on the store,
// size and bytes it had; a read that does not leaves a whole buffer, which writes a document
// that reads back to a buffer writing the same document. A second holder of the buffer's
// store never sees a change.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "AudioBufferChecks.h"
#include "sonvera/platform/runtime/JsonSerialization.h"

using namespace sonvera;
using namespace sonvera::fuzz;

namespace {

struct TBufferState {
    TQXSmartBuffer* Store;
    uint32_t LogicalSize;
    bool Owner;
    std::vector<uint8_t> Bytes;

    explicit TBufferState(const TSVAudioBuffer& ABuffer)
        : Store(ABuffer.GetDataContainer()), LogicalSize(ABuffer.GetLogicalSize()),
          Owner(ABuffer.IsOwnerReference()) {
        const auto* bytes = static_cast<const uint8_t*>(Store->GetData());
        Bytes.assign(bytes, bytes + LogicalSize);
    }
    bool operator==(const TBufferState&) const = default;
};

// Stereo, 16 bits, three frames of known samples: a buffer in use, with a second holder.
TRef<TSVAudioBuffer> BufferInUse() {
    const int16_t samples[] = {1, -1, 300, -300, 32767, -32768};
    return TSVAudioBuffer::CreateDataObject(samples, 48000, 16, 2, 3);
}

std::string Written(const TRef<TSVAudioBuffer>& ABuffer) {
    TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
    ABuffer->SerializationWrite(writer);
    return writer->Text();
}

void CheckRoundTrip(const TRef<TSVAudioBuffer>& ABuffer) {
    if (ABuffer->GetByteSize() > KMaxWorkedBytes)
        return;
    const std::string document = Written(ABuffer);
    TRef<TSVAudioBuffer> again = TSVAudioBuffer::CreateObject();
    again->SerializationRead(TJsonReader::Create(document));
    CheckAudioBuffer(*again);
    SONVERA_FUZZ_CHECK(Written(again) == document);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TRef<IReader> reader;
    try {
        reader = TJsonReader::Create(std::string(reinterpret_cast<const char*>(AData), ASize));
    } catch (const EReadError&) {
        return 0;
    }
    TRef<TSVAudioBuffer> buffer = BufferInUse();
    const TRef<TSVAudioBuffer> holder = TSVAudioBuffer::CreateExObject(buffer);
    const TBufferState before(*buffer);
    try {
        buffer->SerializationRead(reader);
    } catch (const Exception&) {
        SONVERA_FUZZ_CHECK(TBufferState(*buffer) == before);
        CheckAudioBuffer(*buffer);
        return 0;
    }
    SONVERA_FUZZ_CHECK(TBufferState(*holder) == before);
    CheckAudioBuffer(*buffer);
    CheckRoundTrip(buffer);
    WorkOn(buffer);
    return 0;
}
