// The media components in real chains: a generator written through the file writer and read
// back through the file source, the resample filter, and the sample transfer they share.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;

namespace {

const auto* const GMediaStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

std::string TempFile(const std::string& AName) {
    return (std::filesystem::temp_directory_path() /
            ("sonvera-media-" + std::to_string(getpid()) + "-" + AName))
        .string();
}

// ATotal frames of a sine at AFrequency and half scale (or, with AFrequency 0, a ramp that
// tells every frame and channel apart), in buffers of the format's size.
class TSignalGen : public TSVCommonGen {
public:
    TSignalGen(int64_t ATotal, double AFrequency = 0)
        : TSVCommonGen(nullptr), FTotal(ATotal), FFrequency(AFrequency) {}
    ~TSignalGen() override { Stop(); }

protected:
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool&, bool& AStop) override {
        const auto frames =
            static_cast<uint32_t>(std::min<int64_t>(ABuffer->GetSize(), FTotal - FNext));
        ABuffer->Resize(frames, false);
        const int32_t bits = ABuffer->GetSampleBitWidth();
        const double full = std::ldexp(1.0, bits - 1) - 1;
        for (uint32_t i = 0; i < frames; ++i, ++FNext)
            for (int32_t c = 0; c < ABuffer->GetChannels(); ++c) {
                const double x = FFrequency > 0
                                     ? 0.5 * std::sin(2 * std::numbers::pi * FFrequency * FNext /
                                                      ABuffer->GetSamplesPerSecond())
                                     : std::fmod(FNext * 0.0137 + c * 0.31, 1.6) - 0.8;
                ABuffer->SetItem(i, static_cast<uint32_t>(c),
                                 static_cast<int32_t>(std::lround(x * full)) +
                                     (bits == 8 ? 128 : 0));
            }
        AStop = FNext == FTotal;
    }

private:
    int64_t FTotal;
    double FFrequency;
    int64_t FNext = 0;
};

using TRecorder = sonvera::testing::TRecordingAudioOut;

// Starts AGenerator with AConsumer pacing it and pumps from AConsumer until the stream ends.
void RunPumped(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer) {
    AConsumer.GetMasterPumping()->SetEnabled(true);
    AGenerator.Start();
    for (int guard = 0; AGenerator.GetRunning() && guard < 100000; ++guard) {
        AConsumer.GetInputPin()->Notify(TPXPumpRequestOperation::Create());
        TMainThread::ProcessQueue();
    }
    ASSERT_FALSE(AGenerator.GetRunning());
}

// Starts ASource on its own clock and serves the main thread until the stream has ended.
void RunFree(TSVLAVFileSource& ASource) {
    ASource.Start();
    while (ASource.GetRunning() && TMainThread::WaitForWork())
        TMainThread::ProcessQueue();
}

void ExpectContiguous(const TRecorder& ARecorder) {
    ASSERT_FALSE(ARecorder.Begins.empty());
    EXPECT_EQ(ARecorder.Begins.front(), 0);
    for (size_t i = 1; i < ARecorder.Begins.size(); ++i)
        EXPECT_EQ(ARecorder.Begins[i], ARecorder.Ends[i - 1]);
}

// Sample AIndex of a plane, as a number.
template <class T> double Read(const uint8_t* APlane, int AIndex) {
    return reinterpret_cast<const T*>(APlane)[AIndex];
}

// The level of channel 0 without ASkip samples at either end.
double Rms(const TRecorder& ARecorder, size_t ASkip) {
    const std::vector<int32_t>& samples = ARecorder.Samples;
    double sum = 0;
    for (size_t i = ASkip; i < samples.size() - ASkip; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(samples.size() - 2 * ASkip));
}

// Encoders opened in this program: every codec open passes through this definition, which
// takes the place of FFmpeg's own and hands the call on to it.
std::atomic<int> GEncoderOpens{0};

} // namespace

