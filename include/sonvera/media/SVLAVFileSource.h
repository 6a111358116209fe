// A generator that plays a media file: it opens a file FFmpeg can demux, takes the audio
// stream its player audio is set to (PlayerAudio.Stream, counting audio streams only), decodes
// it through that player audio and sends the start-wave operation and then buffers stamped on
// the stream's clock (one buffer per decoded frame) from its output pin.
//
// The file's own sample width is kept (a 24-bit FLAC, which FFmpeg decodes to 32-bit samples,
// gives 24-bit buffers; floats become 32-bit integers), and so are its speakers where FFmpeg
// knows them. At the end of the file the decoder is drained and the stream ends from the main
// thread with an end-stop; a file that fails midway ends it with a plain stop, and GetError
// tells why. A frame whose rate, channel count or sample width differs from the one before
// (concatenated files, chained streams, a damaged frame header that claims another rate) is
// delivered in its own format, which the stream source announces first; a packet the decoder
// refuses as damaged is skipped and counted. With Strict set, the first of either ends the
// stream with a failure instead.
//
// Inputs are untrusted: by default only local files and pipes (`-` is standard input) are
// opened, and a demuxer that would open further files named inside the input (a playlist, a
// concatenation list) is refused with a line that names it; AllowedInputs widens this with a
// comma-separated list of FFmpeg protocol and demuxer names ("hls,http,tcp"). A Stop ends an
// open or a read that waits on a stalled pipe or FIFO within a tenth of a second, and so does
// Interrupt, which a signal handler may call.
//
// Pacing, stamping and the stream's end are the stream source's (see SVStreamSource.h).
//
// Threads and locks: a tick holds the component lock while it reads, decodes and delivers, so
// every lock taken downstream nests inside it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "sonvera/codecs/RVLAVPlayerAudio.h"
#include "sonvera/components/SVStreamSource.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Published: FileName (""), Strict (false), Float (true), Threads (0), AllowedInputs (""),
// PlayerAudio, and the stream source's.
class TSVLAVFileSource : public TSVStreamSource {
public:
    explicit TSVLAVFileSource(TPersistent* AOwner);
    ~TSVLAVFileSource() override;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    std::string GetFileName() const { return GetPropValue(FFileName); }
    // Takes effect at the next Open or Start.
    void SetFileName(const std::string& AValue);
    bool GetStrict() const { return GetPropValue(FStrict); }
    void SetStrict(bool AValue) { SetPropValue("Strict", FStrict, AValue); }
    // Decoders that produce floats (MP3, AAC, Opus, Vorbis) hand them on as float buffers, so
    // that effects never see them as integers; without it they become 32-bit integers. Takes
    // effect at the next Open or Start.
    bool GetFloat() const { return GetPropValue(FFloat); }
    void SetFloat(bool AValue) { SetPropValue("Float", FFloat, AValue); }
    // The decoder's threads, 0 to 64: with 0 FFmpeg picks a count for the processor, as the
    // ffmpeg command does, and codecs that decode frames in parallel (FLAC, ALAC, PCM) use them;
    // 1 decodes on the source's own thread only. The samples are the same either way. Takes
    // effect at the next Open or Start.
    int32_t GetThreads() const { return GetPropValue(FThreads); }
    void SetThreads(int32_t AValue) { SetRangedPropValue("Threads", FThreads, AValue); }
    TRVLAVPlayerAudio* GetPlayerAudio() const noexcept { return FPlayerAudio.get(); }
    std::string GetAllowedInputs() const { return GetPropValue(FAllowedInputs); }
    // Takes effect at the next Open or Start.
    void SetAllowedInputs(const std::string& AValue);

    // Ends a blocked open or read (and the stream with it), and refuses every later one until
    // FileName is set again. It only sets a flag, so a signal handler may call it.
    void Interrupt() noexcept;
    // The damaged packets skipped in the last stream.
    uint64_t GetDamagedFrames() const noexcept { return FDamagedFrames.load(); }

    // Open (the stream source's) opens the file and its decoder: a file FFmpeg cannot open,
    // without that audio stream or whose decoder fails raises EReadError naming the file and
    // the cause.
    // The decoder's short name ("flac").
    std::string GetCodecName() const;
    // The stream's length in 100 ns units, as the container tells it (0 when unknown).
    int64_t GetDuration() const;
    int64_t GetStreamDuration() const override { return GetDuration(); }

protected:
    TSVWaveFormatExtensible OpenStream() override;
    // The next decoded frame; null at the end of the file.
    TRef<ISVAudioBuffer> ReadBuffer() override;
    void CloseStream() override;
    void IntStopping() noexcept override;

private:
    struct TDecoder;

    // The decoded frame as a buffer in its own format (the file's width and speakers).
    TRef<ISVAudioBuffer> ConvertFrame();
    void SkipDamaged(int AError);

    std::unique_ptr<TRVLAVPlayerAudio> FPlayerAudio;
    std::string FFileName;
    std::string FAllowedInputs;
    std::atomic<bool> FInterrupted{false};
    std::atomic<bool> FStopping{false}; // a stop of the running stream is under way
    bool FStrict = false;
    bool FFloat = true;
    int32_t FThreads = 0;
    std::atomic<uint64_t> FDamagedFrames{0};

    // The open file; under the component lock.
    std::unique_ptr<TDecoder> FDecoder;
    TSVWaveFormatExtensible FFormat{};
};

} // namespace sonvera
