
#include <algorithm>
#include <cfenv>
#include <cmath>
#include <utility>

#include "SVAudioBufferTestSupport.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;
using sonvera::testing::BytesOf;
using sonvera::testing::MessageOf;
using sonvera::testing::SamplesOf;

namespace {

const std::vector<uint8_t> KPcmSubFormat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                            0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::vector<uint8_t> HeaderBytes(const TRef<TSVAudioBuffer>& ABuffer) {
    const auto* header = reinterpret_cast<const uint8_t*>(ABuffer->GetConstFormat());
    return {header, header + 40};
}

// The mask a sized buffer keeps, said differently: the AChannels-th set bit among positions
// 0 to 16 ends the mask, unless it is at 16 or there are not that many.
uint32_t ModelKeptMask(int32_t AChannels, uint32_t AMask) {
    if (AMask == 0)
        return AChannels >= 32 ? UINT32_MAX : (uint32_t{1} << AChannels) - 1;
    if (AChannels == 0)
        return 0;
    std::vector<int> setPositions;
    for (int position = 0; position <= 16; ++position)
        if (AMask & (uint32_t{1} << position))
            setPositions.push_back(position);
    if (static_cast<int32_t>(setPositions.size()) < AChannels)
        return AMask;
    const int last = setPositions[AChannels - 1];
    return last == 16 ? AMask : AMask & ((uint32_t{2} << last) - 1);
}

} // namespace

TEST(TSVAudioBuffer, SizedBuffersWriteTheExactHeaderBytes) {
    struct TCase {
        TRef<TSVAudioBuffer> Buffer;
        uint32_t Frames;
        // Tag, channels, rate, bytes per second, block align, container bits, extension size,
        // valid bits, mask; the PCM sub-format follows.
        std::vector<uint8_t> Header;
    };
    // clang-format off
    const TCase cases[] = {
        {TSVAudioBuffer::CreateSizeObject(44100, 16, 2, 10), 10,
         {0xFE, 0xFF, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00,
          0x04, 0x00, 0x10, 0x00, 0x16, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00}},
        // 12 valid bits in a 16-bit container; 6 channels of 20 valid bits in 24.
        {TSVAudioBuffer::CreateSizeObject(44100, 12, 2, 100), 100,
         {0xFE, 0xFF, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00,
          0x04, 0x00, 0x10, 0x00, 0x16, 0x00, 0x0C, 0x00, 0x03, 0x00, 0x00, 0x00}},
        {TSVAudioBuffer::CreateSizeObject(48000, 20, 6, 3), 3,
         {0xFE, 0xFF, 0x06, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0x2F, 0x0D, 0x00,
          0x12, 0x00, 0x18, 0x00, 0x16, 0x00, 0x14, 0x00, 0x3F, 0x00, 0x00, 0x00}},
        {TSVAudioBuffer::CreateObject(), 0,
         {0xFE, 0xFF, 0x01, 0x00, 0x11, 0x2B, 0x00, 0x00, 0x11, 0x2B, 0x00, 0x00,
          0x01, 0x00, 0x08, 0x00, 0x16, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00}},
    };
    // clang-format on
    for (const TCase& c : cases) {
        std::vector<uint8_t> expected = c.Header;
        expected.insert(expected.end(), KPcmSubFormat.begin(), KPcmSubFormat.end());
        EXPECT_EQ(HeaderBytes(c.Buffer), expected) << c.Frames;
        const uint32_t blockAlign = c.Header[12];
        EXPECT_EQ(c.Buffer->GetSize(), c.Frames);
        EXPECT_EQ(c.Buffer->GetBuffer()->GetSize(), 40 + c.Frames * blockAlign);
    }
}

