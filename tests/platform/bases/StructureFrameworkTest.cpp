#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sonvera/platform/bases/QXBufferAccumulator.h"
#include "sonvera/platform/bases/QXPacketSize.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

using namespace sonvera;

namespace {

using TBytes = std::vector<uint8_t>;

TRef<IQXData> Piece(const TBytes& ABytes) {
    TRef<TQXBlockBuffer> piece = TQXBlockBuffer::CreateSizeObject(uint32_t(ABytes.size()));
    std::copy(ABytes.begin(), ABytes.end(), piece->Write());
    return piece;
}

// An accumulator holding ABytes cut into pieces of ASizes (cycled), after a piece of junk that
// is consumed again, so that reading starts inside a piece.
TRef<TQXBufferAccumulator> Accumulated(const TBytes& ABytes, const std::vector<size_t>& ASizes) {
    TRef<TQXBufferAccumulator> accumulator = TQXBufferAccumulator::CreateObject();
    accumulator->Append(Piece({0xEE, 0xEE, 0xEE}));
    EXPECT_TRUE(accumulator->Skip(2));
    accumulator->Append(Piece({}));
    size_t at = 0;
    for (size_t i = 0; at < ABytes.size(); ++i) {
        const size_t size = std::min(ASizes[i % ASizes.size()], ABytes.size() - at);
        accumulator->Append(Piece(TBytes(ABytes.begin() + at, ABytes.begin() + at + size)));
        at += size;
    }
    EXPECT_TRUE(accumulator->Skip(1));
    return accumulator;
}

} // namespace

