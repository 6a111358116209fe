
#include <algorithm>
#include <functional>
#include <string>

#include "SVAudioBufferTestSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

const TSVSpeakers KMono{spFrontLeft};

enum TOperation { opAdd, opSub, opMul, opDiv };

// The 24-bit store rule: the low three bytes, bit 23 forced on for a negative 32-bit value.
int32_t Store24(int64_t AValue) {
    const auto value32 = static_cast<int32_t>(static_cast<uint32_t>(AValue));
    const int32_t low = (value32 & 0xFFFFFF) | (value32 < 0 ? 0x800000 : 0);
    return low >= 0x800000 ? low - 0x1000000 : low;
}

// this op other, sample by sample, in each width's own arithmetic: biased 8-bit bytes modulo
// 256, saturating 16 bits, the 24-bit store rule, 32 bits modulo 2^32. A zero divisor gives the
// width's extreme by the dividend's sign at 16 bits and silence elsewhere.
int32_t ExpectedCombination(int32_t AWidth, TOperation AOperation, int64_t d, int64_t s) {
    if (AWidth == 8) {
        const int64_t a = d - 127, b = s - 127;
        const int64_t biased[] = {a + b, a - b, a * b, b == 0 ? 0 : a / b};
        return static_cast<int32_t>((biased[AOperation] + 127) & 0xFF);
    }
    int64_t quotient = s == 0 ? 0 : d / s;
    if (AWidth == 16)
        quotient =
            s == 0 ? d * 65536 : int64_t(ScaledQuotient(d, 0, s)); // a zero divisor saturates
    const int64_t exact[] = {d + s, d - s, d * s, quotient};
    if (AWidth == 16)
        return static_cast<int32_t>(std::clamp<int64_t>(exact[AOperation], -32768, 32767));
    if (AWidth == 24)
        return Store24(exact[AOperation]);
    return static_cast<int32_t>(static_cast<uint32_t>(exact[AOperation]));
}

// The operations by TOperation: with a buffer, with a constant, with a constant on a channel.
constexpr void (ISVAudioBuffer::*KWithBuffer[])(const TRef<ISVAudioBuffer>&) = {
    &ISVAudioBuffer::Add, &ISVAudioBuffer::Subtract, &ISVAudioBuffer::Multiply,
    &ISVAudioBuffer::Divide};
constexpr void (ISVAudioBuffer::*KWithValue[])(int32_t) = {
    &ISVAudioBuffer::AddValue, &ISVAudioBuffer::SubtractValue, &ISVAudioBuffer::MultiplyValue,
    &ISVAudioBuffer::DivideValue};
constexpr void (ISVAudioBuffer::*KWithChannelValue[])(int32_t, int32_t) = {
    &ISVAudioBuffer::AddChannelValue, &ISVAudioBuffer::SubChannelValue,
    &ISVAudioBuffer::MulChannelValue, &ISVAudioBuffer::DivChannelValue};

// A random stereo buffer whose first frames hold the width's edge values.
TRef<TSVAudioBuffer> EdgeBuffer(int32_t AWidth, uint32_t ASeed) {
    const int32_t high = AWidth == 32 ? INT32_MAX : (1 << (AWidth - 1)) - 1;
    const std::vector<int32_t> edges = AWidth == 8
                                           ? std::vector<int32_t>{0, 1, 126, 127, 128, 255}
                                           : std::vector<int32_t>{-high - 1, -high, -1, 0, 1, high};
    std::vector<int32_t> samples;
    for (int32_t a : edges)
        for (int32_t b : edges)
            samples.insert(samples.end(), {a, b});
    std::mt19937 random(ASeed);
    for (int i = 0; i < 200; ++i)
        samples.push_back(RandomSample(random, AWidth));
    return MakeBuffer(AWidth, 2, KStereo, samples);
}

// A constant operation and the samples before and after it.
struct TConstantCase {
    int32_t Width;
    TOperation Operation;
    int32_t Value;
    std::vector<int32_t> Before;
    std::vector<int32_t> After;
};

bool SameBytesAndStore(const TSVAudioBuffer& ABuffer, const std::vector<uint8_t>& ABytes,
                       const TQXSmartBuffer* AStore) {
    return BytesOf(ABuffer) == ABytes && ABuffer.GetDataContainer() == AStore;
}

} // namespace

