#include "AudioFiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace sonvera::tool {

TRef<ISVAudioBuffer> LoadAudioBuffer(const std::string& APath) {
    return AudioBufferOf(ReadWaveFile(APath));
}

TRef<ISVAudioBuffer> AudioBufferOf(const TWaveData& AData) {
    const auto rate = static_cast<int32_t>(AData.Rate);
    const auto bits = static_cast<int32_t>(AData.Bits);
    const auto channels = static_cast<int32_t>(AData.Channels);
    const TSVSpeakers mask = TSVSpeakers::FromMask(AData.ChannelMask);
    // A file without frames has no sample bytes, and their empty vector may have no block.
    if (AData.Samples.empty())
        return TSVAudioBuffer::CreateSizeEx(rate, bits, channels, 0, mask);
    return TSVAudioBuffer::CreateDataEx(AData.Samples.data(), rate, bits, channels,
                                        static_cast<int32_t>(AData.Frames()), mask);
}

void SaveAudioBuffer(const std::string& APath, const TRef<ISVAudioBuffer>& ABuffer) {
    TWaveData data;
    data.Rate = static_cast<uint32_t>(ABuffer->GetSamplesPerSecond());
    data.Channels = static_cast<uint32_t>(ABuffer->GetChannels());
    data.Bits = static_cast<uint32_t>(ABuffer->GetSampleBitWidth());
    data.ChannelMask = ABuffer->GetChannelMask().Mask();
    const auto* samples = static_cast<const uint8_t*>(ABuffer->Read());
    data.Samples.assign(samples, samples + ABuffer->GetByteSize());
    WriteWaveFile(APath, data);
}

double PeakLevelDb(const TRef<ISVAudioBuffer>& ABuffer) {
    const int32_t width = ABuffer->GetSampleBitWidth();
    // Channel extraction gives 8-bit samples less their zero level, so full scale is 128.
    const double fullScale = std::ldexp(1.0, width - 1);
    double peak = 0;
    for (int32_t channel = 0; channel < ABuffer->GetChannels(); ++channel) {
        const TRef<IQXRealBuffer> samples =
            ABuffer->GetChannelAsReal(static_cast<uint32_t>(channel));
        const double* values = samples->Read();
        for (uint32_t i = 0; i < samples->GetSize(); ++i)
            peak = std::max(peak, std::fabs(values[i]));
    }
    return peak == 0 ? -std::numeric_limits<double>::infinity() : 20 * std::log10(peak / fullScale);
}

void PrintBufferTableHeader() {
    std::printf("%-28s %4s %8s %10s %8s %10s\n", "file", "bits", "channels", "mask", "frames",
                "peak dBFS");
}

void PrintBufferTableRow(const std::string& AFile, const TRef<ISVAudioBuffer>& ABuffer) {
    std::printf("%-28s %4d %8d 0x%08X %8u %10.2f\n", AFile.c_str(), ABuffer->GetSampleBitWidth(),
                ABuffer->GetChannels(), ABuffer->GetChannelMask().Mask(), ABuffer->GetSize(),
                PeakLevelDb(ABuffer));
}

} // namespace sonvera::tool
