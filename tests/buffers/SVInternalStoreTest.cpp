#include "sonvera/buffers/SVInternalStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
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

TEST(TSVSmartAudioBuffer, CreateDataCopiesOrLeavesTheBlockAndAbsurdSizesAreRefused) {
    std::vector<uint8_t> source(300);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(255 - i);
    THeldStore copied(new TSVSmartAudioBuffer(source.data(), 300));
    EXPECT_EQ(std::vector<uint8_t>(copied.Bytes(), copied.Bytes() + 300), source);
    THeldStore uninitialised(new TSVSmartAudioBuffer(nullptr, 300));
    EXPECT_EQ(uninitialised->GetSize(), 300u);

    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    EXPECT_THROW(new TSVSmartAudioBuffer(KSVMaxStoreSize + 1), EArgumentError);
    EXPECT_THROW(new TSVSmartAudioBuffer(UINT32_MAX), EArgumentError);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, blocksBefore);
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

TEST(TSVSmartAudioBuffer, CopyFromCopiesOnlyWhatBothStoresHold) {
    THeldStore longer(new TSVSmartAudioBuffer(200));
    THeldStore shorter(new TSVSmartAudioBuffer(80));
    FillPattern(longer, 1);
    FillPattern(shorter, 100);

    THeldStore target(new TSVSmartAudioBuffer(120));
    FillPattern(target, 50);
    target->CopyFrom(*longer);
    EXPECT_EQ(std::memcmp(target.Bytes(), longer.Bytes(), 120), 0);

    target->CopyFrom(*shorter);
    EXPECT_EQ(std::memcmp(target.Bytes(), shorter.Bytes(), 80), 0);
    for (uint32_t i = 80; i < 120; ++i)
        EXPECT_EQ(target.Bytes()[i], longer.Bytes()[i]) << i;
}

TEST(TSVSmartAudioBuffer, DestroyingAStoreGivesItsBlockBackAndReleaseMemoryEmptiesTheCache) {
    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    {
        THeldStore a(new TSVSmartAudioBuffer(5000));
        THeldStore b(a->Clone(true));
        EXPECT_GT(QXBufferAllocatorState().BlocksInUse, blocksBefore);
    }
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, blocksBefore);
    TSVSmartAudioBuffer::ReleaseMemory();
    EXPECT_EQ(QXBufferAllocatorState().CachedBlocks, 0u);
}

TEST(TSVSpeakers, SpeakerNamesTableAndSetOperations) {
    const std::vector<std::string> expected = {
        "spFrontLeft",     "spFrontRight",     "spFrontCenter",       "spSubwoofer",
        "spBackLeft",      "spBackRight",      "spFrontLeftOfCenter", "spFrontRightOfCenter",
        "spBackCenter",    "spSideLeft",       "spSideRight",         "spTopCenter",
        "spTopFrontLeft",  "spTopFrontCenter", "spTopFrontRight",     "spTopBackLeft",
        "spTopBackCenter", "spTopBackRight"};
    EXPECT_EQ(EnumTypeInfo<TSVSpeaker>().Names(), expected);
    EXPECT_EQ(EnumTypeInfo<TSVSpeaker>().ValueOf("spTopBackRight"), 17);

    EXPECT_EQ(GetSVSpeakerValuesSize(), 18);
    for (int32_t i = 0; i < 18; ++i)
        EXPECT_EQ(GetSVSpeakerValues(i), i);
    try {
        GetSVSpeakerValues(18);
        FAIL() << "no range error";
    } catch (const ERangeError& e) {
        EXPECT_STREQ(e.what(), "Index out of range = 18");
    }
    EXPECT_THROW(GetSVSpeakerValues(-1), ERangeError);

    TSVSpeakers set{spFrontLeft, spFrontCenter, spTopBackRight};
    EXPECT_EQ(set.Mask(), 0x20005u);
    EXPECT_EQ(set.Count(), 3);
    EXPECT_TRUE(set.Contains(spFrontCenter));
    EXPECT_FALSE(set.Contains(spFrontRight));
    set.Exclude(spFrontLeft).Include(spSubwoofer);
    EXPECT_EQ(set.Mask(), 0x2000Cu);
    EXPECT_EQ((set | TSVSpeakers{spFrontLeft}).Mask(), 0x2000Du);
    EXPECT_EQ((set & TSVSpeakers{spSubwoofer, spBackLeft}).Mask(), 0x8u);
    EXPECT_EQ((set - TSVSpeakers{spSubwoofer}).Mask(), 0x20004u);
    // Bits no speaker stands for are carried, as a channel mask may hold them.
    EXPECT_EQ(TSVSpeakers::FromMask(0x80000003u).Mask(), 0x80000003u);
    EXPECT_TRUE(TSVSpeakers{}.IsEmpty());
}
