
#include <algorithm>
#include <utility>

#include "SVAudioBufferTestSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

int64_t Clamp(int64_t AValue, int32_t ABits) {
    const int64_t high = (int64_t{1} << (ABits - 1)) - 1;
    return std::min(std::max(AValue, -high - 1), high);
}

// The full source range onto the full destination range, as the width conversions define it:
// quotients truncate toward zero, a widened result just outside the range is clamped, the
// narrowing to 8 bits takes the fast integer path and keeps the low byte.
int32_t ExpectedConversion(int32_t AFrom, int32_t ATo, int64_t s) {
    switch (AFrom * 100 + ATo) {
    case 816:
        return static_cast<int32_t>(s * 257 - 32768);
    case 824:
        return static_cast<int32_t>(Clamp((s - 127) * 8388607 / 127, 24));
    case 832:
        return static_cast<int32_t>(s * 16843009 - 2147483648LL);
    case 1608:
        return static_cast<int32_t>((((s - (s >> 8)) >> 8) - 128) & 0xFF);
    case 1624:
        return static_cast<int32_t>(Clamp(s * 8388607 / 32767, 24));
    case 1632:
        return static_cast<int32_t>(Clamp(s * 2147483647 / 32767, 32));
    case 2408:
        return static_cast<int32_t>((s * 127 / 8388607 + 127) & 0xFF);
    case 2416:
        return static_cast<int32_t>(s * 32767 / 8388607);
    case 2432:
        return static_cast<int32_t>(Clamp(s * 2147483647 / 8388607, 32));
    case 3208:
        return static_cast<int32_t>((((s - (s >> 8)) >> 24) - 128) & 0xFF);
    case 3216:
        return static_cast<int32_t>(s * 32767 / 2147483647);
    case 3224:
        return static_cast<int32_t>(s * 8388607 / 2147483647);
    default:
        ADD_FAILURE() << "no conversion " << AFrom << " -> " << ATo;
        return 0;
    }
}

// Edge values of each width, then random ones.
std::vector<int32_t> TestSamples(int32_t AWidth) {
    const std::vector<int32_t> edges[] = {
        {0, 1, 2, 126, 127, 128, 129, 254, 255},
        {-32768, -32767, -32513, -256, -255, -1, 0, 1, 127, 128, 255, 256, 32766, 32767},
        {-8388608, -8388607, -65536, -32768, -1, 0, 1, 65535, 65536, 8388606, 8388607},
        {INT32_MIN, INT32_MIN + 1, -16777216, -65536, -1, 0, 1, 16777215, 16777216, INT32_MAX - 1,
         INT32_MAX}};
    std::vector<int32_t> samples = edges[AWidth / 8 - 1];
    std::mt19937 random(static_cast<uint32_t>(AWidth) * 7919u);
    for (int i = 0; i < 300; ++i)
        samples.push_back(RandomSample(random, AWidth));
    return samples;
}

constexpr uint8_t KFiller = 0xA5;

} // namespace

// Every pair of widths against the model, on strided runs whose gaps must stay untouched.
TEST(SVAudioBufferConversion, ConvertBitsMatchesTheWidthModelForEveryPair) {
    for (int32_t from : KWidths) {
        for (int32_t to : KWidths) {
            const std::vector<int32_t> values = TestSamples(from);
            const auto count = static_cast<int32_t>(values.size());
            const int32_t srcStep = 2 * (from / 8) + 1;
            const int32_t dstStep = 3 * (to / 8);
            std::vector<uint8_t> source(static_cast<size_t>(count) * srcStep, 0x3C);
            for (int32_t k = 0; k < count; ++k)
                WriteSample(&source[static_cast<size_t>(k) * srcStep], from, values[k]);
            std::vector<uint8_t> target(static_cast<size_t>(count) * dstStep + 7, KFiller);

            ConvertBits(source.data(), from, srcStep, target.data(), to, dstStep, count);

            for (size_t i = 0; i < target.size(); ++i) {
                const size_t k = i / dstStep;
                const bool inSample =
                    k < static_cast<size_t>(count) && i % dstStep < size_t(to / 8);
                if (from == to || !inSample) {
                    ASSERT_EQ(target[i], KFiller) << from << " -> " << to << " byte " << i;
                }
            }
            if (from == to)
                continue;
            for (int32_t k = 0; k < count; ++k)
                ASSERT_EQ(ReadSample(&target[static_cast<size_t>(k) * dstStep], to),
                          ExpectedConversion(from, to, values[k]))
                    << from << " -> " << to << " of " << values[k];
        }
    }
}

