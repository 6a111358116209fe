#include "sonvera/platform/signal/QXTypedBuffers.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;
using sonvera::testing::MessageOf;

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
    EXPECT_EQ(MessageOf<EAssertionFailed>([] { TQXBlockBuffer::CreateUniversal(nullptr); }),
              "Assertion failure (QXTypedBuffers)");
}
