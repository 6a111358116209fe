// Audio codec descriptors: the encoder and the decoder.
#pragma once

#include <cstdint>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/codecs/RVLAVCompression.h"

namespace sonvera {

// An audio encoder. Keeps, for the driving component, an audio buffer of samples carried
// between calls and a position in it; Close releases the buffer.
class TSVLAVAudioCompression
    : public TRVLAVCompressionClass<TSVLAVAudioCompression, TRVLAVCompression> {
public:
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    static AVMediaType ClassMediaType() noexcept { return AVMEDIA_TYPE_AUDIO; }
    static bool ClassIsDecompression() noexcept { return false; }
    AVMediaType GetMediaType() const override { return ClassMediaType(); }

    void Close() override;

    const TRef<ISVAudioBuffer>& GetBuffer() const noexcept { return FBuffer; }
    void SetBuffer(TRef<ISVAudioBuffer> AValue) { FBuffer = std::move(AValue); }
    int32_t GetLastPosition() const noexcept { return FLastPosition; }
    void SetLastPosition(int32_t AValue) noexcept { FLastPosition = AValue; }

protected:
    friend TRVLAVCompressionClass;
    using TRVLAVCompressionClass::TRVLAVCompressionClass;

private:
    TRef<ISVAudioBuffer> FBuffer;
    int32_t FLastPosition = 0;
};

// An audio decoder.
class TSVLAVAudioDecompression
    : public TRVLAVCompressionClass<TSVLAVAudioDecompression, TSVLAVAudioCompression> {
public:
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    static bool ClassIsDecompression() noexcept { return true; }
    bool IsDecompression() const override { return ClassIsDecompression(); }

protected:
    friend TRVLAVCompressionClass;
    using TRVLAVCompressionClass::TRVLAVCompressionClass;
};

} // namespace sonvera
