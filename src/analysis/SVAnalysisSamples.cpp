#include "SVAnalysisSamples.h"

#include "sonvera/buffers/SVSampleView.h"

namespace sonvera {

namespace {

template <int32_t ABits> void ReadFrames(const ISVAudioBuffer& ABuffer, std::vector<float>& AOut) {
    const auto samples = SVViewOf<ABits, false>(ABuffer, ABuffer.Read());
    using TTraits = TSVSampleTraits<ABits>;
    const auto scale = static_cast<float>(1.0 / TTraits::KFullScale);
    const uint32_t channels = samples.Channels();
    AOut.resize(size_t{samples.Frames()} * channels);
    float* out = AOut.data();
    for (uint32_t frame = 0; frame < samples.Frames(); ++frame)
        for (uint32_t channel = 0; channel < channels; ++channel)
            *out++ = static_cast<float>(TTraits::Signed(samples(frame, channel))) * scale;
}

} // namespace

void SVCopyAsFloats(const ISVAudioBuffer& ABuffer, std::vector<float>& AOut) {
    if (SVIsFloatBuffer(ABuffer)) {
        const auto* samples = static_cast<const float*>(ABuffer.Read());
        AOut.assign(samples, samples + size_t{ABuffer.GetSize()} *
                                           static_cast<uint32_t>(ABuffer.GetChannels()));
        return;
    }
    switch (ABuffer.GetSampleBitWidth()) {
    case 8:
        return ReadFrames<8>(ABuffer, AOut);
    case 16:
        return ReadFrames<16>(ABuffer, AOut);
    case 24:
        return ReadFrames<24>(ABuffer, AOut);
    case 32:
        return ReadFrames<32>(ABuffer, AOut);
    default:
        throw EArgumentError(
            FormatMessage("Sample width not measurable = %d bits", ABuffer.GetSampleBitWidth()));
    }
}

} // namespace sonvera