TEST(SVAudioBufferArithmetic, BufferWithBufferFollowsEachWidthsArithmetic) {
    for (int32_t width : KWidths) {
        for (TOperation operation : {opAdd, opSub, opMul, opDiv}) {
            const TRef<TSVAudioBuffer> target = EdgeBuffer(width, 1);
            // The other buffer pairs every edge value with every other one.
            std::vector<int32_t> otherSamples = SamplesOf(*EdgeBuffer(width, 2));
            std::reverse(otherSamples.begin(), otherSamples.end());
            const TRef<TSVAudioBuffer> other = MakeBuffer(width, 2, KStereo, otherSamples);
            const std::vector<int32_t> before = SamplesOf(*target);

            ((*target).*KWithBuffer[operation])(other);

            const std::vector<int32_t> after = SamplesOf(*target);
            for (size_t i = 0; i < after.size(); ++i)
                ASSERT_EQ(after[i],
                          ExpectedCombination(width, operation, before[i], otherSamples[i]))
                    << width << " bits, operation " << operation << ", " << before[i] << " with "
                    << otherSamples[i];
            EXPECT_EQ(SamplesOf(*other), otherSamples);
        }
    }
}

TEST(SVAudioBufferArithmetic, BufferWithBufferPairsChannelsBySpeakerOverTheCommonFrames) {
    const TSVSpeakers front3{spFrontLeft, spFrontRight, spFrontCenter};
    const TSVSpeakers leftCentre{spFrontLeft, spFrontCenter};
    const TSVSpeakers backRightSideLeft{spBackRight, spSideLeft};
    const TSVSpeakers unnamedBit = TSVSpeakers::FromMask(1u | 1u << 20);
    const struct {
        int32_t Bits;
        TOperation Operation;
        int32_t Channels, OtherChannels;
        TSVSpeakers Mask, OtherMask;
        std::vector<int32_t> Samples, Other, Expected;
    } cases[] = {
        // clang-format off
        // A mono other goes into every channel.
        {16, opAdd, 2, 1, KStereo, KMono, {1, 2, 3, 4, 32767, -32768}, {10, 20, 1},
         {11, 12, 23, 24, 32767, -32767}},
        // {FL, FC} into {FL, FR, FC}: front right keeps its samples.
        {24, opSub, 3, 2, front3, leftCentre, {1, 2, 3, 4, 5, 6}, {100, 300, 400, 600},
         {-99, 2, -297, -396, 5, -594}},
        // A shorter other changes only the first frames; a longer one only this buffer's frames.
        {32, opMul, 1, 1, KMono, KMono, {5, 6, 7, 8}, {2, 3}, {10, 18, 7, 8}},
        {8, opDiv, 1, 1, KMono, KMono, {137}, {129, 0, 0}, {132}},
        // Speakers the other lacks, or that only it has, are left alone.
        {16, opAdd, 6, 2, KSurround51, backRightSideLeft, {1, 2, 3, 4, 5, 6}, {10, 20},
         {1, 2, 3, 4, 5, 16}},
        // Masks naming more speakers than there are channels: the surplus have no column.
        {16, opAdd, 2, 3, front3, front3, {1, 2, 3, 4}, {10, 20, 30, 40, 50, 60}, {11, 22, 43, 54}},
        {16, opSub, 3, 2, front3, front3, {10, 20, 30, 40, 50, 60}, {1, 2, 3, 4},
         {9, 18, 30, 37, 46, 60}},
        // A mask naming fewer speakers than channels, or a bit no speaker stands for: only the
        // speakers' columns are combined.
        {32, opMul, 2, 2, KMono, KMono, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 9, 4}},
        {32, opMul, 2, 2, unnamedBit, unnamedBit, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 9, 4}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const TRef<TSVAudioBuffer> buffer = MakeBuffer(c.Bits, c.Channels, c.Mask, c.Samples);
        ((*buffer).*
         KWithBuffer[c.Operation])(MakeBuffer(c.Bits, c.OtherChannels, c.OtherMask, c.Other));
        EXPECT_EQ(SamplesOf(*buffer), c.Expected) << c.Bits << " bits, operation " << c.Operation;
    }

    // A buffer with itself.
    const TRef<TSVAudioBuffer> surround = MakeBuffer(16, 6, KSurround51, {1, 2, 3, 4, 5, 16});
    surround->Add(surround);
    EXPECT_EQ(SamplesOf(*surround), (std::vector<int32_t>{2, 4, 6, 8, 10, 32}));

    // A valid width of 12 bits works in 16 bits as well.
    const TRef<TSVAudioBuffer> twelve = TSVAudioBuffer::CreateSizeExObject(44100, 12, 1, 2, KMono);
    twelve->SetValue(100);
    twelve->Add(MakeBuffer(16, 1, KMono, {1, -1}));
    EXPECT_EQ(SamplesOf(*twelve), (std::vector<int32_t>{101, 99}));
}

