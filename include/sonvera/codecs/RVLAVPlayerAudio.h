// The audio side of a media player: the object configured for one audio stream of a container
// opens FFmpeg's decoder on the codec context the player hands it, describes the decoded audio
// as a wave-format record, and turns each frame the player decodes into its Frame into an audio
// buffer of interleaved integer samples.
//
// The ten sample formats FFmpeg numbers 0 to 9 are taken: 8-, 16- and 32-bit integers are
// copied (planes interleaved); 32- and 64-bit floats become 32-bit integers round(2147483647 ×
// x), ties to even, with x brought into -1 … 1 first and NaN taken as 0 (so 1.0 gives
// 2147483647 and -1.0 gives -2147483647), under a 32-bit header. Other formats are refused by
// TryOpen. The channel count is the context's channel layout's; the mask has one bit per
// channel from the lowest, (1 << (channels mod 32)) - 1.
//
// Opening and closing the decoder run under the global codec lock; DecodeBuffer runs on the
// player's decoding thread without locking. Closing takes the lock too (a player of the older
// design closed without it): every codec this library closes, descriptors' included, is closed
// under the lock its opening takes, so a program that guards FFmpeg with that lock has one rule
// to follow, at the cost of one uncontended lock per stream.
//
// DecodeBuffer raises where a frame does not fit its stream, instead of copying it at the
// record's width or handing out a buffer of unwritten samples: copying a frame of another width
// or channel count by the record would read or write past the frame or the buffer, and a buffer
// of unwritten samples would travel downstream as noise.
#pragma once

#include <cstdint>

#include "sonvera/buffers/SVBufferRecycler.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/codecs/RVLAVCreation.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/format/GMDXTypes.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

// Published: Stream (0), the player's audio index this object takes.
class TRVLAVPlayerMediaStream : public TLockPersistent {
public:
    ~TRVLAVPlayerMediaStream() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    int32_t GetStream() const { return GetPropValue(FStream); }
    void SetStream(int32_t AValue) { SetPropValue("Stream", FStream, AValue); }
    // True from a TryOpen with the matching index (even when the decoder then failed to open)
    // until Close.
    bool GetOpened() const noexcept { return FCodecCtx != nullptr; }

    AVCodecContext* GetCodecContext() const noexcept { return FCodecCtx; }
    const AVCodec* GetCodec() const noexcept { return FCodec; }
    // The frame the player decodes into; null until a successful TryOpen.
    AVFrame* GetFrame() const noexcept { return FFrame.get(); }
    int32_t GetRealIndex() const noexcept { return FRealIndex; }
    // Kept for the player; never read or written here.
    int32_t GetBytesRemaining() const noexcept { return FBytesRemaining; }
    void SetBytesRemaining(int32_t AValue) noexcept { FBytesRemaining = AValue; }

    // Frees the frame and closes the decoder on the player's context (which stays the
    // player's, and must live until this Close, or this object's end). A closed context cannot
    // be opened again: a new TryOpen needs a fresh one.
    virtual void Close();

protected:
    TRVLAVPlayerMediaStream(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                            TPersistentNotify AOnChange);

    AVCodecContext* FCodecCtx = nullptr;
    const AVCodec* FCodec = nullptr;
    TRVLAVFrame FFrame;
    int32_t FRealIndex = 0;

private:
    void ReleaseDecoder() noexcept;

    int32_t FStream = 0;
    int32_t FBytesRemaining = 0;
};

class TRVLAVMediaPlayerAudio : public TRVLAVPlayerMediaStream {
public:
    static TRVLAVMediaPlayerAudio& Create(const TOnCreated<TRVLAVMediaPlayerAudio>& AOnCreated,
                                          TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                          TPersistentNotify AOnChange = nullptr);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Offered one audio stream of the container: AAudioIndex, its number among the audio
    // streams, and ARealIndex, its index in the container. Another index than Stream answers
    // false with AError 0 and changes nothing. The matching one stores ARealIndex and
    // ACodecContext, opens the context's decoder (AError: FFmpeg's code, false when it is not
    // 0), refuses what the audio buffer cannot carry (sample formats beyond the ten, no
    // channels, a frame wider than 65535 bytes: false with AVERROR(ENOTSUP)), fills
    // AWaveFormat and allocates Frame. A null context raises EAssertionFailed.
    bool TryOpen(TSVWaveFormatExtensible& AWaveFormat, int32_t AAudioIndex, int32_t ARealIndex,
                 AVCodecContext* ACodecContext, int32_t& AError);
    // The current Frame as an audio buffer in the format of AWaveFormat (as TryOpen filled
    // it), frames unstamped: a new one, or the one handed out last once nothing else holds it
    // (TSVBufferRecycler). Calls come from one thread at a time. Everything the frame claims
    // is checked before anything is allocated; a frame that does not fit the stream (another
    // sample format or channel count, planes missing or shorter than its sample count) or a
    // record of another sample width raises EArgumentError, as does a stream format outside
    // the ten. Without an open stream it raises EAssertionFailed.
    TRef<ISVAudioBuffer> DecodeBuffer(const TSVWaveFormatExtensible& AWaveFormat) const;
    // Lets go of the last buffer handed out as well.
    void Close() override;

protected:
    using TRVLAVPlayerMediaStream::TRVLAVPlayerMediaStream;

private:
    // The buffers DecodeBuffer hands out, each made over once its holders have let it go.
    mutable TSVBufferRecycler FBuffers;
};

// Keeps the wave format its own TryOpen fills and its own DecodeBuffer uses.
class TRVLAVPlayerAudio : public TRVLAVMediaPlayerAudio {
public:
    static TRVLAVPlayerAudio& Create(const TOnCreated<TRVLAVPlayerAudio>& AOnCreated,
                                     TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                     TPersistentNotify AOnChange = nullptr);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    bool TryOpen(int32_t AAudioIndex, int32_t ARealIndex, AVCodecContext* ACodecContext,
                 int32_t& AError) {
        return TRVLAVMediaPlayerAudio::TryOpen(FWaveFormat, AAudioIndex, ARealIndex, ACodecContext,
                                               AError);
    }
    TRef<ISVAudioBuffer> DecodeBuffer() const {
        return TRVLAVMediaPlayerAudio::DecodeBuffer(FWaveFormat);
    }
    const TSVWaveFormatExtensible& GetWaveFormat() const noexcept { return FWaveFormat; }

protected:
    using TRVLAVMediaPlayerAudio::TRVLAVMediaPlayerAudio;

private:
    TSVWaveFormatExtensible FWaveFormat{};
};

} // namespace sonvera