TEST(TSVAudioBuffer, CreateSizeExKeepsTheLowestSpeakersAmongTheFirstSeventeenPositions) {
    auto kept = [](int32_t AChannels, uint32_t AMask) {
        return TSVAudioBuffer::CreateSizeExObject(44100, 16, AChannels, 1,
                                                  TSVSpeakers::FromMask(AMask))
            ->GetChannelMask()
            .Mask();
    };
    EXPECT_EQ(kept(2, TSVSpeakers{spFrontLeft, spFrontCenter, spBackLeft}.Mask()),
              (TSVSpeakers{spFrontLeft, spFrontCenter}.Mask()));
    EXPECT_EQ(kept(1, 0x80100001u), 0x1u);  // every bit above the kept one goes
    EXPECT_EQ(kept(2, 0x30001u), 0x30001u); // the second speaker sits at position 16
    EXPECT_EQ(kept(3, 0x20003u), 0x20003u); // bit 17 is never counted
    EXPECT_EQ(kept(2, 0x1C000u), 0xC000u);  // positions 14 and 15 of three

    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t mask = random() & (random() | 0xFFFC0000u) & random();
        const int32_t channels = static_cast<int32_t>(random() % 20);
        EXPECT_EQ(kept(channels, mask), ModelKeptMask(channels, mask))
            << channels << " channels, mask " << mask;
    }

    // Data constructors keep the mask exactly as given.
    const int16_t samples[2] = {1, 2};
    EXPECT_EQ(TSVAudioBuffer::CreateDataExObject(samples, 8000, 16, 2, 1,
                                                 TSVSpeakers::FromMask(0x80000015u))
                  ->GetChannelMask()
                  .Mask(),
              0x80000015u);
}

TEST(TSVAudioBuffer, FloatDataIsScaledRoundedAndSaturatedOnBothPaths) {
    const float kHalfStep = std::ldexp(1.0f, -32); // half of one 32-bit step
    const std::vector<float> values = {1.0f, -1.0f,     0.5f,          -0.25f,
                                       0.0f, kHalfStep, 3 * kHalfStep, -3 * kHalfStep,
                                       2.0f, -8.0f,     std::nanf("")};
    const std::vector<int32_t> expected = {INT32_MAX, INT32_MIN, 1073741824, -536870912, 0, 0,
                                           2,         -2,        INT32_MAX,  INT32_MIN,  0};

    // Interleaved: stride = channels * 4.
    TRef<TSVAudioBuffer> interleaved =
        TSVAudioBuffer::CreateFloatDataObject(values.data(), 48000, 1, 4, 11);
    EXPECT_EQ(SamplesOf(*interleaved), expected);

    // One block longer than the buffer; the planar layout keeps the mask it is given (the
    // blocks themselves are checked against the interleaved path below).
    const float wide[8] = {0.5f, 1.0f, 9, 9, -1.0f, -0.5f, 9, 9};
    TRef<TSVAudioBuffer> one = TSVAudioBuffer::CreateFloatDataExObject(
        wide, 8000, 2, 16, 2, TSVSpeakers{spFrontLeft, spFrontCenter});
    EXPECT_EQ(one->GetChannelMask(), (TSVSpeakers{spFrontLeft, spFrontCenter}));
    EXPECT_EQ(SamplesOf(*one),
              (std::vector<int32_t>{1073741824, INT32_MIN, INT32_MAX, -1073741824}));

    // Strides that would not advance, or would misalign the floats, are refused.
    EXPECT_THROW(TSVAudioBuffer::CreateFloatDataObject(wide, 8000, 2, 0, 2), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateFloatDataObject(wide, 8000, 2, 6, 2), EArgumentError);
}

// Planar blocks give the samples of the interleaved path, for channel counts that go in pairs
// and alone, and blocks longer than one converted chunk, halfway cases rounded to even whatever
// rounding mode the caller has set.
TEST(TSVAudioBuffer, PlanarFloatDataMatchesInterleavedForAnyChannelCount) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> around(-1.25f, 1.25f);
    constexpr int32_t kFrames = 2600;
    const std::pair<int32_t, int> kCases[] = {{1, FE_TONEAREST}, {2, FE_TONEAREST},
                                              {3, FE_TONEAREST}, {5, FE_TONEAREST},
                                              {2, FE_UPWARD},    {2, FE_DOWNWARD}};
    const int savedMode = std::fegetround();
    for (const auto& [channels, mode] : kCases) {
        std::fesetround(mode);
        for (int32_t rows : {kFrames, 1100, 7}) {
            std::vector<float> interleaved(size_t(kFrames) * channels);
            for (float& value : interleaved)
                value = random() % 4 == 0 ? std::ldexp(float(int(random() % 9) - 4) + 0.5f, -31)
                                          : around(random);
            interleaved[0] = std::nanf("");
            std::vector<float> planar;
            for (int32_t first = 0; first < kFrames; first += rows)
                for (int32_t channel = 0; channel < channels; ++channel)
                    for (int32_t row = 0; row < rows; ++row)
                        planar.push_back(first + row < kFrames
                                             ? interleaved[size_t(first + row) * channels + channel]
                                             : 9.0f);
            const TRef<TSVAudioBuffer> reference = TSVAudioBuffer::CreateFloatDataObject(
                interleaved.data(), 44100, channels, uint32_t(channels) * 4, kFrames);
            const TRef<TSVAudioBuffer> blocks = TSVAudioBuffer::CreateFloatDataObject(
                planar.data(), 44100, channels, uint32_t(rows) * 4, kFrames);
            ASSERT_EQ(std::memcmp(blocks->Read(), reference->Read(), reference->GetByteSize()), 0)
                << channels << " channels, blocks of " << rows << ", rounding mode " << mode;
        }
    }
    std::fesetround(savedMode);
}

