#include "sonvera/buffers/SVSampleView.h"

#include "SVAudioBufferTestSupport.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

// Writes every sample of a shared three-channel buffer through a view, the extremes of the
// width included, and reads them back by hand and through a read view.
template <int32_t ABits> void CheckWidth(bool AModify) {
    const TRef<TSVAudioBuffer> buffer =
        MakeRandomBuffer(ABits, 3, TSVSpeakers::FromMask(7), 4, ABits);
    const TRef<TSVAudioBuffer> holder = SharingCopy(buffer);
    const std::vector<int32_t> before = SamplesOf(*holder);
    const int32_t low = ABits == 8 ? 0 : -(1 << (ABits - 2)) * 2;
    const int32_t high = ABits == 8 ? 255 : int32_t((uint32_t{1} << (ABits - 1)) - 1);
    TSVSamples<ABits> samples =
        AModify ? SVModifySamples<ABits>(buffer) : SVWriteSamples<ABits>(buffer);
    ASSERT_EQ(samples.Frames(), 4u);
    ASSERT_EQ(samples.Channels(), 3u);
    std::vector<int32_t> expected = before;
    for (uint32_t frame = 0; frame < 4; ++frame) {
        const int32_t value = frame == 0 ? low : frame == 1 ? high : int32_t(frame * 3 + 1);
        samples(frame, 1) = static_cast<TSVSampleValue<ABits>>(value);
        expected[frame * 3 + 1] = value;
        if (!AModify) {
            samples(frame, 0) = samples(frame, 1);
            samples(frame, 2) = 0;
            expected[frame * 3] = value;
            expected[frame * 3 + 2] = 0;
        }
    }
    EXPECT_EQ(SamplesOf(*buffer), expected) << ABits;
    EXPECT_EQ(SamplesOf(*holder), before) << ABits;
    const TSVConstSamples<ABits> read = SVReadSamples<ABits>(buffer);
    EXPECT_EQ(int32_t(read(1, 1)), high) << ABits;
    EXPECT_EQ(int32_t(read(0, 1)), low) << ABits;
#ifndef NDEBUG
    EXPECT_EQ(MessageOf<ERangeError>([&] { read(0, 3); }), "Channel out of range = 3");
    EXPECT_EQ(MessageOf<ERangeError>([&] { read(4, 0); }), "Index out of range = 4");
#endif
}

} // namespace

TEST(SVSampleView, EveryWidthWritesAPrivateStoreAndReadsBackItsExtremes) {
    for (bool modify : {false, true}) {
        CheckWidth<8>(modify);
        CheckWidth<16>(modify);
        CheckWidth<24>(modify);
        CheckWidth<32>(modify);
    }
    const TRef<ISVAudioBuffer> twelve = TSVAudioBuffer::CreateSize(8000, 12, 1, 2);
    EXPECT_EQ(MessageOf<EArgumentError>([&] { SVReadSamples<24>(twelve); }),
              "Sample width differs = 16 bits, expected 24");
}
