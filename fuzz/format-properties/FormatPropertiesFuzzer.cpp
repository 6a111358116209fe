// A JSON document read as the published properties of each audio format descriptor. A read
// that raises sets nothing; a read that does not leaves the properties in their bounds and the
// record derived from them, and the properties write a document that reads back to the same
// record and writes the same document.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "sonvera/format/SVAudioFormat.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

using namespace sonvera;
using namespace sonvera::fuzz;

namespace {

std::vector<uint8_t> RecordOf(const TSVAudioFormatBasic& AFormat) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(AFormat.GetWaveFormat());
    return std::vector<uint8_t>(bytes, bytes + sizeof(TSVWaveFormatExtensible));
}

std::string Written(const TSVAudioFormatBasic& AFormat) {
    TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
    WritePublishedProperties(AFormat, writer);
    return writer->Text();
}

void CheckRecord(const TSVAudioFormatBasic& AFormat) {
    const TSVWaveFormatExtensible& record = *AFormat.GetWaveFormat();
    const tWAVEFORMATEX& format = record.Format;
    SONVERA_FUZZ_CHECK(format.nChannels >= 1 && format.nChannels <= 32);
    SONVERA_FUZZ_CHECK(record.Samples.wValidBitsPerSample >= 1 &&
                       record.Samples.wValidBitsPerSample <= 32);
    SONVERA_FUZZ_CHECK(format.wFormatTag == WAVE_FORMAT_EXTENSIBLE);
    SONVERA_FUZZ_CHECK(format.wBitsPerSample == (record.Samples.wValidBitsPerSample + 7) / 8 * 8);
    SONVERA_FUZZ_CHECK(format.nBlockAlign == format.wBitsPerSample / 8 * format.nChannels);
    SONVERA_FUZZ_CHECK(format.nAvgBytesPerSec == format.nSamplesPerSec * format.nBlockAlign);
    SONVERA_FUZZ_CHECK(format.cbSize == SV_EXTENSIBLE_EXTRA_SIZE);
    SONVERA_FUZZ_CHECK(record.SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
}

template <class TFormat> void ReadInto(const std::string& AText) {
    TRef<IReader> reader;
    try {
        reader = TJsonReader::Create(AText);
    } catch (const EReadError&) {
        return;
    }
    TFormat format(nullptr, nullptr, nullptr);
    const std::vector<uint8_t> record = RecordOf(format);
    const std::string document = Written(format);
    try {
        ReadPublishedProperties(format, reader);
    } catch (const EReadError&) {
        SONVERA_FUZZ_CHECK(RecordOf(format) == record);
        SONVERA_FUZZ_CHECK(Written(format) == document);
        return;
    }
    CheckRecord(format);
    if constexpr (requires { format.GetBufferSize(); })
        SONVERA_FUZZ_CHECK(format.GetBufferSize() >= 1);
    const std::string written = Written(format);
    TFormat again(nullptr, nullptr, nullptr);
    ReadPublishedProperties(again, TJsonReader::Create(written));
    SONVERA_FUZZ_CHECK(RecordOf(again) == RecordOf(format));
    SONVERA_FUZZ_CHECK(Written(again) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string text(reinterpret_cast<const char*>(AData), ASize);
    ReadInto<TSVAudioFormatBasic>(text);
    ReadInto<TSVOptionalBasicAudioFormat>(text);
    ReadInto<TSVAudioFormat>(text);
    ReadInto<TSVOptionalAudioFormat>(text);
    return 0;
}