extern "C" int avcodec_open2(AVCodecContext* AContext, const AVCodec* ACodec,
                             AVDictionary** AOptions) {
    using TOpen = int (*)(AVCodecContext*, const AVCodec*, AVDictionary**);
    static const auto ffmpegOpen = reinterpret_cast<TOpen>(dlsym(RTLD_NEXT, "avcodec_open2"));
    if (av_codec_is_encoder(ACodec ? ACodec : AContext->codec))
        ++GEncoderOpens;
    return ffmpegOpen(AContext, ACodec, AOptions);
}

TEST(SVLAVSampleTransfer, PacksAndConvertsEveryWidthExactly) {
    // Packing rounds to nearest and saturates; left-justified 24-bit samples come back exactly.
    const int32_t wide[] = {0x7FFFFF00, 0x7FFFFFFF, -0x7FFFFF80, INT32_MIN, 0x00000180, -0x181};
    uint8_t packed[18];
    SVPackS32ToS24(wide, packed, 6);
    int32_t unpacked[6];
    SVUnpackS24ToS32(packed, unpacked, 6);
    EXPECT_EQ(
        std::vector<int32_t>(unpacked, unpacked + 6),
        (std::vector<int32_t>{0x7FFFFF00, 0x7FFFFF00, -0x7FFFFF00, INT32_MIN, 0x200, -0x200}));

    const std::vector<uint8_t> s16 = {0, 0x80, 0xFF, 0x7F, 1, 0, 2, 0};
    const std::vector<uint8_t> halves = {0, 0x80, 0, 0x40, 0, 0xC0, 0, 0};
    const std::vector<uint8_t> s24 = {1, 0, 0, 2, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0x80};
    const struct {
        int32_t Bits;
        AVSampleFormat Format;
        double (*Value)(const uint8_t*, int);
        std::vector<uint8_t> Source;  // two frames of two channels
        std::vector<double> Expected; // plane 0 then plane 1 (or interleaved), as numbers
    } cases[] = {
        {8, AV_SAMPLE_FMT_U8P, Read<uint8_t>, {0, 128, 255, 64}, {0, 255, 128, 64}},
        {16, AV_SAMPLE_FMT_S16, Read<int16_t>, s16, {-32768, 32767, 1, 2}},
        {24, AV_SAMPLE_FMT_S32P, Read<int32_t>, s24, {256, -256, 512, -2147483648.0}},
        {16, AV_SAMPLE_FMT_FLTP, Read<float>, halves, {-1, -0.5, 0.5, 0}},
        {8, AV_SAMPLE_FMT_DBL, Read<double>, {0, 128, 255, 64}, {-1, 0, 127.0 / 128, -0.5}}};
    for (const auto& test : cases) {
        SCOPED_TRACE(av_get_sample_fmt_name(test.Format));
        TRVLAVFrame frame = NewLAVFrame();
        frame->format = test.Format;
        frame->nb_samples = 3;
        av_channel_layout_default(&frame->ch_layout, 2);
        ASSERT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
        SVWriteFrameSamples(test.Source.data(), test.Bits, 2, 2, *frame, 1); // from frame 1 on
        const bool planar = av_sample_fmt_is_planar(test.Format);
        std::vector<double> values;
        for (int i = 0; i < 4; ++i) {
            const int plane = planar ? i / 2 : 0;
            const int index = planar ? 1 + i % 2 : 2 + i;
            values.push_back(test.Value(frame->extended_data[plane], index));
        }
        EXPECT_EQ(values, test.Expected);
        // Samples past the frame's end are refused, and so are samples wider than it holds.
        EXPECT_THROW(SVWriteFrameSamples(wide, test.Bits, 2, 2, *frame, 2), EArgumentError);
        if (av_get_bytes_per_sample(test.Format) < 4) {
            EXPECT_THROW(SVWriteFrameSamples(wide, 32, 2, 1, *frame, 0), EArgumentError);
        }
    }
}

