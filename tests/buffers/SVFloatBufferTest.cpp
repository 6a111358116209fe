#include <cmath>
#include <functional>
#include <limits>

#include "SVAudioBufferTestSupport.h"
#include "sonvera/buffers/SVFloatFrames.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

TRef<TSVAudioBuffer> FloatsOf(const std::vector<float>& AValues) {
    const TRef<TSVAudioBuffer> buffer =
        TSVAudioBuffer::CreateFloatSizeExObject(44100, 1, static_cast<int32_t>(AValues.size()), {});
    std::memcpy(buffer->Write(), AValues.data(), AValues.size() * sizeof(float));
    return buffer;
}

} // namespace

// Integer -> float -> integer gives back every sample of every width; float -> integer rounds
// half to even and saturates at the width's ends, as x * 2^(N-1) says.
TEST(SVFloatBuffer, ConvertsEveryWidthBitTransparentlyAndSaturatesTheEdges) {
    for (const int32_t bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const TRef<TSVAudioBuffer> integers =
            MakeRandomBuffer(bits, 2, TSVSpeakers::FromMask(3), 4096, 7);
        auto* extremes = static_cast<uint8_t*>(integers->Modify());
        const int32_t low = bits == 8 ? 0 : int32_t(-(int64_t{1} << (bits - 1)));
        const int32_t high = bits == 8 ? 255 : int32_t((int64_t{1} << (bits - 1)) - 1);
        WriteSample(extremes, bits, low);
        WriteSample(extremes + bits / 8, bits, high);
        const TRef<TSVAudioBuffer> floats =
            TSVAudioBuffer::CreateFloatSizeExObject(44100, 2, 4096, {});
        const TRef<TSVAudioBuffer> back =
            TSVAudioBuffer::CreateSizeExObject(44100, bits, 2, 4096, {});
        integers->CopyToAudio(0, floats, 0, 4096);
        floats->CopyToAudio(0, back, 0, 4096);
        if (bits <= 24) { // float holds 24 bits: 32-bit samples round to the nearest float
            EXPECT_EQ(SamplesOf(*back), SamplesOf(*integers));
        }
        const float* converted = static_cast<const float*>(floats->Read());
        EXPECT_EQ(converted[0], -1.0f);
        EXPECT_LE(converted[1], 1.0f);

        // Steps of the width: halves round to even, beyond full scale saturates, NaN is silence.
        const double step = std::ldexp(1.0, -(bits - 1));
        const std::vector<float> edges = {float(0.5 * step),
                                          float(1.5 * step),
                                          float(-2.5 * step),
                                          1.5f,
                                          -1.5f,
                                          std::numeric_limits<float>::quiet_NaN()};
        const TRef<TSVAudioBuffer> narrowed =
            TSVAudioBuffer::CreateSizeExObject(44100, bits, 1, 6, {});
        FloatsOf(edges)->CopyToAudio(0, narrowed, 0, 6);
        const int32_t zero = bits == 8 ? 128 : 0;
        const std::vector<int32_t> expected = {zero, zero + 2, zero - 2, high, low,
                                               zero};
        EXPECT_EQ(SamplesOf(*narrowed), expected);
    }
}

// Operations on integer values refuse float samples, naming themselves, and change nothing;
// the ones that mean the same on floats work on them.
TEST(SVFloatBuffer, IntegerOperationsRefuseFloatSamples) {
    const TRef<TSVAudioBuffer> floats = FloatsOf({0.5f, -0.25f, 1.0f});
    const TRef<TSVAudioBuffer> sharing = SharingCopy(floats);
    const std::vector<std::pair<std::string, std::function<void()>>> refused = {
        {"GetItem", [&] { floats->GetItem(0, 0); }},
        {"SetItem", [&] { floats->SetItem(0, 0, 1); }},
        {"Add", [&] { floats->Add(sharing); }},
        {"MultiplyValue", [&] { floats->MultiplyValue(2); }},
        {"SetChannelValue", [&] { floats->SetChannelValue(0, 2); }},
        {"IsEqualChannelValue", [&] { floats->IsEqualToValue(0); }},
        {"GetChannel", [&] { floats->GetChannel(0); }}};
    for (const auto& [name, call] : refused)
        EXPECT_EQ(MessageOf<EArgumentError>(call),
                  name + " takes integer samples; the buffer holds float samples");
    EXPECT_EQ(
        MessageOf<EArgumentError>([&] { SVReadFloatFrames(MakeRandomBuffer(16, 1, {}, 1, 1)); }),
        "Float samples expected; the buffer holds 16-bit integers");
    floats->MultiplyByReal(2.0);
    EXPECT_EQ(SVReadFloatFrames(floats)(2, 0), 2.0f);
    EXPECT_EQ(SVReadFloatFrames(sharing)(2, 0), 1.0f); // the sharing buffer kept its samples
    EXPECT_TRUE(SVIsFloatBuffer(*TSVAudioBuffer::CreateWaveFormat(floats->GetConstFormat(), 2)));
}