TEST(SVAudioBufferArithmetic, BufferWithBufferRefusesAnotherWidthAndChangesNothing) {
    const TRef<TSVAudioBuffer> target = EdgeBuffer(16, 3);
    const TRef<TSVAudioBuffer> holder = SharingCopy(target);
    const std::vector<uint8_t> bytes = BytesOf(*target);
    TQXSmartBuffer* const store = target->GetDataContainer();

    EXPECT_EQ(MessageOf<EArgumentError>([&] { target->Add(EdgeBuffer(24, 4)); }),
              "Sample width differs = 24 bits, expected 16");
    EXPECT_THROW(target->Divide(EdgeBuffer(8, 4)), EArgumentError);
    EXPECT_THROW(target->Multiply(nullptr), EAssertionFailed);
    EXPECT_TRUE(SameBytesAndStore(*target, bytes, store));

    // A width no primitive handles: nothing happens, whatever the other buffer.
    MakeUnprocessedWidth(*target);
    const std::vector<uint8_t> unprocessed = BytesOf(*target);
    TQXSmartBuffer* const privateStore = target->GetDataContainer();
    target->Add(EdgeBuffer(24, 5));
    target->Subtract(EdgeBuffer(16, 5));
    EXPECT_TRUE(SameBytesAndStore(*target, unprocessed, privateStore));
    EXPECT_TRUE(SameBytesAndStore(*holder, bytes, store));
}

TEST(SVAudioBufferArithmetic, ConstantsOverTheWholeBufferSaturateOrWrapAsEachWidthDoes) {
    const TConstantCase cases[] = {
        // 8 bits: unsigned bytes, saturating, the low byte of the constant.
        {8, opAdd, 1, {0, 254, 255}, {1, 255, 255}},
        {8, opAdd, -1, {0, 1, 200}, {255, 255, 255}},
        {8, opSub, 10, {5, 10, 200}, {0, 0, 190}},
        {8, opMul, 2, {3, 127, 128}, {6, 254, 255}},
        {8, opMul, 256, {77, 1, 255}, {0, 0, 0}},
        {8, opDiv, 3, {255, 1, 4}, {85, 0, 1}},
        {8, opDiv, 0, {77, 0, 255}, {77, 0, 255}},
        // 16 bits: saturating, the low 16 bits of the constant.
        {16, opAdd, 1, {32767, -1, -32768}, {32767, 0, -32767}},
        {16, opAdd, 65537, {5, 6, 7}, {6, 7, 8}},
        {16, opSub, 1, {-32768, 0, 32767}, {-32768, -1, 32766}},
        {16, opMul, 2, {20000, -20000, 3}, {32767, -32768, 6}},
        {16, opDiv, -1, {-32768, 32767, 0}, {32767, -32767, 0}},
        {16, opDiv, 0, {1234, -1, 0}, {1234, -1, 0}},
        // 24 bits: the store rule, the whole constant.
        {24, opAdd, 1, {8388607, 0, -8388608}, {-8388608, 1, -8388607}},
        {24, opSub, 1, {-8388608, 0, 1}, {-1, -1, 0}},
        {24, opMul, 2, {8388607, -3, 4194304}, {-2, -6, -8388608}},
        {24, opDiv, 2, {5, -5, 8388607}, {2, -2, 4194303}},
        {24, opDiv, 0, {5, -5, 1}, {5, -5, 1}},
        // 32 bits: saturating, the exact quotient rounded half to even.
        {32, opAdd, 1, {INT32_MAX, -1, 0}, {INT32_MAX, 0, 1}},
        {32, opSub, 1, {INT32_MIN, 0, 5}, {INT32_MIN, -1, 4}},
        {32, opMul, 2, {1 << 30, -(1 << 30) - 1, 7}, {INT32_MAX, INT32_MIN, 14}},
        {32, opDiv, 2, {5, 7, -5}, {2, 4, -2}},
        {32, opDiv, 0, {5, INT32_MIN, 0}, {5, INT32_MIN, 0}},
    };
    for (const TConstantCase& c : cases) {
        const TRef<TSVAudioBuffer> buffer = MakeBuffer(c.Width, 1, KMono, c.Before);
        ((*buffer).*KWithValue[c.Operation])(c.Value);
        EXPECT_EQ(SamplesOf(*buffer), c.After)
            << c.Width << " bits, operation " << c.Operation << " by " << c.Value;
    }
    // A zero divisor changes nothing, so a store another buffer holds stays shared.
    for (int32_t width : KWidths) {
        const TRef<TSVAudioBuffer> buffer = EdgeBuffer(width, 9);
        const TRef<TSVAudioBuffer> holder = SharingCopy(buffer);
        buffer->DivideValue(0);
        EXPECT_EQ(holder->GetDataContainer(), buffer->GetDataContainer()) << width;
    }
}

