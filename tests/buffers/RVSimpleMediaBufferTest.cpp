#include "sonvera/buffers/RVSimpleMediaBuffer.h"

#include <gtest/gtest.h>

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