TEST(TSVLAVFileWriter, WritesWhatTheSourceReadsBackSampleForSample) {
    const TSVSpeakers surround{spFrontLeft, spFrontRight, spFrontCenter,
                               spSubwoofer, spBackLeft,   spBackRight};
    const struct {
        const char* File;
        uint32_t Bits;
        TSVSpeakers Speakers;
        uint32_t BufferSize; // not a multiple of the codec's frames: partial frames wait
        const char* Codec = KRVLAVAutoSelect;
    } cases[] = {
        {"u8-mono.wav", 8, {spFrontLeft}, 1000},
        {"s24-surround.wav", 24, surround, 777},
        {"s16-stereo.flac", 16, {spFrontLeft, spFrontRight}, 1000},
        {"s24-quad.flac", 24, {spFrontLeft, spFrontRight, spBackLeft, spBackRight}, 5000},
        // Decoded as planes of left-justified 32-bit samples, packed more than a block at once.
        {"s24-three.m4a", 24, {spFrontLeft, spFrontRight, spFrontCenter}, 5000, "alac"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.File);
        const std::string file = TempFile(test.File);
        TRecorder written(nullptr);
        {
            TSignalGen gen(10'001);
            TSVLAVFileWriter writer(nullptr);
            gen.GetAudioFormat()->SetSampleRate(44100);
            gen.GetAudioFormat()->SetBits(test.Bits);
            gen.GetAudioFormat()->SetCountChannels(static_cast<uint32_t>(test.Speakers.Count()));
            gen.GetAudioFormat()->SetChannelMask(test.Speakers);
            gen.GetAudioFormat()->SetBufferSize(test.BufferSize);
            writer.SetFileName(file);
            writer.GetCompression()->SetName(test.Codec);
            ASSERT_TRUE(gen.GetOutputPin()->Connect(writer.GetInputPin()));
            ASSERT_TRUE(gen.GetOutputPin()->Connect(written.GetInputPin()));
            RunPumped(gen, writer);
            EXPECT_EQ(writer.GetError(), "");
            EXPECT_EQ(writer.GetFramesWritten(), 10'001u);
        }
        // Decoded on the source's thread alone and on FFmpeg's frame threads: the same samples.
        for (const int32_t threads : {1, 0, 3}) {
            SCOPED_TRACE(threads);
            TSVLAVFileSource source(nullptr);
            TRecorder read(nullptr);
            source.SetFileName(file);
            source.SetThreads(threads);
            ASSERT_TRUE(source.GetOutputPin()->Connect(read.GetInputPin()));
            RunPumped(source, read);
            EXPECT_EQ(source.GetError(), "");
            EXPECT_EQ(read.Format.Samples.wValidBitsPerSample, test.Bits);
            EXPECT_EQ(read.Format.dwChannelMask, test.Speakers.Mask());
            EXPECT_TRUE(read.Bytes == written.Bytes);
            ExpectContiguous(read);
            EXPECT_EQ(read.Operations.back(), "TPXEndStopOperation");
        }
        std::filesystem::remove(file);
    }
}

TEST(TSVLAVFileSource, RunsFreeOrInRealTimeAndRefusesWhatItCannotOpen) {
    const std::string file = TempFile("paced.wav");
    {
        TSignalGen gen(44'100);
        TSVLAVFileWriter writer(nullptr);
        gen.GetAudioFormat()->SetSampleRate(44100);
        writer.SetFileName(file);
        ASSERT_TRUE(gen.GetOutputPin()->Connect(writer.GetInputPin()));
        RunPumped(gen, writer);
    }
    // Unpaced: the source's own clock thread delivers back to back; the end comes by the main
    // thread.
    TSVLAVFileSource source(nullptr);
    TRecorder free(nullptr);
    source.SetFileName(file);
    EXPECT_THROW(source.SetThreads(65), EArgumentError);
    EXPECT_EQ(source.GetThreads(), 0);
    ASSERT_TRUE(source.GetOutputPin()->Connect(free.GetInputPin()));
    RunFree(source);
    EXPECT_EQ(free.Samples.size(), 44'100u);
    EXPECT_EQ(free.Operations.back(), "TPXEndStopOperation");
    ASSERT_TRUE(source.GetOutputPin()->Disconnect(free.GetInputPin()));

    // Real time on a hand-moved clock: a buffer goes once its time has come.
    auto clock = std::make_shared<TQXManualTimeSource>();
    TRecorder paced(nullptr);
    ASSERT_TRUE(source.GetOutputPin()->Connect(paced.GetInputPin()));
    source.SetRealtime(true);
    source.SetTimeSource(clock);
    source.Start();
    clock->Advance(TSVLAVFileSource::KRealtimeInterval); // 10 ms
    const size_t first = paced.Ends.size();
    clock->Advance(4 * TSVLAVFileSource::KRealtimeInterval); // 50 ms
    ASSERT_EQ(first, 1u);
    EXPECT_GT(paced.Ends.size(), first);
    for (size_t i = 0; i < paced.Begins.size(); ++i)
        EXPECT_LE(paced.Begins[i], 5 * TSVLAVFileSource::KRealtimeInterval);
    EXPECT_GT(paced.Ends.back(), 5 * TSVLAVFileSource::KRealtimeInterval);
    source.Stop();
    EXPECT_EQ(paced.Operations.back(), "TPXStopOperation"); // stopped before the end

    // A file that cannot be opened raises, and the start leaves the source stopped.
    TSVLAVFileSource missing(nullptr);
    missing.SetFileName(TempFile("missing.wav"));
    EXPECT_THROW(missing.Start(), EReadError);
    EXPECT_FALSE(missing.GetRunning());
    missing.SetFileName(file);
    missing.GetPlayerAudio()->SetStream(1); // the file has one audio stream only
    EXPECT_THROW(missing.Open(), EReadError);
    std::filesystem::remove(file);

    // A FLAC file whose frames change rate: the source announces each new rate before its
    // samples and reaches the end; with Strict it stops at the first change with the reason.
    for (const bool strict : {false, true}) {
        TSVLAVFileSource changing(nullptr);
        TRecorder kept(nullptr);
        changing.SetFileName(SONVERA_MEDIA_TEST_DATA "/frame-rate-changes.flac");
        changing.SetStrict(strict);
        ASSERT_TRUE(changing.GetOutputPin()->Connect(kept.GetInputPin()));
        RunFree(changing);
        const auto starts = std::count(kept.Operations.begin(), kept.Operations.end(),
                                       std::string("TPXStartWaveOperation"));
        if (strict) {
            EXPECT_NE(changing.GetError().find("does not match the stream's format"),
                      std::string::npos)
                << changing.GetError();
            EXPECT_EQ(kept.Operations.back(), "TPXStopOperation");
            EXPECT_EQ(starts, 1);
        } else {
            EXPECT_EQ(changing.GetError(), "");
            EXPECT_GE(changing.GetFormatChanges(), 1u);
            EXPECT_EQ(starts, static_cast<long>(1 + changing.GetFormatChanges()));
            EXPECT_EQ(kept.Operations.back(), "TPXEndStopOperation");
        }
    }

    // A stream FFmpeg finds no sample rate for is refused when the file is opened.
    TSVLAVFileSource rateless(nullptr);
    rateless.SetFileName(SONVERA_MEDIA_TEST_DATA "/no-sample-rate.bin");
    EXPECT_THROW(rateless.Open(), EReadError);
}

TEST(TSVLAVFileWriter, AFailureIsKeptAndStopsTheStreamUpstream) {
    TSignalGen gen(1'000'000);
    TSVLAVFileWriter writer(nullptr);
    writer.SetFileName(TempFile("refused.wav"));
    writer.GetCompression()->SetName("nosuch");
    ASSERT_TRUE(gen.GetOutputPin()->Connect(writer.GetInputPin()));
    RunPumped(gen, writer); // ends by the writer's stop, long before a million frames
    EXPECT_EQ(writer.GetError(), "unknown encoder 'nosuch'");
    EXPECT_FALSE(std::filesystem::exists(writer.GetFileName()));
    std::string why;
    EXPECT_FALSE(TSVLAVFileWriter::EncoderTakes(
        *avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE),
        TPXStartWaveOperation::CreateFormatObject(44100, 24, 2, false)->GetWaveFormat(), why));
    EXPECT_EQ(why, "codec 'pcm_s16le' cannot take 24-bit samples");
}

TEST(TSVLAVFileWriter, OpensItsEncoderOnceUnlessItRefusesTheStream) {
    const struct {
        const char* File;
        const char* Codec;
        uint32_t Bits, Rate;
        bool Taken; // the encoder takes the stream as it comes
    } cases[] = {
        {"s16.wav", "", 16, 44100, true},
        {"s24.flac", "", 24, 44100, true},
        {"s32.flac", "", 32, 44100, false},     // FLAC would narrow 32 bits: 24-bit
        {"s16-44k.opus", "", 16, 44100, false}, // Opus has no 44.1 kHz
        {"opus.wav", "libopus", 16, 48000, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.File);
        TSignalGen gen(3000);
        TSVLAVFileWriter writer(nullptr);
        gen.GetAudioFormat()->SetSampleRate(test.Rate);
        gen.GetAudioFormat()->SetBits(test.Bits);
        writer.SetFileName(TempFile(test.File));
        writer.GetCompression()->SetName(*test.Codec ? test.Codec : KRVLAVAutoSelect);
        const TSVWaveFormatExtensible input = *gen.GetAudioFormat()->GetWaveFormat();
        std::optional<TSVWaveFormatExtensible> nearest;
        int opens = GEncoderOpens;
        try {
            nearest = writer.NegotiateFormat(input);
        } catch (const EArgumentError& refusal) {
            EXPECT_EQ(refusal.what(), std::string("codec 'libopus' cannot be stored in 'wav'"));
        }
        const int trials = GEncoderOpens - opens;
        ASSERT_TRUE(gen.GetOutputPin()->Connect(writer.GetInputPin()));
        opens = GEncoderOpens;
        RunPumped(gen, writer);
        // A refused stream costs the refused open, the negotiation's trials and the real open.
        EXPECT_EQ(GEncoderOpens - opens, !nearest ? 0 : test.Taken ? 1 : trials + 2);
        EXPECT_EQ(std::filesystem::exists(writer.GetFileName()), nearest.has_value());
        const std::optional<TSVLAVOpenedFormat> opened = writer.GetOpenedFormat();
        ASSERT_EQ(opened.has_value(), nearest.has_value()) << writer.GetError();
        if (!nearest)
            continue;
        const TSVWaveFormatExtensible expected = test.Taken ? input : *nearest;
        EXPECT_TRUE(SVIsEqualAudioFormat(opened->Format, expected));
        EXPECT_EQ(opened->Format.Samples.wValidBitsPerSample, expected.Samples.wValidBitsPerSample);
        EXPECT_NEAR(static_cast<double>(writer.GetFramesWritten()),
                    3000.0 * expected.Format.nSamplesPerSec / test.Rate, 1.0);
        std::filesystem::remove(writer.GetFileName());
    }
}

TEST(TSVLAVFileWriter, KeepsTheFileOnlyWhenTheStreamReachesItsEnd) {
    enum TEnd { enEndStop, enStop, enWriterDestroyed };
    for (const TEnd end : {enEndStop, enStop, enWriterDestroyed}) {
        SCOPED_TRACE(end);
        const std::string file = TempFile("kept.wav");
        {
            TSignalGen gen(end == enEndStop ? 4000 : 1'000'000);
            TSVLAVFileWriter writer(nullptr); // goes first, while the stream may still run
            writer.SetFileName(file);
            ASSERT_TRUE(gen.GetOutputPin()->Connect(writer.GetInputPin()));
            writer.GetMasterPumping()->SetEnabled(true);
            gen.Start();
            for (int pump = 0; pump < 8 && gen.GetRunning(); ++pump) {
                writer.GetInputPin()->Notify(TPXPumpRequestOperation::Create());
                TMainThread::ProcessQueue();
            }
            if (end == enStop)
                gen.Stop();
        }
        EXPECT_EQ(std::filesystem::exists(file), end == enEndStop);
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(file).parent_path()))
            EXPECT_EQ(entry.path().filename().string().find("kept.part-"), std::string::npos);
        std::filesystem::remove(file);
    }
}

TEST(TSVLAVFileSource, AStopEndsAReadThatWaitsOnAStalledPipe) {
    // Six seconds of audio (more than FFmpeg probes a pipe for), then the writer stalls.
    const std::string wave = TempFile("stalled-source.wav"), fifo = TempFile("stalled.fifo");
    {
        TSignalGen gen(8000 * 8);
        TSVLAVFileWriter writer(nullptr);
        gen.GetAudioFormat()->SetSampleRate(8000);
        writer.SetFileName(wave);
        ASSERT_TRUE(gen.GetOutputPin()->Connect(writer.GetInputPin()));
        RunPumped(gen, writer);
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> release{false};
    std::thread stalling([&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        std::vector<char> bytes(8000 * 2 * 2 * 6);
        const int in = open(wave.c_str(), O_RDONLY);
        bytes.resize(static_cast<size_t>(std::max<ssize_t>(0, read(in, bytes.data(), bytes.size()))));
        close(in);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        while (!release)
            std::this_thread::yield();
        close(fd);
    });
    TSVLAVFileSource source(nullptr);
    TRecorder out(nullptr);
    source.SetFileName(fifo);
    ASSERT_TRUE(source.GetOutputPin()->Connect(out.GetInputPin()));
    source.Start(); // its own clock reads until the pipe runs dry, then waits in the read
    while (source.GetPosition() < 5 * 10'000'000LL)
        std::this_thread::yield();
    source.Stop(); // returns only once the waiting read has ended
    EXPECT_FALSE(source.GetRunning());
    EXPECT_EQ(out.Operations.back(), "TPXStopOperation");
    release = true;
    stalling.join();
    std::filesystem::remove(wave);
    std::filesystem::remove(fifo);
}

TEST(TSVResampleFilter, ResamplesOnceKeepingLevelAndTime) {
    for (const uint32_t bits : {16u, 24u}) {
        SCOPED_TRACE(bits);
        TSignalGen gen(44'100, 1000);
        TSVResampleFilter resample(nullptr);
        TRecorder out(nullptr), in(nullptr);
        gen.GetAudioFormat()->SetSampleRate(44100);
        gen.GetAudioFormat()->SetBits(bits);
        resample.SetSampleRate(48000);
        EXPECT_THROW(resample.SetSampleRate(TSVResampleFilter::KMaxSampleRate + 1), EArgumentError);
        ASSERT_TRUE(gen.GetOutputPin()->Connect(resample.GetInputPin()));
        ASSERT_TRUE(gen.GetOutputPin()->Connect(in.GetInputPin()));
        ASSERT_TRUE(resample.GetOutputPin()->Connect(out.GetInputPin()));
        RunPumped(gen, out);
        EXPECT_EQ(out.Format.Format.nSamplesPerSec, 48000u);
        // Every input frame went through once; what the resampler held came before the stop.
        EXPECT_NEAR(static_cast<double>(out.Samples.size()), 48'000.0, 1.0);
        EXPECT_EQ(out.Operations.back(), "TPXEndStopOperation");
        EXPECT_EQ(out.Operations[out.Operations.size() - 2], "TPXSuppliedBufferOperation");
        ExpectContiguous(out);
        EXPECT_NEAR(static_cast<double>(out.Ends.back()), 10'000'000.0, 300.0);
        // The sine's level, away from the filter's edges.
        EXPECT_NEAR(20 * std::log10(Rms(out, 2000) / Rms(in, 2000)), 0.0, 0.01);
    }
}
