// sonvera demo: a chain of the library's components that needs no input. A tone generator
// feeds the format filter (to 24 bits) and the gain filter (-6 dB), whose output goes to a WAV
// writer and a FLAC writer at once; the FLAC file is then converted back to WAV, and each file
// is read back through the file source to print what it holds.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>

#include "Commands.h"
#include "Conversion.h"
#include "SignalGuard.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"

namespace sonvera::tool {

namespace {

constexpr int32_t KRate = 44100;
constexpr int64_t KFrames = 2 * KRate;
constexpr const char* KOutputFolder = "sonvera-out";

// Two seconds of 16-bit stereo: 440 Hz on the left, 660 Hz on the right, at half scale.
class TToneGen : public TSVCommonGen {
public:
    explicit TToneGen(TPersistent* AOwner) : TSVCommonGen(AOwner) {
        GetAudioFormat()->SetSampleRate(KRate);
    }
    ~TToneGen() override { Stop(); }

protected:
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool&, bool& AStop) override {
        const int64_t frames = std::min<int64_t>(ABuffer->GetSize(), KFrames - FNext);
        ABuffer->Resize(static_cast<uint32_t>(frames), false);
        auto* samples = static_cast<int16_t*>(ABuffer->Write());
        for (int64_t i = 0; i < frames; ++i, ++FNext) {
            const double t = static_cast<double>(FNext) / KRate;
            samples[2 * i] = Sine(440, t);
            samples[2 * i + 1] = Sine(660, t);
        }
        AStop = FNext == KFrames;
    }

private:
    static int16_t Sine(double AFrequency, double ATime) {
        return static_cast<int16_t>(
            std::lround(16384 * std::sin(2 * std::numbers::pi * AFrequency * ATime)));
    }

    int64_t FNext = 0;
};

// Counts the frames that arrive and finds their peak, over all channels, in dB of full scale.
class TMeter : public TSVBasicAudioOut {
public:
    using TSVBasicAudioOut::TSVBasicAudioOut;
    uint64_t Frames = 0;
    double Peak = 0; // of full scale

    bool SinkDispatch(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) override {
        if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation))
            Measure(*IntfCast<ISVAudioBuffer>(supplied->GetData()));
        return false;
    }

private:
    void Measure(const ISVAudioBuffer& ABuffer) {
        Frames += ABuffer.GetSize();
        // Channel extraction gives 8-bit samples less their zero level, so full scale is 128.
        const double fullScale = std::ldexp(1.0, ABuffer.GetSampleBitWidth() - 1);
        for (int32_t channel = 0; channel < ABuffer.GetChannels(); ++channel) {
            const TRef<IQXRealBuffer> samples =
                ABuffer.GetChannelAsReal(static_cast<uint32_t>(channel));
            const double* values = samples->Read();
            for (uint32_t i = 0; i < samples->GetSize(); ++i)
                Peak = std::max(Peak, std::fabs(values[i]) / fullScale);
        }
    }
};

void PrintFileRow(const std::string& AFile) {
    TSVLAVFileSource source(nullptr);
    TMeter meter(nullptr);
    source.SetFileName(AFile);
    source.GetOutputPin()->Connect(meter.GetInputPin());
    RunPumped(source, meter);
    if (!source.GetError().empty())
        throw Exception(source.GetError());
    const TSVWaveFormatExtensible format = source.GetWaveFormat();
    std::printf("%-36s %-10s %4d %8d %6u %8llu %10.2f\n", AFile.c_str(),
                source.GetCodecName().c_str(), format.Samples.wValidBitsPerSample,
                format.Format.nChannels, format.Format.nSamplesPerSec,
                static_cast<unsigned long long>(meter.Frames),
                meter.Peak > 0 ? 20 * std::log10(meter.Peak) : -INFINITY);
}

} // namespace

int RunDemo() {
    std::filesystem::create_directories(KOutputFolder);
    const std::string folder = std::string(KOutputFolder) + "/";
    const std::string wave = folder + "tone-24bit.wav";
    const std::string flac = folder + "tone-24bit.flac";
    const std::string back = folder + "tone-from-flac.wav";
    const TSignalGuard signals;
    {
        TToneGen tone(nullptr);
        TSVFormatFilter format(nullptr);
        TSVGainFilter gain(nullptr);
        TSVLAVFileWriter waveWriter(nullptr);
        TSVLAVFileWriter flacWriter(nullptr);
        format.SetBits(24);
        gain.SetGainDB(-6);
        waveWriter.SetFileName(wave);
        flacWriter.SetFileName(flac);
        tone.GetOutputPin()->Connect(format.GetInputPin());
        format.GetOutputPin()->Connect(gain.GetInputPin());
        gain.GetOutputPin()->Connect(waveWriter.GetInputPin());
        gain.GetOutputPin()->Connect(flacWriter.GetInputPin());
        RunPumped(tone, waveWriter); // the WAV writer paces the chain, the FLAC writer follows
        for (const TSVLAVFileWriter* writer : {&waveWriter, &flacWriter})
            if (!writer->GetError().empty())
                throw Exception(writer->GetError());
    }
    TConversionOptions convert;
    convert.Input = flac;
    convert.Output = back;
    Convert(convert);

    std::printf("%-36s %-10s %4s %8s %6s %8s %10s\n", "file", "codec", "bits", "channels", "rate",
                "frames", "peak dBFS");
    for (const std::string& file : {wave, flac, back})
        PrintFileRow(file);
    std::printf("written to ./%s/\n", KOutputFolder);
    return 0;
}

} // namespace sonvera::tool
