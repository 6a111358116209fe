#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>

#include "AudioFiles.h"
#include "Commands.h"

namespace sonvera::tool {

namespace {

constexpr int32_t KRate = 44100;
constexpr int32_t KFrames = 2 * KRate;
constexpr const char* KOutputFolder = "sonvera-out";

// Two seconds of stereo 16-bit: 440 Hz on the left, 660 Hz on the right, at half scale.
TRef<ISVAudioBuffer> MakeTestTone() {
    TRef<ISVAudioBuffer> tone = TSVAudioBuffer::CreateSize(KRate, 16, 2, KFrames);
    auto* samples = static_cast<int16_t*>(tone->Write());
    for (int32_t frame = 0; frame < KFrames; ++frame) {
        const double t = static_cast<double>(frame) / KRate;
        samples[2 * frame] =
            static_cast<int16_t>(std::lround(16384 * std::sin(2 * std::numbers::pi * 440 * t)));
        samples[2 * frame + 1] =
            static_cast<int16_t>(std::lround(16384 * std::sin(2 * std::numbers::pi * 660 * t)));
    }
    return tone;
}

// A buffer of another width and layout, filled from ASource by the library's own copy, which
// converts widths and pairs channels by speaker.
TRef<ISVAudioBuffer> CopyAs(const TRef<ISVAudioBuffer>& ASource, int32_t ABits,
                            TSVSpeakers ALayout) {
    TRef<ISVAudioBuffer> copy =
        TSVAudioBuffer::CreateSizeEx(ASource->GetSamplesPerSecond(), ABits, ALayout.Count(),
                                     static_cast<int32_t>(ASource->GetSize()), ALayout);
    ASource->CopyTo(0, copy, 0, ASource->GetSize());
    return copy;
}

} // namespace

int RunDemo() {
    const TRef<ISVAudioBuffer> tone = MakeTestTone();
    TRef<ISVAudioBuffer> quieter = TSVAudioBuffer::CreateCopy(tone);
    quieter->MultiplyByReal(0.25);

    const struct {
        const char* File;
        TRef<ISVAudioBuffer> Buffer;
    } outputs[] = {
        {"tone-16bit-stereo.wav", tone},
        {"tone-8bit-stereo.wav", CopyAs(tone, 8, KSVSpeakersStereo)},
        {"tone-24bit-stereo.wav", CopyAs(tone, 24, KSVSpeakersStereo)},
        {"tone-32bit-stereo.wav", CopyAs(tone, 32, KSVSpeakersStereo)},
        {"tone-24bit-5.1.wav", CopyAs(tone, 24, KSVSpeakers5Point1)},
        {"tone-16bit-stereo-gain.wav", quieter},
    };

    std::filesystem::create_directories(KOutputFolder);
    PrintBufferTableHeader();
    for (const auto& output : outputs) {
        SaveAudioBuffer(std::string(KOutputFolder) + "/" + output.File, output.Buffer);
        PrintBufferTableRow(output.File, output.Buffer);
    }
    std::printf("written to ./%s/\n", KOutputFolder);
    return 0;
}

} // namespace sonvera::tool