TEST(SVAudioBufferArithmetic, ConstantsOverOneChannelChangeOnlyThatChannel) {
    const TConstantCase cases[] = {
        {8, opAdd, 100, {200}, {255}},
        {8, opSub, 300, {50}, {6}},
        {8, opMul, 3, {100}, {255}},
        {8, opDiv, 0, {10}, {10}},
        {16, opAdd, 100, {32700}, {32767}},
        {16, opSub, 65536 + 7, {-32767}, {-32768}},
        {16, opMul, -2, {20000}, {-32768}},
        {16, opDiv, 2, {-5}, {-2}},
        {16, opDiv, 0, {99}, {99}},
        {24, opAdd, 1, {8388607}, {-8388608}},
        {24, opMul, 3, {-2796203}, {-1}},
        {24, opDiv, 0, {12}, {12}},
        // The strided 32-bit constants wrap and truncate.
        {32, opAdd, 1, {INT32_MAX}, {INT32_MIN}},
        {32, opSub, 2, {INT32_MIN}, {INT32_MAX - 1}},
        {32, opMul, 2, {1 << 30}, {INT32_MIN}},
        {32, opDiv, 2, {-7}, {-3}},
        {32, opDiv, 0, {12}, {12}},
    };
    // A shared store is left alone as by every other writing operation (tested below).
    for (const TConstantCase& c : cases) {
        for (int32_t channels : {1, 3}) {
            const int32_t channel = channels - 1;
            std::vector<int32_t> before(static_cast<size_t>(channels) * 4, c.Width == 8 ? 9 : -9);
            for (size_t frame = 0; frame < 4; ++frame)
                before[frame * channels + channel] = c.Before[0];
            const TRef<TSVAudioBuffer> buffer =
                MakeBuffer(c.Width, channels, TSVSpeakers::FromMask((1u << channels) - 1), before);
            ((*buffer).*KWithChannelValue[c.Operation])(channel, c.Value);
            std::vector<int32_t> expected = before;
            for (size_t frame = 0; frame < 4; ++frame)
                expected[frame * channels + channel] = c.After[0];
            EXPECT_EQ(SamplesOf(*buffer), expected)
                << c.Width << " bits, operation " << c.Operation << " by " << c.Value << ", "
                << channels << " channels";
        }
    }
}

// Every writing operation, on a buffer whose store another buffer shares: the other holder
// keeps its bytes and its store, and the result equals the one computed in place.
TEST(SVAudioBufferArithmetic, EveryWritingOperationLeavesTheOtherHolderOfASharedStoreAlone) {
    using TAction = std::function<void(TSVAudioBuffer&, const TRef<ISVAudioBuffer>&)>;
    std::vector<std::pair<std::string, TAction>> actions = {
        {"SetValue", [](auto& b, auto&) { b.SetValue(5); }},
        {"SetChannelValue", [](auto& b, auto&) { b.SetChannelValue(b.GetChannels() - 1, 5); }},
        {"Zero", [](auto& b, auto&) { b.Zero(); }},
        {"MultiplyByReal", [](auto& b, auto&) { b.MultiplyByReal(0.75); }}};
    for (TOperation op : {opAdd, opSub, opMul, opDiv}) {
        const std::string name = "operation " + std::to_string(op);
        actions.emplace_back(name + " with a buffer",
                             [op](auto& b, auto& o) { (b.*KWithBuffer[op])(o); });
        actions.emplace_back(name + " by a value",
                             [op](auto& b, auto&) { (b.*KWithValue[op])(3); });
        actions.emplace_back(name + " on a channel", [op](auto& b, auto&) {
            (b.*KWithChannelValue[op])(b.GetChannels() - 1, 3);
        });
    }
    for (int32_t width : KWidths) {
        for (int32_t channels : {1, 2}) {
            const TSVSpeakers mask = channels == 1 ? KMono : KStereo;
            const TRef<ISVAudioBuffer> other = MakeRandomBuffer(width, channels, mask, 64, 7);
            for (const auto& [name, action] : actions) {
                const TRef<TSVAudioBuffer> buffer = MakeRandomBuffer(width, channels, mask, 64, 8);
                const TRef<TSVAudioBuffer> holder = SharingCopy(buffer);
                const TRef<TSVAudioBuffer> alone = MakeRandomBuffer(width, channels, mask, 64, 8);
                const std::vector<uint8_t> bytes = BytesOf(*holder);
                TQXSmartBuffer* const store = holder->GetDataContainer();

                action(*buffer, other);
                action(*alone, other);

                EXPECT_TRUE(SameBytesAndStore(*holder, bytes, store))
                    << name << ", " << width << " bits, " << channels << " channels";
                EXPECT_NE(buffer->GetDataContainer(), store) << name;
                EXPECT_EQ(BytesOf(*buffer), BytesOf(*alone))
                    << name << ", " << width << " bits, " << channels << " channels";
            }
        }
    }
}
