#include "sonvera/platform/signal/QXTypedBuffers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "MemoryMedium.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;

namespace {

uint64_t BlocksInUse() {
    return QXBufferAllocatorState().BlocksInUse;
}

} // namespace

TEST(TQXTypedBuffers, CreateSizeCountsElementsAndRefusesAbsurdCounts) {
    TRef<IQXIntegerBuffer> ints = TQXIntegerBuffer::CreateSize(10);
    EXPECT_EQ(ints->GetSize(), 10u);
    EXPECT_EQ(ints->GetByteSize(), 40u);
    int32_t* values = ints->Write();
    for (int32_t i = 0; i < 10; ++i)
        values[i] = (i - 5) * 400000000;
    values[0] = std::numeric_limits<int32_t>::min();
    values[9] = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(ints->GetItem(0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ints->GetItem(4), -400000000);
    EXPECT_EQ(ints->GetItem(9), std::numeric_limits<int32_t>::max());
    try {
        ints->GetItem(10);
        ADD_FAILURE() << "index 10 was accepted";
    } catch (const ERangeError& error) {
        EXPECT_STREQ(error.what(), "Index out of range = 10");
    }
    EXPECT_THROW(ints->SetItem(0xFFFFFFFFu, 1), ERangeError);
    ints->SetItem(1, -1);
    EXPECT_EQ(ints->Read()[1], -1);

    TRef<IQXRealBuffer> reals = TQXRealBuffer::CreateSize(3);
    EXPECT_EQ(reals->GetByteSize(), 24u);
    reals->SetItem(0, -0.0);
    reals->SetItem(1, std::numeric_limits<double>::denorm_min());
    reals->SetItem(2, std::numeric_limits<double>::max());
    EXPECT_TRUE(std::signbit(reals->GetItem(0)));
    EXPECT_EQ(reals->GetItem(1), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(reals->GetItem(2), std::numeric_limits<double>::max());

    TRef<IQXBlockBuffer> block = TQXBlockBuffer::CreateSize(5);
    EXPECT_EQ(block->GetSize(), 5u);
    EXPECT_EQ(block->GetByteSize(), 5u);
    TRef<IQXBlockBuffer> empty = TQXBlockBuffer::Create();
    EXPECT_EQ(empty->GetSize(), 0u);
    EXPECT_NE(empty->Read(), nullptr);

    // Counts whose byte size does not fit are refused before anything is allocated.
    const uint64_t inUse = BlocksInUse();
    EXPECT_THROW(TQXIntegerBuffer::CreateSize(0x20000000u), EArgumentError);
    EXPECT_THROW(TQXRealBuffer::CreateSize(0x10000000u), EArgumentError);
    EXPECT_THROW(TQXBlockBuffer::CreateSize(0x80000000u), EArgumentError);
    try {
        TQXRealBuffer::CreateSize(0xFFFFFFFFu);
        ADD_FAILURE() << "an absurd count was accepted";
    } catch (const EArgumentError& error) {
        EXPECT_STREQ(error.what(), "Element count out of range = 4294967295");
    }
    EXPECT_EQ(BlocksInUse(), inUse);

    // The three kinds are distinct interfaces over one generic base.
    EXPECT_THROW(IntfCast<IQXRealBuffer>(ints), EIntfCastError);
    EXPECT_TRUE(Supports<IQXDataBuffer>(ints));
}

TEST(TQXTypedBuffers, WritingOneHolderLeavesTheOthersAlone) {
    TRef<TQXIntegerBuffer> ints = TQXIntegerBuffer::CreateSizeObject(4);
    for (uint32_t i = 0; i < 4; ++i)
        ints->Write()[i] = static_cast<int32_t>(i + 1);
    TRef<IQXIntegerBuffer> copy = IntfCast<IQXIntegerBuffer>(ints->MakeCopy());
    TRef<IQXIntegerBuffer> intfCopy = IntfCast<IQXIntegerBuffer>(ints->MakeIntfCopy());
    EXPECT_EQ(copy->Read(), ints->Read());
    copy->SetItem(2, -7);
    EXPECT_EQ(copy->GetItem(2), -7);
    EXPECT_EQ(copy->GetItem(3), 4);
    EXPECT_EQ(ints->GetItem(2), 3);
    EXPECT_EQ(intfCopy->GetItem(2), 3);
    EXPECT_NE(copy->Read(), ints->Read());

    // A block buffer views another buffer's store as bytes, little-endian, without copying.
    ints->Write()[0] = 0x01020304;
    TRef<TQXBlockBuffer> bytes = TQXBlockBuffer::CreateUniversalObject(ints);
    EXPECT_EQ(bytes->GetDataContainer(), ints->GetDataContainer());
    EXPECT_EQ(bytes->GetSize(), 16u);
    EXPECT_EQ(bytes->GetItem(0), 0x04);
    EXPECT_EQ(bytes->GetItem(3), 0x01);
    EXPECT_EQ(bytes->GetItem(4), 0x02);
    bytes->SetItem(0, 0xAA);
    EXPECT_EQ(ints->GetItem(0), 0x01020304);
    EXPECT_NE(bytes->GetDataContainer(), ints->GetDataContainer());
    try {
        TQXBlockBuffer::CreateUniversal(nullptr);
        ADD_FAILURE() << "a null source was accepted";
    } catch (const EAssertionFailed& error) {
        EXPECT_STREQ(error.what(), "Assertion failure (QXTypedBuffers)");
    }
}

TEST(TQXTypedBuffers, SerializationRebuildsFromTheCarriedBytesOnly) {
    TRef<TQXRealBuffer> source = TQXRealBuffer::CreateSizeObject(4);
    double* values = source->Write();
    values[0] = -0.0;
    values[1] = std::numeric_limits<double>::quiet_NaN();
    values[2] = 1.0 / 3.0;
    values[3] = -std::numeric_limits<double>::infinity();
    auto writer = MakeRef<test::TMemoryWriter>();
    source->SerializationWrite(writer);
    ASSERT_EQ(writer->FEntries.size(), 1u);

    TRef<TQXRealBuffer> target = TQXRealBuffer::CreateObject();
    target->SerializationRead(MakeRef<test::TMemoryReader>(writer->FEntries));
    ASSERT_EQ(target->GetSize(), 4u);
    EXPECT_EQ(std::memcmp(target->Read(), source->Read(), 32), 0);
    EXPECT_TRUE(target->IsEqual(source));

    // The same bytes read as 32-bit integers give twice as many elements.
    TRef<TQXIntegerBuffer> ints = TQXIntegerBuffer::CreateSizeObject(1);
    ints->SerializationRead(MakeRef<test::TMemoryReader>(writer->FEntries));
    EXPECT_EQ(ints->GetSize(), 8u);
    EXPECT_EQ(std::memcmp(ints->Read(), source->Read(), 32), 0);

    // A byte count that is not a whole number of elements is refused; nothing changes.
    TQXSmartBuffer* store = target->GetDataContainer();
    const uint64_t inUse = BlocksInUse();
    test::TEntries ragged{{"Data", std::vector<uint8_t>(12, 0)}};
    try {
        target->SerializationRead(MakeRef<test::TMemoryReader>(ragged));
        ADD_FAILURE() << "12 bytes were read as doubles";
    } catch (const EReadError& error) {
        EXPECT_STREQ(error.what(), "Data size mismatch = 12");
    }
    EXPECT_EQ(target->GetDataContainer(), store);
    EXPECT_EQ(target->GetSize(), 4u);
    EXPECT_EQ(std::memcmp(target->Read(), source->Read(), 32), 0);
    EXPECT_EQ(store->ReferenceCount(), 1u);
    EXPECT_EQ(BlocksInUse(), inUse);
}
