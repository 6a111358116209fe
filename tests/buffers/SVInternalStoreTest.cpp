#include "sonvera/buffers/SVInternalStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;

namespace {

// One owning reference to a store, dropped when the test ends.
struct TRelease {
    void operator()(TSVSmartAudioBuffer* AStore) const { AStore->RemoveReff(true); }
};
using THeldStore = std::unique_ptr<TSVSmartAudioBuffer, TRelease>;

THeldStore Hold(TSVSmartAudioBuffer* AStore) {
    AStore->AddReff(true);
    return THeldStore(AStore);
}

uint8_t* Bytes(const THeldStore& AStore) {
    return static_cast<uint8_t*>(AStore->GetData());
}

void FillPattern(const THeldStore& AStore, uint8_t ASeed) {
    for (uint32_t i = 0; i < AStore->GetSize(); ++i)
        Bytes(AStore)[i] = static_cast<uint8_t>(i * 13 + ASeed);
}

bool SampleAreaAligned(const TSVSmartAudioBuffer& AStore) {
    return (reinterpret_cast<uintptr_t>(AStore.GetData()) + QXStoreHeaderSize) % 64 == 0;
}

} // namespace

TEST(TSVSmartAudioBuffer, EveryStoreAlignsItsSamplesAndClonesCopyWhatTheyMust) {
    const uint8_t data[100] = {1, 2, 3};
    for (uint32_t size : {0u, 1u, 40u, 41u, 1000u, 4096u, 70000u}) {
        const THeldStore plain = Hold(new TSVSmartAudioBuffer(size));
        EXPECT_TRUE(SampleAreaAligned(*plain)) << size;
        const THeldStore copied = Hold(new TSVSmartAudioBuffer(size <= 100 ? data : nullptr, size));
        EXPECT_TRUE(SampleAreaAligned(*copied)) << size;
        for (bool preserve : {false, true}) {
            const THeldStore clone = Hold(plain->Clone(preserve));
            EXPECT_TRUE(SampleAreaAligned(*clone)) << size;
            EXPECT_EQ(clone->GetSize(), size);
        }
    }

    // Clones copy the header or everything, and the timestamp.
    const THeldStore source = Hold(new TSVSmartAudioBuffer(1000));
    FillPattern(source, 5);
    source->SetTimeStampAvailable(true);
    source->SetTimeStampBegin(-1234567890123);
    source->SetTimeStampEnd(INT64_MAX);

    const THeldStore header = Hold(new TSVSmartAudioBuffer(*source, false));
    EXPECT_EQ(header->GetSize(), 1000u);
    EXPECT_EQ(std::memcmp(Bytes(header), Bytes(source), 40), 0);
    EXPECT_TRUE(header->GetTimeStampAvailable());
    EXPECT_EQ(header->GetTimeStampBegin(), -1234567890123);
    EXPECT_EQ(header->GetTimeStampEnd(), INT64_MAX);

    const THeldStore full = Hold(source->Clone(true));
    EXPECT_EQ(std::memcmp(Bytes(full), Bytes(source), 1000), 0);
    EXPECT_EQ(full->GetTimeStampBegin(), -1234567890123);
    Bytes(full)[500] ^= 0xFF;
    full->SetTimeStampBegin(7);
    EXPECT_EQ(Bytes(source)[500], static_cast<uint8_t>(500 * 13 + 5));
    EXPECT_EQ(source->GetTimeStampBegin(), -1234567890123);

    // A store shorter than a header clones only what it has.
    const THeldStore tiny = Hold(new TSVSmartAudioBuffer(3));
    Bytes(tiny)[0] = 9;
    Bytes(tiny)[2] = 11;
    const THeldStore tinyClone = Hold(tiny->Clone(false));
    EXPECT_EQ(Bytes(tinyClone)[0], 9);
    EXPECT_EQ(Bytes(tinyClone)[2], 11);
}