TEST(SVAudioBufferConversion, CopyToAudioPairsChannelsBySpeakerAndSilencesTheRest) {
    // Stereo 16 bits into 5.1 24 bits: front pair converted, the four others 0.
    const TRef<TSVAudioBuffer> surround =
        MakeBuffer(24, 6, KSurround51, std::vector<int32_t>(12, 0x5A5A5A));
    MakeBuffer(16, 2, KStereo, {-32768, 32767, 1, -1})->CopyToAudio(0, surround, 0, 2);
    EXPECT_EQ(SamplesOf(*surround),
              (std::vector<int32_t>{-8388608, 8388607, 0, 0, 0, 0, 256, -256, 0, 0, 0, 0}));

    // 5.1 into stereo: the front pair copied, the others dropped.
    const TRef<TSVAudioBuffer> front = MakeBuffer(16, 2, KStereo, {0, 0, 0, 0});
    MakeBuffer(16, 6, KSurround51, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
        ->CopyToAudio(0, front, 0, 2);
    EXPECT_EQ(SamplesOf(*front), (std::vector<int32_t>{1, 2, 7, 8}));

    // Partial overlap: {FL, FC} into {FL, FR, FC} pairs FL and FC; FR is silenced.
    const TRef<TSVAudioBuffer> leftCentre =
        MakeBuffer(32, 2, TSVSpeakers{spFrontLeft, spFrontCenter}, {10, 20, 30, 40});
    const TRef<TSVAudioBuffer> three = MakeBuffer(
        32, 3, TSVSpeakers{spFrontLeft, spFrontRight, spFrontCenter}, {1, 2, 3, 4, 5, 6});
    leftCentre->CopyToAudio(0, three, 0, 2);
    EXPECT_EQ(SamplesOf(*three), (std::vector<int32_t>{10, 0, 20, 30, 0, 40}));

    // Masks naming more speakers than there are channels: a speaker without a source column is
    // silenced, one without a destination column is left out.
    const TSVSpeakers front3{spFrontLeft, spFrontRight, spFrontCenter};
    const TRef<TSVAudioBuffer> narrow = MakeBuffer(32, 2, front3, {1, 2, 3, 4});
    const TRef<TSVAudioBuffer> wide = MakeBuffer(32, 3, front3, {10, 20, 30, 40, 50, 60});
    narrow->CopyToAudio(0, wide, 0, 2);
    EXPECT_EQ(SamplesOf(*wide), (std::vector<int32_t>{1, 2, 0, 3, 4, 0}));
    MakeBuffer(32, 3, front3, {10, 20, 30, 40, 50, 60})->CopyToAudio(0, narrow, 0, 2);
    EXPECT_EQ(SamplesOf(*narrow), (std::vector<int32_t>{10, 20, 40, 50}));

    // A destination column that no speaker names keeps its samples beside a silenced one.
    for (int32_t width : KWidths) {
        const TRef<TSVAudioBuffer> unnamed =
            MakeBuffer(width, 3, KStereo, {9, 9, 5, 9, 9, 6, 9, 9, 7});
        MakeBuffer(width, 1, TSVSpeakers{spFrontRight}, {1, 2, 3})->CopyToAudio(0, unnamed, 0, 3);
        EXPECT_EQ(SamplesOf(*unnamed), (std::vector<int32_t>{0, 1, 5, 0, 2, 6, 0, 3, 7})) << width;
    }

    // An 8-bit destination's missing speakers get the byte 0, not the zero level 127, on both
    // sides of the one speaker the source has.
    const TRef<TSVAudioBuffer> right =
        MakeBuffer(16, 1, TSVSpeakers{spFrontRight}, {-32768, 32767});
    const TRef<TSVAudioBuffer> bytes = MakeBuffer(8, 6, KSurround51, std::vector<int32_t>(12, 9));
    right->CopyToAudio(0, bytes, 0, 2);
    EXPECT_EQ(SamplesOf(*bytes), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0}));
}

TEST(SVAudioBufferConversion, CopyToAudioWritesAPrivateStoreAndRefusesRangesOutsideEither) {
    const TRef<TSVAudioBuffer> source = MakeRandomBuffer(16, 2, KStereo, 10, 3);
    const TRef<TSVAudioBuffer> target = MakeRandomBuffer(24, 2, KStereo, 10, 4);
    const TRef<TSVAudioBuffer> holder = SharingCopy(target);
    const std::vector<uint8_t> held = BytesOf(*holder);
    TQXSmartBuffer* const heldStore = holder->GetDataContainer();

    // The message names what runs past the last frame: the offset, or the count from it.
    EXPECT_EQ(MessageOf<ERangeError>([&] { source->CopyToAudio(5, target, 0, 6); }),
              "Source count out of range = 6");
    EXPECT_EQ(MessageOf<ERangeError>([&] { source->CopyToAudio(0, target, 9, 2); }),
              "Destination count out of range = 2");
    EXPECT_EQ(MessageOf<ERangeError>([&] { source->CopyToAudio(UINT32_MAX, target, 0, 2); }),
              "Source offset out of range = 4294967295");
    EXPECT_THROW(source->CopyToAudio(0, nullptr, 0, 1), EAssertionFailed);
    EXPECT_EQ(target->GetDataContainer(), heldStore);

    source->CopyToAudio(0, target, 0, 10);
    EXPECT_NE(target->GetDataContainer(), heldStore);
    EXPECT_EQ(holder->GetDataContainer(), heldStore);
    EXPECT_EQ(BytesOf(*holder), held);

    // Within one buffer the ranges may overlap: the frames move as they were.
    const TRef<TSVAudioBuffer> ramp = MakeBuffer(16, 2, KStereo, {1, -1, 2, -2, 3, -3, 4, -4});
    ramp->CopyToAudio(0, ramp, 1, 3);
    EXPECT_EQ(SamplesOf(*ramp), (std::vector<int32_t>{1, -1, 1, -1, 2, -2, 3, -3}));
}

