#include "sonvera/buffers/SVInternalStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;

namespace {

// Holds one owning reference to a store for the length of a test.
class THeldStore {
public:
    explicit THeldStore(TSVSmartAudioBuffer* AStore) : FStore(AStore) { FStore->AddReff(true); }
    ~THeldStore() { FStore->RemoveReff(true); }
    THeldStore(const THeldStore&) = delete;
    THeldStore& operator=(const THeldStore&) = delete;

    TSVSmartAudioBuffer* operator->() const { return FStore; }
    TSVSmartAudioBuffer& operator*() const { return *FStore; }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(FStore->GetData()); }

private:
    TSVSmartAudioBuffer* FStore;
};

void FillPattern(const THeldStore& AStore, uint8_t ASeed) {
    for (uint32_t i = 0; i < AStore->GetSize(); ++i)
        AStore.Bytes()[i] = static_cast<uint8_t>(i * 13 + ASeed);
}

bool SampleAreaAligned(const TSVSmartAudioBuffer& AStore) {
    return (reinterpret_cast<uintptr_t>(AStore.GetData()) + QXStoreHeaderSize) % 64 == 0;
}

} // namespace

TEST(TSVSmartAudioBuffer, EveryStorePutsItsSamplesOnA64ByteBoundary) {
    const uint8_t source[100] = {1, 2, 3};
    for (uint32_t size : {0u, 1u, 40u, 41u, 1000u, 4096u, 70000u}) {
        THeldStore plain(new TSVSmartAudioBuffer(size));
        EXPECT_EQ(plain->GetSize(), size);
        EXPECT_TRUE(SampleAreaAligned(*plain)) << size;
        EXPECT_EQ(plain->GetRawData(), plain->GetData());
        THeldStore copied(new TSVSmartAudioBuffer(size <= 100 ? source : nullptr, size));
        EXPECT_TRUE(SampleAreaAligned(*copied)) << size;
        for (bool preserve : {false, true}) {
            THeldStore clone(plain->Clone(preserve));
            EXPECT_TRUE(SampleAreaAligned(*clone)) << size;
            EXPECT_EQ(clone->GetSize(), size);
        }
    }
}

TEST(TSVSmartAudioBuffer, ClonesCopyTheHeaderOrEverythingAndTheTimestamp) {
    THeldStore source(new TSVSmartAudioBuffer(1000));
    FillPattern(source, 5);
    source->SetTimeStampAvailable(true);
    source->SetTimeStampBegin(-1234567890123);
    source->SetTimeStampEnd(INT64_MAX);

    THeldStore header(new TSVSmartAudioBuffer(*source, false));
    EXPECT_EQ(header->GetSize(), 1000u);
    EXPECT_EQ(std::memcmp(header.Bytes(), source.Bytes(), 40), 0);
    EXPECT_TRUE(header->GetTimeStampAvailable());
    EXPECT_EQ(header->GetTimeStampBegin(), -1234567890123);
    EXPECT_EQ(header->GetTimeStampEnd(), INT64_MAX);

    THeldStore full(source->Clone(true));
    EXPECT_EQ(std::memcmp(full.Bytes(), source.Bytes(), 1000), 0);
    EXPECT_EQ(full->GetTimeStampBegin(), -1234567890123);
    full.Bytes()[500] ^= 0xFF;
    full->SetTimeStampBegin(7);
    EXPECT_EQ(source.Bytes()[500], static_cast<uint8_t>(500 * 13 + 5));
    EXPECT_EQ(source->GetTimeStampBegin(), -1234567890123);

    // A store shorter than a header clones only what it has.
    THeldStore tiny(new TSVSmartAudioBuffer(3));
    tiny.Bytes()[0] = 9;
    tiny.Bytes()[2] = 11;
    THeldStore tinyClone(tiny->Clone(false));
    EXPECT_EQ(tinyClone.Bytes()[0], 9);
    EXPECT_EQ(tinyClone.Bytes()[2], 11);
}
