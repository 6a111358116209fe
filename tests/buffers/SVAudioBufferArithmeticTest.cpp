
#include <algorithm>
#include <functional>

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
        for (int32_t b : edges) {
            samples.push_back(a);
            samples.push_back(b);
        }
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
    // A mono other goes into every channel.
    const TRef<TSVAudioBuffer> stereo = MakeBuffer(16, 2, KStereo, {1, 2, 3, 4, 32767, -32768});
    stereo->Add(MakeBuffer(16, 1, KMono, {10, 20, 1}));
    EXPECT_EQ(SamplesOf(*stereo), (std::vector<int32_t>{11, 12, 23, 24, 32767, -32767}));

    // {FL, FC} into {FL, FR, FC}: front right keeps its samples.
    const TRef<TSVAudioBuffer> three = MakeBuffer(
        24, 3, TSVSpeakers{spFrontLeft, spFrontRight, spFrontCenter}, {1, 2, 3, 4, 5, 6});
    three->Subtract(
        MakeBuffer(24, 2, TSVSpeakers{spFrontLeft, spFrontCenter}, {100, 300, 400, 600}));
    EXPECT_EQ(SamplesOf(*three), (std::vector<int32_t>{-99, 2, -297, -396, 5, -594}));

    // A shorter other changes only the first frames; a longer one only this buffer's frames.
    const TRef<TSVAudioBuffer> longer = MakeBuffer(32, 1, KMono, {5, 6, 7, 8});
    longer->Multiply(MakeBuffer(32, 1, KMono, {2, 3}));
    EXPECT_EQ(SamplesOf(*longer), (std::vector<int32_t>{10, 18, 7, 8}));
    const TRef<TSVAudioBuffer> shorter = MakeBuffer(8, 1, KMono, {137});
    shorter->Divide(MakeBuffer(8, 1, KMono, {129, 0, 0}));
    EXPECT_EQ(SamplesOf(*shorter), (std::vector<int32_t>{132}));

    // Speakers the other lacks, or that only it has, are left alone; a buffer with itself.
    const TRef<TSVAudioBuffer> surround = MakeBuffer(16, 6, KSurround51, {1, 2, 3, 4, 5, 6});
    surround->Add(MakeBuffer(16, 2, TSVSpeakers{spBackRight, spSideLeft}, {10, 20}));
    EXPECT_EQ(SamplesOf(*surround), (std::vector<int32_t>{1, 2, 3, 4, 5, 16}));
    surround->Add(surround);
    EXPECT_EQ(SamplesOf(*surround), (std::vector<int32_t>{2, 4, 6, 8, 10, 32}));

    // A mask naming more speakers than there are channels: the surplus speakers have no column.
    const TSVSpeakers three3{spFrontLeft, spFrontRight, spFrontCenter};
    const int16_t twoFrames[] = {1, 2, 3, 4};
    const int16_t threeFrames[] = {10, 20, 30, 40, 50, 60};
    const TRef<TSVAudioBuffer> narrow =
        TSVAudioBuffer::CreateDataExObject(twoFrames, 44100, 16, 2, 2, three3);
    narrow->Add(TSVAudioBuffer::CreateDataEx(threeFrames, 44100, 16, 3, 2, three3));
    EXPECT_EQ(SamplesOf(*narrow), (std::vector<int32_t>{11, 22, 43, 54}));
    const TRef<TSVAudioBuffer> wide =
        TSVAudioBuffer::CreateDataExObject(threeFrames, 44100, 16, 3, 2, three3);
    wide->Subtract(TSVAudioBuffer::CreateDataEx(twoFrames, 44100, 16, 2, 2, three3));
    EXPECT_EQ(SamplesOf(*wide), (std::vector<int32_t>{9, 18, 30, 37, 46, 60}));

    // A mask naming fewer speakers than channels, or a bit no speaker stands for: only the
    // speakers' columns are combined.
    const int32_t pairs[] = {1, 2, 3, 4};
    for (TSVSpeakers mask : {TSVSpeakers{spFrontLeft}, TSVSpeakers::FromMask(1u | 1u << 20)}) {
        const TRef<TSVAudioBuffer> partial =
            TSVAudioBuffer::CreateDataExObject(pairs, 44100, 32, 2, 2, mask);
        partial->Multiply(TSVAudioBuffer::CreateDataEx(pairs, 44100, 32, 2, 2, mask));
        EXPECT_EQ(SamplesOf(*partial), (std::vector<int32_t>{1, 2, 9, 4})) << mask.Mask();
    }

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
        // Once in place on a store of its own, once from a store another buffer shares.
        for (bool shared : {false, true}) {
            const TRef<TSVAudioBuffer> buffer = MakeBuffer(c.Width, 1, KMono, c.Before);
            const TRef<TSVAudioBuffer> holder = shared ? SharingCopy(buffer) : nullptr;
            ((*buffer).*KWithValue[c.Operation])(c.Value);
            EXPECT_EQ(SamplesOf(*buffer), c.After)
                << c.Width << " bits, operation " << c.Operation << " by " << c.Value
                << (shared ? ", shared" : "");
            if (holder) {
                EXPECT_EQ(SamplesOf(*holder), c.Before);
                // A zero divisor changes nothing, so the store stays shared.
                EXPECT_EQ(holder->GetDataContainer() == buffer->GetDataContainer(),
                          c.Operation == opDiv && c.Value == 0);
            }
        }
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
    const std::pair<const char*, TAction> actions[] = {
        {"Add", [](auto& b, auto& o) { b.Add(o); }},
        {"Subtract", [](auto& b, auto& o) { b.Subtract(o); }},
        {"Multiply", [](auto& b, auto& o) { b.Multiply(o); }},
        {"Divide", [](auto& b, auto& o) { b.Divide(o); }},
        {"SetValue", [](auto& b, auto&) { b.SetValue(5); }},
        {"AddValue", [](auto& b, auto&) { b.AddValue(3); }},
        {"SubtractValue", [](auto& b, auto&) { b.SubtractValue(3); }},
        {"MultiplyValue", [](auto& b, auto&) { b.MultiplyValue(3); }},
        {"DivideValue", [](auto& b, auto&) { b.DivideValue(3); }},
        {"SetChannelValue", [](auto& b, auto&) { b.SetChannelValue(b.GetChannels() - 1, 5); }},
        {"AddChannelValue", [](auto& b, auto&) { b.AddChannelValue(b.GetChannels() - 1, 3); }},
        {"SubChannelValue", [](auto& b, auto&) { b.SubChannelValue(b.GetChannels() - 1, 3); }},
        {"MulChannelValue", [](auto& b, auto&) { b.MulChannelValue(b.GetChannels() - 1, 3); }},
        {"DivChannelValue", [](auto& b, auto&) { b.DivChannelValue(b.GetChannels() - 1, 3); }},
        {"Zero", [](auto& b, auto&) { b.Zero(); }},
        {"MultiplyByReal", [](auto& b, auto&) { b.MultiplyByReal(0.75); }},
    };
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