TEST(SVAudioBufferConversion, ConvertBuffersTakesEveryKthFrameOrSpreadsFramesAsTheRatesAsk) {
    const TRef<TSVAudioBuffer> halving = MakeRandomBuffer(16, 2, KStereo, 10, 5);
    TRef<ISVAudioBuffer> halved = MakeBuffer(16, 2, KStereo, std::vector<int32_t>(6, 0));
    ConvertBuffers(halving, 44100, halved, 22050);
    ASSERT_EQ(halved->GetSize(), 5u);
    for (uint32_t frame = 0; frame < 5; ++frame)
        for (int32_t channel = 0; channel < 2; ++channel)
            ASSERT_EQ(SampleAt(*halved, frame, channel), SampleAt(*halving, 2 * frame, channel));
    EXPECT_EQ(halved->GetSamplesPerSecond(), 44100);

    // The frame count is rounded half to even: 5 frames give 2, 7 give 4.
    for (auto [frames, expected] : {std::pair{5, 2u}, std::pair{7, 4u}}) {
        TRef<ISVAudioBuffer> rounded = MakeBuffer(16, 1, TSVSpeakers{spFrontLeft}, {0});
        ConvertBuffers(MakeRandomBuffer(16, 1, TSVSpeakers{spFrontLeft}, frames, 6), 44100, rounded,
                       22050);
        EXPECT_EQ(rounded->GetSize(), expected) << frames;
    }

    // Raising the rate spreads the frames with silence between.
    for (int32_t width : KWidths) {
        // Leave a block full of stale bytes in the allocator's cache for the converted buffer.
        MakeBuffer(width, 2, KStereo, std::vector<int32_t>(20, 0x77777777));
        const TRef<TSVAudioBuffer> source = MakeRandomBuffer(width, 2, KStereo, 5, 7);
        TRef<ISVAudioBuffer> dest = MakeBuffer(width, 2, KStereo, {0, 0});
        ConvertBuffers(source, 22050, dest, 44100);
        ASSERT_EQ(dest->GetSize(), 10u);
        const int32_t silence = width == 8 ? 127 : 0;
        for (uint32_t frame = 0; frame < 10; ++frame)
            for (int32_t channel = 0; channel < 2; ++channel)
                ASSERT_EQ(SampleAt(*dest, frame, channel),
                          frame % 2 == 0 ? SampleAt(*source, frame / 2, channel) : silence)
                    << width << " frame " << frame;
    }

    // 44100 to 48000 steps by 48000 div 44100 = 1: frames one to one, the extra frame silent.
    const TRef<TSVAudioBuffer> source = MakeRandomBuffer(24, 1, TSVSpeakers{spFrontLeft}, 10, 8);
    TRef<ISVAudioBuffer> dest = MakeBuffer(24, 1, TSVSpeakers{spFrontLeft}, {5});
    ConvertBuffers(source, 44100, dest, 48000);
    std::vector<int32_t> expected = SamplesOf(*source);
    expected.push_back(0);
    EXPECT_EQ(SamplesOf(*dest), expected);
}

TEST(SVAudioBufferConversion, ConvertBuffersRefusesWhatItCannotConvertLeavingTheDestination) {
    const TRef<TSVAudioBuffer> dest = MakeRandomBuffer(16, 2, KStereo, 6, 11);
    const TBufferState before = StateOf(*dest);
    const auto unchanged = [&] { return StateOf(*dest) == before; };

    const TRef<TSVAudioBuffer> odd = MakeRandomBuffer(16, 2, KStereo, 4, 12);
    MakeUnprocessedWidth(*odd);
    for (uint32_t toRate : {22050u, 44100u}) {
        EXPECT_EQ(MessageOf<EAssertionFailed>([&] { ConvertBuffers(odd, 44100, dest, toRate); }),
                  "BitWidth is incorrect (SVSimpleAudioBuffer)");
        EXPECT_TRUE(unchanged());
    }

    // More frames than a buffer can count.
    const TRef<TSVAudioBuffer> source = MakeRandomBuffer(16, 2, KStereo, 10, 13);
    EXPECT_THROW(ConvertBuffers(source, 1, dest, 4000000000u), EArgumentError);
    EXPECT_TRUE(unchanged());
    // A target rate of 0 gives no frames, and the destination keeps its own.
    ConvertBuffers(source, 44100, dest, 0);
    EXPECT_TRUE(unchanged());

    TRef<ISVAudioBuffer> none;
    EXPECT_THROW(ConvertBuffers(nullptr, 44100, dest, 22050), EAssertionFailed);
    EXPECT_THROW(ConvertBuffers(source, 44100, none, 22050), EAssertionFailed);
    EXPECT_TRUE(unchanged());
}