TEST(TSVAudioBuffer, NumbersTheBufferCannotHoldAreRefusedBeforeAllocating) {
    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(-1, 16, 2, 10), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, -8, 2, 10), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, 33, 2, 10), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, 16, -2, 10), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, 16, 2, -10), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, 32, 16384, 1), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, 0, 65536, 1), EArgumentError);
    EXPECT_THROW(TSVAudioBuffer::CreateSizeObject(44100, 32, 2, INT32_MAX), EArgumentError);
    EXPECT_EQ(MessageOf<EArgumentError>(
                  [] { TSVAudioBuffer::CreateSizeObject(44100, 32, 8, 0x4000000); }),
              "Store size out of range = 2147483688");
    // The largest frame the 16-bit block alignment holds is accepted.
    EXPECT_EQ(TSVAudioBuffer::CreateSizeObject(44100, 24, 21845, 1)->GetDataStep(), 65535);

    TSVWaveFormatExtensible record = TSVAudioBuffer::CreateSize(96000, 24, 2, 1)->GetWaveFormat();
    TRef<TSVAudioBuffer> fromRecord = TSVAudioBuffer::CreateWaveFormatObject(&record, 5);
    EXPECT_EQ(SVIsEqualAudioFormat(fromRecord->GetWaveFormat(), record), true);
    EXPECT_EQ(fromRecord->GetSize(), 5u);
    // The fields the buffer derives itself are ignored; those it is built from follow the
    // sized constructor's rules, no channels included.
    TSVWaveFormatExtensible odd = record;
    odd.Format.nBlockAlign = 0;
    odd.Format.wBitsPerSample = 48;
    EXPECT_EQ(TSVAudioBuffer::CreateWaveFormatObject(&odd, 5)->GetDataStep(), 6);
    odd.Format.nChannels = 0;
    EXPECT_EQ(TSVAudioBuffer::CreateWaveFormatObject(&odd, 5)->GetSize(), 0u);
    EXPECT_EQ(TSVAudioBuffer::CreateSizeObject(96000, 24, 0, 5)->GetSize(), 0u);
    for (auto spoil : {+[](TSVWaveFormatExtensible& A) { A.Samples.wValidBitsPerSample = 40; },
                       +[](TSVWaveFormatExtensible& A) { A.Format.nSamplesPerSec = 0x80000000u; },
                       +[](TSVWaveFormatExtensible& A) { A.Format.nChannels = 30000; }}) {
        TSVWaveFormatExtensible bad = record;
        spoil(bad);
        EXPECT_THROW(TSVAudioBuffer::CreateWaveFormatObject(&bad, 5), EArgumentError);
    }
    fromRecord = nullptr;
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, blocksBefore);
}

