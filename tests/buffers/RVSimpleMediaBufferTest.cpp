#include "sonvera/buffers/RVSimpleMediaBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sonvera/buffers/SVInternalStore.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

using namespace sonvera;

namespace {

TRef<TRVMediaBuffer> NewMediaBuffer(uint32_t ASize) {
    return TRVMediaBuffer::CreateObject(nullptr, new TSVSmartAudioBuffer(ASize), ASize);
}

} // namespace

TEST(TRVMediaBuffer, TheViewAndTheBufferReadAndWriteOneTimestamp) {
    TRef<TRVMediaBuffer> buffer = NewMediaBuffer(64);
    TRef<IRVTimeStamp> view = buffer->GetTimeStamp();
    EXPECT_FALSE(view->GetAvailable());
    EXPECT_FALSE(buffer->GetTimeStampAvailable());

    view->SetBegin(441000);
    view->SetEnd(-5);
    view->SetAvailable(true);
    EXPECT_EQ(buffer->GetTimeStampBegin(), 441000);
    EXPECT_EQ(buffer->GetTimeStampEnd(), -5);
    EXPECT_TRUE(buffer->GetTimeStampAvailable());
    buffer->SetTimeStampBegin(INT64_MAX);
    EXPECT_EQ(view->GetBegin(), INT64_MAX);
    EXPECT_EQ(buffer->GetTimeStamp(), view);
    EXPECT_TRUE(Supports<IRVMediaBuffer>(TRef<IQXDataBuffer>(buffer)));

    // A view that outlives its buffer refuses to be used instead of reaching freed memory.
    buffer = nullptr;
    try {
        view->GetBegin();
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Assertion failure (RVSimpleMediaBuffer)");
    }
    EXPECT_THROW(view->SetAvailable(true), EAssertionFailed);
}

TEST(TRVMediaBuffer, SharedStoresShareTheTimestampUntilAWriteMakesOnePrivate) {
    TRef<TRVMediaBuffer> first = NewMediaBuffer(64);
    first->SetTimeStampBegin(100);
    first->SetTimeStampEnd(200);
    first->SetTimeStampAvailable(true);
    TRef<TQXGenericBuffer> copy = first->MakeCopy();
    auto* second = dynamic_cast<TRVMediaBuffer*>(copy.get());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetDataContainer(), first->GetDataContainer());

    // Setting a timestamp does not make the store private: both holders see it.
    second->SetTimeStampBegin(150);
    EXPECT_EQ(first->GetTimeStampBegin(), 150);

    second->ByteWrite();
    EXPECT_NE(second->GetDataContainer(), first->GetDataContainer());
    EXPECT_EQ(second->GetTimeStampBegin(), 150);
    EXPECT_EQ(second->GetTimeStampEnd(), 200);
    EXPECT_TRUE(second->GetTimeStampAvailable());
    second->SetTimeStampEnd(300);
    first->SetTimeStampAvailable(false);
    EXPECT_EQ(first->GetTimeStampEnd(), 200);
    EXPECT_TRUE(second->GetTimeStampAvailable());
}

TEST(TRVMediaBuffer, StoresWithoutATimestampAreRefusedAndNothingLeaks) {
    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    EXPECT_THROW(TRVMediaBuffer::CreateObject(nullptr, new TQXSmartByteBuffer(16), 16),
                 EArgumentError);
    EXPECT_THROW(TRVMediaBuffer::CreateObject(nullptr, nullptr, 0), EAssertionFailed);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, blocksBefore);

    TRef<TRVMediaBuffer> buffer = NewMediaBuffer(32);
    static_cast<uint8_t*>(buffer->ByteWrite())[0] = 42;
    TQXSmartBuffer* store = buffer->GetDataContainer();
    TRef<IQXBlockBuffer> bytes = TQXBlockBuffer::CreateSize(32);
    EXPECT_THROW(buffer->Assign(TRef<IQXData>(bytes)), EArgumentError);
    EXPECT_THROW(buffer->SetDataContainer(nullptr), EAssertionFailed);
    TQXSmartBuffer* byteStore = new TQXSmartByteBuffer(32);
    EXPECT_THROW(buffer->SetDataContainer(byteStore), EArgumentError);
    byteStore->AddReff(true);
    byteStore->RemoveReff(true);
    EXPECT_EQ(buffer->GetDataContainer(), store);
    EXPECT_EQ(static_cast<const uint8_t*>(buffer->ByteRead())[0], 42);

    TRef<TRVMediaBuffer> other = NewMediaBuffer(8);
    buffer->Assign(TRef<IQXData>(other.get()));
    EXPECT_EQ(buffer->GetDataContainer(), other->GetDataContainer());
    EXPECT_EQ(buffer->GetByteSize(), 8u);
}
