// Audio codec descriptors: the encoder and the decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/codecs/RVLAVCompression.h"

namespace sonvera {

// Keeps, for the driving component, an audio buffer of samples carried between calls and a
// position in it; Close releases the buffer.
class TSVLAVAudioCompression : public TRVLAVCompression {
public:
    // The codec is looked up as a decoder by Name on every call.
    static TSVLAVAudioCompression& Create(const TOnCreated<TSVLAVAudioCompression>& AOnCreated,
                                          TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                          TPersistentNotify AOnChange = nullptr);
    // The codec comes from AOnGetCodec; Name is taken from the codec it gives now, if any.
    static TSVLAVAudioCompression& CreateEx(const TOnCreated<TSVLAVAudioCompression>& AOnCreated,
                                            TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                            TRVLAVCodecSource AOnGetCodec,
                                            TPersistentNotify AOnChange = nullptr);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    static AVMediaType ClassMediaType() noexcept { return AVMEDIA_TYPE_AUDIO; }
    static bool ClassIsDecompression() noexcept { return false; }
    AVMediaType GetMediaType() const override { return ClassMediaType(); }

    // Every audio encoder FFmpeg lists, in its order: the short name (ciCode), the long name
    // (ciDescription) or "[name] - long name" (ciBoth).
    static std::vector<std::string> GetAvailableCompressions(TRVCompressionInfo AInfo);
    static void GetAvailableCompressions(std::vector<std::string>& AList, TRVCompressionInfo AInfo);

    void Close() override;

    const TRef<ISVAudioBuffer>& GetBuffer() const noexcept { return FBuffer; }
    void SetBuffer(TRef<ISVAudioBuffer> AValue) { FBuffer = std::move(AValue); }
    int32_t GetLastPosition() const noexcept { return FLastPosition; }
    void SetLastPosition(int32_t AValue) noexcept { FLastPosition = AValue; }

protected:
    using TRVLAVCompression::TRVLAVCompression;

private:
    TRef<ISVAudioBuffer> FBuffer;
    int32_t FLastPosition = 0;
};

class TSVLAVAudioDecompression : public TSVLAVAudioCompression {
public:
    static TSVLAVAudioDecompression& Create(const TOnCreated<TSVLAVAudioDecompression>& AOnCreated,
                                            TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                            TPersistentNotify AOnChange = nullptr);
    static TSVLAVAudioDecompression&
    CreateEx(const TOnCreated<TSVLAVAudioDecompression>& AOnCreated, TPersistent* AOwner,
             TRef<IChangeNotifyLock> ALock, TRVLAVCodecSource AOnGetCodec,
             TPersistentNotify AOnChange = nullptr);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    static bool ClassIsDecompression() noexcept { return true; }
    bool IsDecompression() const override { return ClassIsDecompression(); }

    // Every audio decoder FFmpeg lists, in its order.
    static std::vector<std::string> GetAvailableCompressions(TRVCompressionInfo AInfo);
    static void GetAvailableCompressions(std::vector<std::string>& AList, TRVCompressionInfo AInfo);

protected:
    using TSVLAVAudioCompression::TSVLAVAudioCompression;
};

} // namespace sonvera