TEST(TSVAudioBuffer, SingleSamplesAreRangeCheckedAndSignExtended) {
    TRef<TSVAudioBuffer> stereo = TSVAudioBuffer::CreateSizeObject(44100, 16, 2, 10);
    EXPECT_EQ(MessageOf<ERangeError>([&] { stereo->GetItem(0, 2); }), "Channel out of range = 2");
    EXPECT_EQ(MessageOf<ERangeError>([&] { stereo->GetItem(10, 0); }), "Index out of range = 10");
    EXPECT_EQ(MessageOf<ERangeError>([&] { stereo->SetItem(10, 5, 1); }),
              "Channel out of range = 5");
    EXPECT_EQ(MessageOf<ERangeError>([&] { stereo->SetItem(4000000000u, 1, 1); }),
              "Index out of range = 4000000000");
    EXPECT_EQ(MessageOf<ERangeError>([&] { stereo->IsEqualChannelValue(-1, 0); }),
              "Channel out of range = 4294967295");

    // Each width keeps its low bits and reads them back sign-extended; 8-bit samples are raw
    // bytes, and 20 valid bits take the 24-bit container.
    const struct {
        int32_t Bits, Written, Read;
        std::vector<uint8_t> Bytes;
    } samples[] = {{16, 0x12345, 0x2345, {0x45, 0x23}},
                   {16, -32768, -32768, {0x00, 0x80}},
                   {24, -1, -1, {0xFF, 0xFF, 0xFF}},
                   {24, 0x00800000, -8388608, {0x00, 0x00, 0x80}},
                   {24, 0x7FFFFF, 8388607, {0xFF, 0xFF, 0x7F}},
                   {8, 200, -56, {200}},
                   {20, -5, -5, {0xFB, 0xFF, 0xFF}},
                   {32, INT32_MIN, INT32_MIN, {0, 0, 0, 0x80}}};
    for (const auto& c : samples) {
        TRef<TSVAudioBuffer> buffer = TSVAudioBuffer::CreateSizeObject(8000, c.Bits, 2, 3);
        buffer->SetItem(2, 1, c.Written);
        EXPECT_EQ(buffer->GetItem(2, 1), c.Read) << c.Bits << " bits, " << c.Written;
        const std::vector<uint8_t> bytes = BytesOf(*buffer);
        EXPECT_EQ(std::vector<uint8_t>(bytes.end() - c.Bytes.size(), bytes.end()), c.Bytes);
    }

    TRef<TSVAudioBuffer> packed = TSVAudioBuffer::CreateSizeObject(44100, 24, 2, 3);
    packed->SetValue(-1);
    EXPECT_TRUE(packed->IsEqualToValue(-1));
    packed->SetItem(2, 1, -2);
    EXPECT_FALSE(packed->IsEqualToValue(-1));
    EXPECT_TRUE(packed->IsEqualChannelValue(0, -1));
    EXPECT_FALSE(packed->IsEqualChannelValue(1, -1));
    EXPECT_TRUE(TSVAudioBuffer::CreateObject()->IsEqualToValue(7));
}

TEST(TSVAudioBuffer, WritersGetAPrivateStoreAndTheOtherHolderKeepsSamplesAndTimestamp) {
    const int16_t samples[8] = {1, -1, 2, -2, 3, -3, 4, -4};
    TRef<TSVAudioBuffer> original = TSVAudioBuffer::CreateDataObject(samples, 44100, 16, 2, 4);
    original->SetTimeStampBegin(1000);
    original->SetTimeStampEnd(2000);
    original->SetTimeStampAvailable(true);
    const std::vector<uint8_t> before = BytesOf(*original);

    auto expectUntouched = [&] {
        EXPECT_EQ(BytesOf(*original), before);
        EXPECT_EQ(original->GetTimeStampBegin(), 1000);
        EXPECT_EQ(original->GetTimeStampEnd(), 2000);
        EXPECT_TRUE(original->GetTimeStampAvailable());
    };

    // SetItem: shared until the write, then the copy starts from the shared timestamp.
    TRef<ISVAudioBuffer> copy = TSVAudioBuffer::CreateCopy(TRef<ISVAudioBuffer>(original));
    EXPECT_EQ(copy->Read(), original->Read());
    copy->GetTimeStamp()->SetBegin(1500);
    EXPECT_EQ(original->GetTimeStampBegin(), 1500);
    copy->SetItem(1, 1, 99);
    EXPECT_NE(copy->Read(), original->Read());
    EXPECT_EQ(copy->GetItem(1, 1), 99);
    EXPECT_EQ(copy->GetItem(3, 0), 4);
    EXPECT_EQ(copy->GetTimeStamp()->GetBegin(), 1500);
    copy->GetTimeStamp()->SetBegin(1);
    copy->GetTimeStamp()->SetAvailable(false);
    original->SetTimeStampBegin(1000);
    EXPECT_EQ(copy->GetTimeStamp()->GetBegin(), 1);
    expectUntouched();

    // Write: the header travels, the samples are the writer's to fill.
    TRef<TSVAudioBuffer> writer = TSVAudioBuffer::CreateExObject(original);
    auto* target = static_cast<int16_t*>(writer->Write());
    EXPECT_NE(static_cast<const void*>(target), original->Read());
    EXPECT_EQ(HeaderBytes(writer), HeaderBytes(original));
    EXPECT_EQ(writer->GetSize(), 4u);
    std::fill_n(target, 8, int16_t{7});
    EXPECT_TRUE(writer->IsEqualToValue(7));
    EXPECT_EQ(writer->GetTimeStampEnd(), 2000);
    expectUntouched();

    // Modify: the samples travel too; GetModifyFormat as well.
    TRef<TSVAudioBuffer> modifier =
        TSVAudioBuffer::CreateUniversalObject(TRef<IQXData>(original.get()));
    static_cast<int16_t*>(modifier->Modify())[0] = 50;
    EXPECT_EQ(modifier->GetItem(0, 0), 50);
    EXPECT_EQ(modifier->GetItem(0, 1), -1);
    TRef<TSVAudioBuffer> formatter = TSVAudioBuffer::CreateExObject(original);
    formatter->GetModifyFormat()->Format.nSamplesPerSec = 8000;
    EXPECT_EQ(formatter->GetSamplesPerSecond(), 8000);
    EXPECT_EQ(original->GetSamplesPerSecond(), 44100);
    EXPECT_EQ(BytesOf(*formatter), before);
    expectUntouched();

    // A single holder writes in place.
    const void* own = modifier->Read();
    modifier->SetItem(0, 0, 1);
    EXPECT_EQ(modifier->Write(), own);
    EXPECT_EQ(modifier->Modify(), own);
}

