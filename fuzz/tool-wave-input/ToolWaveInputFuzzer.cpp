// The bytes of a WAV file read as the sonvera tool reads its input, into the audio buffer it
// converts. A file the tool cannot take is refused with EReadError; any other gives a whole
// buffer holding exactly the file's samples in the file's format, whose peak level the tool
// can print.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "AudioBufferChecks.h"
#include "AudioFiles.h"

using namespace sonvera;
using namespace sonvera::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    tool::TWaveData wave;
    try {
        wave = tool::ReadWaveMemory(AData, ASize, "input");
    } catch (const EReadError&) {
        return 0;
    }
    const TRef<ISVAudioBuffer> read = tool::AudioBufferOf(wave);
    const TRef<TSVAudioBuffer> buffer = IntfCast<TSVAudioBuffer>(read);
    CheckAudioBuffer(*buffer);
    SONVERA_FUZZ_CHECK(static_cast<uint32_t>(buffer->GetChannels()) == wave.Channels);
    SONVERA_FUZZ_CHECK(static_cast<uint32_t>(buffer->GetSampleBitWidth()) == wave.Bits);
    SONVERA_FUZZ_CHECK(static_cast<uint32_t>(buffer->GetSamplesPerSecond()) == wave.Rate);
    SONVERA_FUZZ_CHECK(buffer->GetByteSize() == wave.Samples.size());
    SONVERA_FUZZ_CHECK(wave.Samples.empty() ||
                       std::memcmp(buffer->Read(), wave.Samples.data(), wave.Samples.size()) == 0);
    SONVERA_FUZZ_CHECK(!std::isnan(tool::PeakLevelDb(read)));
    WorkOn(buffer);
    return 0;
}