TEST(QXPacketSize, WritesTheShortestFormAndReadsEveryForm) {
    const std::pair<uint64_t, TBytes> cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x80, 0x80}},
        {16383, {0xBF, 0xFF}},
        {16384, {0xC0, 0x40, 0x00}},
        {(1u << 21) - 1, {0xDF, 0xFF, 0xFF}},
        {1u << 21, {0xE0, 0x20, 0x00, 0x00}},
        {(uint64_t{1} << 35) - 1, {0xF7, 0xFF, 0xFF, 0xFF, 0xFF}},
        {uint64_t{1} << 48, {0xFD, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {(uint64_t{1} << 56) - 1, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {uint64_t{1} << 56, {0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {UINT64_MAX, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const auto& [number, bytes] : cases) {
        EXPECT_EQ(GetPacketByteLength(number), bytes.size()) << number;
        TBytes written(KMaxPacketByteLength + 1, 0xAA);
        uint8_t* cursor = written.data();
        WritePacketSize(cursor, number);
        ASSERT_EQ(cursor - written.data(), std::ptrdiff_t(bytes.size())) << number;
        EXPECT_EQ(TBytes(written.begin(), written.begin() + bytes.size()), bytes) << number;
        EXPECT_EQ(written[bytes.size()], 0xAA) << number;

        // Read at byte 1, one byte to a piece: incomplete until the last byte is there.
        TBytes stream(bytes.size() + 1, 0x55);
        std::copy(bytes.begin(), bytes.end(), stream.begin() + 1);
        for (size_t held = 1; held <= stream.size(); ++held) {
            TRef<TQXBufferAccumulator> accumulator =
                Accumulated(TBytes(stream.begin(), stream.begin() + held), {1});
            uint64_t value = 7;
            uint32_t length = 7;
            const bool whole = held == stream.size();
            EXPECT_EQ(ExtractPacketSize(*accumulator, 8, value, length), whole) << number;
            EXPECT_EQ(value, whole ? number : 7) << number;
            EXPECT_EQ(length, whole ? bytes.size() : 7) << number;
        }
    }
    // Longer forms than needed are read as well; fields start on whole bytes.
    TRef<TQXBufferAccumulator> overlong =
        Accumulated({0xC0, 0x00, 0x05, 0xFF, 0, 0, 0, 0, 0, 0, 0, 3}, {2});
    uint64_t value = 0;
    uint32_t length = 0;
    ASSERT_TRUE(ExtractPacketSize(*overlong, 0, value, length));
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(length, 3u);
    ASSERT_TRUE(ExtractPacketSize(*overlong, 24, value, length));
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(length, 9u);
    EXPECT_THROW(ExtractPacketSize(*overlong, 4, value, length), EAssertionFailed);
}

TEST(QXBufferAccumulator, ReadsAcrossPiecesAndDoesAllOrNothing) {
    TBytes bytes(50);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + 1);
    for (const std::vector<size_t>& sizes :
         std::vector<std::vector<size_t>>{{50}, {1}, {3, 1, 7}, {16, 2}}) {
        TRef<TQXBufferAccumulator> accumulator = Accumulated(bytes, sizes);
        ASSERT_EQ(accumulator->GetSize(), 50u);
        TBytes out(60, 0);
        // Peeks anywhere, consuming nothing; past the end nothing is copied.
        ASSERT_TRUE(accumulator->Peek(13, out.data(), 30));
        EXPECT_EQ(TBytes(out.begin(), out.begin() + 30),
                  TBytes(bytes.begin() + 13, bytes.begin() + 43));
        EXPECT_TRUE(accumulator->Peek(50, out.data(), 0));
        EXPECT_FALSE(accumulator->Peek(21, out.data(), 30));
        EXPECT_FALSE(accumulator->Peek(UINT64_MAX, out.data(), 2));
        EXPECT_EQ(out[0], bytes[13]);
        // Reads and skips consume from the front, or do nothing.
        EXPECT_FALSE(accumulator->Read(out.data(), 51));
        EXPECT_FALSE(accumulator->Skip(51));
        ASSERT_EQ(accumulator->GetSize(), 50u);
        ASSERT_TRUE(accumulator->Read(out.data(), 9));
        EXPECT_EQ(TBytes(out.begin(), out.begin() + 9), TBytes(bytes.begin(), bytes.begin() + 9));
        ASSERT_TRUE(accumulator->Skip(20));
        ASSERT_TRUE(accumulator->Peek(0, out.data(), 21));
        EXPECT_EQ(TBytes(out.begin(), out.begin() + 21), TBytes(bytes.begin() + 29, bytes.end()));
        // Bytes appended after a consumption follow on.
        accumulator->Append(Piece({0xA1, 0xA2}));
        ASSERT_TRUE(accumulator->Skip(20));
        ASSERT_TRUE(accumulator->Read(out.data(), 3));
        EXPECT_EQ(TBytes(out.begin(), out.begin() + 3), (TBytes{bytes[49], 0xA1, 0xA2}));
        EXPECT_EQ(accumulator->GetSize(), 0u);
        accumulator->Append(Piece({1, 2, 3}));
        accumulator->Drop();
        EXPECT_EQ(accumulator->GetSize(), 0u);
        EXPECT_FALSE(accumulator->Peek(0, out.data(), 1));
    }

    // A buffer written after it was appended leaves the accumulated bytes as they were; Take
    // moves what is left of one accumulator behind another's.
    TRef<TQXBlockBuffer> shared = TQXBlockBuffer::CreateSizeObject(3);
    std::fill_n(shared->Write(), 3, uint8_t{0x11});
    TRef<TQXBufferAccumulator> first = TQXBufferAccumulator::CreateObject();
    TRef<TQXBufferAccumulator> second = TQXBufferAccumulator::CreateObject();
    first->Append(Piece({1, 2, 3, 4}));
    second->Append(Piece({9}));
    second->Append(shared);
    ASSERT_TRUE(second->Skip(1));
    shared->Write()[0] = 0x22;
    first->Take(*second);
    EXPECT_EQ(second->GetSize(), 0u);
    TBytes out(7, 0);
    ASSERT_TRUE(first->Read(out.data(), 7));
    EXPECT_EQ(out, (TBytes{1, 2, 3, 4, 0x11, 0x11, 0x11}));
    EXPECT_EQ(shared->Read()[0], 0x22);
}
