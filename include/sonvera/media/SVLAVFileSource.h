// A generator that plays a media file: it opens a file FFmpeg can demux, takes the audio
// stream its player audio is set to (PlayerAudio.Stream, counting audio streams only), decodes
// it through that player audio and sends the start-wave operation and then buffers stamped on
// the stream's clock (one buffer per decoded frame) from its output pin.
//
// The file's own sample width is kept (a 24-bit FLAC, which FFmpeg decodes to 32-bit samples,
// gives 24-bit buffers; floats become 32-bit integers), and so are its speakers where FFmpeg
// knows them. At the end of the file the decoder is drained and the stream ends from the main
// thread with an end-stop; a file that fails midway ends it with a plain stop, and GetError
// tells why. A frame whose rate, channel count or sample width differs from the announced
// format (a stream that changes its format midway, or a damaged frame header that claims to)
// is such a failure: the stream announces one format and keeps to it, so that no component
// downstream ever receives samples it was not started for.
//
// Inputs are untrusted: by default only local files and pipes (`-` is standard input) are
// opened, and a demuxer that would open further files named inside the input (a playlist, a
// concatenation list) is refused with a line that names it; AllowedInputs widens this with a
// comma-separated list of FFmpeg protocol and demuxer names ("hls,http,tcp"). A Stop (or
// Interrupt, from any thread or a signal handler) ends an open or a read that waits on a
// stalled pipe or FIFO within a tenth of a second; the stream then ends with "interrupted".
//
// Pacing: by default the source runs as fast as its chain accepts - its pump clock ticks again
// as soon as the previous buffer is delivered - or, when a consumer downstream takes over
// pumping (a master-pump operation), once per pump request, on the requester's thread. With
// Realtime set its clock delivers the buffers as their time comes.
//
// Threads and locks: a tick holds the component lock while it reads, decodes and delivers, so
// every lock taken downstream nests inside it. Start, Stop and the property setters run on the
// controlling thread; the stream's end is posted to the main thread, which must be pumped.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "sonvera/codecs/RVLAVPlayerAudio.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

// Published: FileName (""), Realtime (false), AllowedInputs (""), PlayerAudio.
class TSVLAVFileSource : public TQXBasicCommonGen {
public:
    // How often the realtime clock looks for buffers that are due, in 100 ns units.
    static constexpr int64_t KRealtimeInterval = 100'000;

    explicit TSVLAVFileSource(TPersistent* AOwner);
    ~TSVLAVFileSource() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TSVPXAudioSourcePin* GetOutputPin() const noexcept { return FOutputPin.get(); }
    std::string GetFileName() const { return GetPropValue(FFileName); }
    // Takes effect at the next Open or Start.
    void SetFileName(const std::string& AValue);
    bool GetRealtime() const { return GetPropValue(FRealtime); }
    void SetRealtime(bool AValue) { SetPropValue("Realtime", FRealtime, AValue); }
    TRVLAVPlayerAudio* GetPlayerAudio() const noexcept { return FPlayerAudio.get(); }
    std::string GetAllowedInputs() const { return GetPropValue(FAllowedInputs); }
    // Takes effect at the next Open or Start.
    void SetAllowedInputs(const std::string& AValue);

    // Ends a blocked open or read (and the stream with it); only sets a flag, so a signal
    // handler may call it. The next Open or Start clears it.
    void Interrupt() noexcept;

    // Opens the file and its decoder, unless a stream is ready to start, so that its format is
    // known before the chain is built. A file FFmpeg cannot open, without that audio stream or
    // whose decoder fails raises EReadError naming the file and the cause.
    void Open();
    // The format the stream is announced in; its channel count is 0 before Open.
    TSVWaveFormatExtensible GetWaveFormat() const;
    // The decoder's short name ("flac").
    std::string GetCodecName() const;
    // The stream's length in 100 ns units, as the container tells it (0 when unknown).
    int64_t GetDuration() const;
    // Stream time reached: the end of the last buffer sent.
    int64_t GetPosition() const noexcept { return FPosition.load(); }
    // Why the last stream ended before the end of the file; empty when it did not.
    std::string GetError() const;

protected:
    bool NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) override;
    void IntStartStream() override;
    void StartPump() override;
    void IntPump() override;
    TRef<IPXNotifyOperation> IntStopStream() override;

private:
    struct TDecoder;

    void OpenInput();
    void CloseInput();
    // Sends the next buffer; at the end of the file the stream ends instead.
    void SendNext();
    void EndStream(const std::string& AError);
    TRef<ISVAudioBuffer> NextBuffer();
    // The decoded frame as a buffer of the announced format; EReadError when it is not one.
    TRef<ISVAudioBuffer> ConvertFrame();
    // The decoded frame at the stream's width and speakers.
    TRef<ISVAudioBuffer> FitFrame();

    std::unique_ptr<TSVPXAudioSourcePin> FOutputPin;
    std::unique_ptr<TRVLAVPlayerAudio> FPlayerAudio;
    std::string FFileName;
    bool FRealtime = false;
    std::string FAllowedInputs;
    std::atomic<bool> FInterrupted{false};
    std::atomic<bool> FStreaming{false}; // between the stream's start and its stop

    // The open file; under the component lock.
    std::unique_ptr<TDecoder> FDecoder;
    TSVWaveFormatExtensible FFormat{};
    bool FReady = false; // opened and nothing read yet
    bool FEnded = false;
    bool FReachedEnd = false;
    std::string FError;
    uint64_t FFramesSent = 0;
    std::atomic<int64_t> FPosition{0};
    std::shared_ptr<IQXTimeSource> FClockSource;
    std::shared_ptr<TQXFreeRunningTimeSource> FFreeRunning; // when FClockSource is one
    int64_t FClockStart = 0;
};

} // namespace sonvera