TEST(TSVAudioBuffer, ResizeKeepsOrReplacesTheStoreAsItMust) {
    const int16_t samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TRef<TSVAudioBuffer> buffer = TSVAudioBuffer::CreateDataObject(samples, 44100, 16, 2, 4);
    TSVSmartAudioBuffer* const store = buffer->GetBuffer();

    buffer->Resize(0, true);
    EXPECT_EQ(buffer->GetSize(), 4u);

    // Shrinking keeps the store; growing back within it, as its only holder, keeps it too.
    buffer->Resize(2, false);
    EXPECT_EQ(buffer->GetSize(), 2u);
    EXPECT_EQ(buffer->GetBuffer(), store);
    buffer->Resize(4, false);
    EXPECT_EQ(buffer->GetBuffer(), store);
    EXPECT_EQ(buffer->GetItem(3, 1), 8);

    // A shared buffer shrinks in place, but grows onto a new store, even within the old one,
    // taking the old frames along; the other holder keeps its store and size.
    TRef<TSVAudioBuffer> other = TSVAudioBuffer::CreateExObject(buffer);
    buffer->Resize(2, false);
    EXPECT_EQ(buffer->GetBuffer(), store);
    buffer->Resize(6, true);
    EXPECT_NE(buffer->GetBuffer(), store);
    EXPECT_EQ(buffer->GetBuffer()->GetSize(), 64u);
    EXPECT_EQ(buffer->GetSize(), 6u);
    EXPECT_EQ(HeaderBytes(buffer), HeaderBytes(other));
    EXPECT_EQ(std::memcmp(buffer->Read(), samples, sizeof samples), 0);
    EXPECT_EQ(other->GetBuffer(), store);
    EXPECT_EQ(other->GetSize(), 4u);
    buffer->SetItem(0, 0, -9);
    EXPECT_EQ(other->GetItem(0, 0), 1);

    // Growing beyond a single owner's store without preserving keeps only the header.
    TRef<TSVAudioBuffer> lone = TSVAudioBuffer::CreateDataObject(samples, 44100, 16, 2, 4);
    const std::vector<uint8_t> header = HeaderBytes(lone);
    lone->Resize(100, false);
    EXPECT_EQ(lone->GetSize(), 100u);
    EXPECT_EQ(HeaderBytes(lone), header);

    EXPECT_THROW(lone->Resize(UINT32_MAX, true), EArgumentError);
    EXPECT_EQ(lone->GetSize(), 100u);
}
