// An output that encodes the audio arriving at its input into a file. The container is the one
// its FileFormat names, or the one FFmpeg guesses from FileName; the codec is the one its
// Compression names, or the container's default audio codec (a PCM default is replaced by its
// sibling of the stream's width where the container takes it, so that 24-bit audio makes a
// 24-bit WAV).
//
// At the stream's start the writer opens the file, applies the descriptor's settings and
// options (options FFmpeg knows only as the encoder's own go to the encoder; a name it knows
// nowhere is an error) and its BitRate where it differs from the declared default (elsewhere
// the encoder's own default holds), opens the encoder for the stream's rate, width and speakers
// and writes the header. A stream the encoder refuses as it comes (float into FLAC, 44.1 kHz
// into Opus, 32-bit into a null sink's 16-bit PCM) is opened in the negotiated nearest format
// (NegotiateFormat) and converted to it; one it can take at no rate, width or layout is refused
// with the negotiation's reason. The encoder is opened once where it takes the stream as it
// comes; GetOpenedFormat tells what it was opened with. A stream that announces another format
// midway (a new start-wave operation) is converted to the format the file was opened with,
// through a format filter and a resample filter of the writer's own, until it announces that
// format again. Buffers are cut into the encoder's frames, partial frames waiting for the next
// buffer; frames carry the stream's time, starting at the first buffer's stamp. An end-stop
// sends the last partial frame, drains the encoder and writes the trailer. With MasterPumping
// enabled the writer takes over pumping at the stream's start: its chain then moves one buffer
// per pump request sent from its input pin (Render does it all).
//
// The file appears whole or not at all: a regular file (or none) at FileName is written under a
// temporary name in its folder and renamed over it (keeping its mode and owner) only once the
// stream reached its end and the trailer is written; a symlink's target is what is replaced; a
// device, FIFO, socket or `-` (standard output) is written directly as a stream. A stream that
// is stopped before its end (a plain stop), that fails, or whose writer is destroyed while it
// runs leaves no file. A WAV file switches to RF64 when its data outgrows 4 GiB, and a file
// whose header cannot state its size is a failure.
//
// A failure (unusable format or codec, a write error such as a full disk) is kept for GetError,
// with FFmpeg's own explanation where it logged one, and stops the stream upstream.
//
// Threads and locks: operations arrive on the delivering thread, and the writer's state is
// kept inside its component lock; operations it sends upstream (master pump, stop) are sent
// outside it. The codec is opened and closed under the global codec lock, taken last.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/codecs/RVLAVFileFormat.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/media/SVLAVFormatNegotiation.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

class TSVStreamConverter;

// What a writer's encoder was opened with.
struct TSVLAVOpenedFormat {
    // The stream the encoder takes: the input's own, or the nearest format it is converted to.
    TSVWaveFormatExtensible Format{};
    std::string Codec;        // the encoder's short name ("flac")
    std::string SampleFormat; // FFmpeg's name of the samples it is handed ("s32", "fltp")
};

// Published: FileName (""), Compression, FileFormat (and the output base's Enabled and
// MasterPumping).
class TSVLAVFileWriter : public TSVBasicAudioOut {
public:
    // Frames handed to encoders that take any frame size.
    static constexpr int32_t KFreeFrameSize = 4096;

    explicit TSVLAVFileWriter(TPersistent* AOwner);
    ~TSVLAVFileWriter() override;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    std::string GetFileName() const { return GetPropValue(FFileName); }
    void SetFileName(const std::string& AValue);
    TSVLAVAudioCompression* GetCompression() const noexcept { return FCompression.get(); }
    TRVLAVAudioFileFormat* GetFileFormat() const noexcept { return FFileFormat.get(); }

    // The container the file is written in; null when there is none.
    const AVOutputFormat* GetContainer() const;
    // The same, raising EArgumentError when there is none.
    const AVOutputFormat& Container() const;
    // The encoder for a stream of ABits-bit samples; EArgumentError when there is none (a name
    // FFmpeg has no encoder of, a container without an audio encoder).
    // A float stream (AFloat) in a container whose default is PCM gets its 32-bit float PCM.
    const AVCodec& Encoder(int32_t ABits, bool AFloat = false) const;
    // The format this writer will encode a stream of AInput in, as it is set now (file name,
    // format, compression): the input's own where the encoder and the container take it, the
    // nearest they take where they do not, ARequest's values as they are. EArgumentError names
    // the codec and what it cannot take (see SVLAVFormatNegotiation.h).
    TSVWaveFormatExtensible NegotiateFormat(const TSVWaveFormatExtensible& AInput,
                                            const TSVLAVFormatRequest& ARequest = {}) const {
        return SVNegotiateFormat(*this, AInput, ARequest);
    }
    // Whether AEncoder takes a stream of AFormat: an encoder opened on trial with what the
    // writer would give it. AWhy receives the reason when it does not.
    static bool EncoderTakes(const AVCodec& AEncoder, const TSVWaveFormatExtensible& AFormat,
                             std::string& AWhy);

    // Why the last stream's file failed; empty while nothing failed.
    std::string GetError() const override;
    // What the encoder of the last stream was opened with: the stream's own format, or the
    // negotiated one it is converted to (a float stream into FLAC becomes 24-bit, a 44.1 kHz
    // stream into Opus 48 kHz). Empty until a stream's file opened and when its start failed;
    // it stays after the stream's end.
    std::optional<TSVLAVOpenedFormat> GetOpenedFormat() const;
    // Frames encoded in the last stream.
    uint64_t GetFramesWritten() const noexcept { return FFramesWritten.load(); }

    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) override;

private:
    struct TEncoder;

    // Each returns false when the writer failed (and the stream should stop upstream).
    bool StartFile(const TSVWaveFormatExtensible& AFormat);
    bool WriteBuffer(const TRef<ISVAudioBuffer>& ABuffer);
    // Ends the file and puts it in place.
    void FinishFile();

    // Opens the file with its encoder for a stream of AInput (see GetOpenedFormat).
    void OpenFile(const TSVWaveFormatExtensible& AInput);
    // Makes AEncoder's container and stream and opens the encoder for AFormat in it; the
    // refusal when the encoder or the container does not take AFormat (nothing is written yet).
    std::string TryEncoder(TEncoder& AEncoder, const AVOutputFormat& AContainer,
                           const TSVWaveFormatExtensible& AFormat);
    void FollowFormat(const TSVWaveFormatExtensible& AFormat);
    void ApplyEncoderOptions(AVCodecContext& AContext) const;
    void Encode(ISVAudioBuffer& ABuffer);
    void SendFrame(bool ALast);
    void WritePackets();
    // Closes the codec and the file; the file goes unless FinishFile put it in place.
    void CloseFile();
    void Fail(const std::string& AError);

    std::string FFileName;
    std::unique_ptr<TSVLAVAudioCompression> FCompression;
    std::unique_ptr<TRVLAVAudioFileFormat> FFileFormat;
    // The open file; under the component lock.
    std::unique_ptr<TEncoder> FEncoder;
    // Converts to the file's format while the stream is in another; under the component lock.
    std::unique_ptr<TSVStreamConverter> FConverter;
    bool FConverting = false;
    std::string FError;
    std::optional<TSVLAVOpenedFormat> FOpened; // under the component lock
    std::atomic<uint64_t> FFramesWritten{0};
};

} // namespace sonvera
