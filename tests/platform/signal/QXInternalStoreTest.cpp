#include "sonvera/platform/signal/QXInternalStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;

namespace {

std::atomic<int> GLiveStores{0};

// A byte store that counts its instances, so that tests see exactly when stores die.
class TCountedStore : public TQXSmartByteBuffer {
public:
    explicit TCountedStore(uint32_t ASize) : TQXSmartByteBuffer(ASize) { ++GLiveStores; }
    TCountedStore(const TCountedStore& AOther, bool APreserve)
        : TQXSmartByteBuffer(AOther, APreserve) {
        ++GLiveStores;
    }

protected:
    ~TCountedStore() override { --GLiveStores; }
    TQXSmartBuffer* CloneObject(bool APreserve) const override {
        return new TCountedStore(*this, APreserve);
    }
};

// Drops a store that the test created and nobody else references.
void Discard(TQXSmartBuffer* AStore) {
    AStore->AddReff(true);
    AStore->RemoveReff(true);
}

uint8_t* Bytes(TQXSmartBuffer* AStore) {
    return static_cast<uint8_t*>(AStore->GetData());
}

void FillPattern(TQXSmartBuffer* AStore) {
    for (uint32_t i = 0; i < AStore->GetSize(); ++i)
        Bytes(AStore)[i] = static_cast<uint8_t>(i * 7 + 3);
}

} // namespace

TEST(TQXSmartBuffer, ReferenceKindsDecideSingleOwnershipAndTheLastReferenceDestroys) {
    enum TAction { acNone, acAddOwner, acAddReader, acDropOwner, acDropReader, acDisown };
    struct TStep {
        TAction Action;
        uint32_t References, Owners;
        bool Single;
    };
    // A read-only holder keeps the store shared; giving up ownership leaves the only holder
    // read-only, so nobody writes in place, and a second RemoveOwnerShip has no owner to convert.
    const TStep steps[] = {
        {acNone, 0, 0, false},      {acAddOwner, 1, 1, true},   {acAddOwner, 2, 2, false},
        {acDropOwner, 1, 1, true},  {acAddReader, 2, 1, false}, {acDropReader, 1, 1, true},
        {acDisown, 1, 0, false},    {acDisown, 1, 0, false},    {acAddOwner, 2, 1, false},
        {acDropReader, 1, 1, true},
    };
    auto* store = new TCountedStore(100);
    for (const TStep& step : steps) {
        if (step.Action == acAddOwner || step.Action == acAddReader)
            store->AddReff(step.Action == acAddOwner);
        else if (step.Action == acDropOwner || step.Action == acDropReader)
            store->RemoveReff(step.Action == acDropOwner);
        else if (step.Action == acDisown)
            store->RemoveOwnerShip();
        const TStep now{step.Action, store->ReferenceCount(), store->OwnerCount(),
                        store->SingleOwner()};
        EXPECT_TRUE(now.References == step.References && now.Owners == step.Owners &&
                    now.Single == step.Single)
            << "after step " << &step - steps << ": " << now.References << " references, "
            << now.Owners << " owners, single " << now.Single;
        EXPECT_EQ(GLiveStores.load(), 1);
    }
    store->RemoveReff(true);
    EXPECT_EQ(GLiveStores.load(), 0);

    // A store held only read-only dies with its last reference as well.
    auto* readOnly = new TCountedStore(10);
    readOnly->AddReff(false);
    EXPECT_FALSE(readOnly->SingleOwner());
    readOnly->RemoveReff(false);
    EXPECT_EQ(GLiveStores.load(), 0);
}

TEST(TQXSmartBuffer, ClonesCopyAllBytesOrOnlyTheHeader) {
    auto* source = new TCountedStore(1000);
    FillPattern(source);

    TQXSmartBuffer* full = source->Clone(true);
    ASSERT_NE(dynamic_cast<TCountedStore*>(full), nullptr);
    EXPECT_EQ(full->ReferenceCount(), 0u);
    EXPECT_EQ(full->GetSize(), 1000u);
    EXPECT_NE(full->GetData(), source->GetData());
    EXPECT_EQ(std::memcmp(full->GetData(), source->GetData(), 1000), 0);
    Bytes(full)[500] ^= 0xFF;
    EXPECT_EQ(Bytes(source)[500], static_cast<uint8_t>(500 * 7 + 3));

    TQXSmartBuffer* header = source->Clone(false);
    EXPECT_EQ(header->GetSize(), 1000u);
    EXPECT_EQ(std::memcmp(header->GetData(), source->GetData(), QXStoreHeaderSize), 0);
    EXPECT_EQ(GLiveStores.load(), 3);
    Discard(full);
    Discard(header);
    Discard(source);
    EXPECT_EQ(GLiveStores.load(), 0);

    // A store shorter than the header is copied only as far as it reaches.
    auto* tiny = new TQXSmartByteBuffer("abcdefghij", 10);
    TQXSmartBuffer* tinyCopy = tiny->Clone(false);
    EXPECT_EQ(tinyCopy->GetSize(), 10u);
    EXPECT_EQ(std::memcmp(tinyCopy->GetData(), "abcdefghij", 10), 0);
    Discard(tinyCopy);
    Discard(tiny);

    // A store's block, even an empty one, comes from the allocator and goes back to it (the
    // store object from the small-object cache); an absurd size is refused before the store
    // exists.
    const uint64_t inUse = QXBufferAllocatorState().BlocksInUse;
    auto* empty = new TQXSmartByteBuffer(nullptr, 0);
    EXPECT_NE(empty->GetData(), nullptr);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, inUse + 1);
    Discard(empty);
    EXPECT_THROW(new TQXSmartByteBuffer(0x80000000u), EArgumentError);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, inUse);
}

TEST(TQXSmartBuffer, ReferencesFromManyThreadsNeitherLeakNorFreeEarly) {
    constexpr int KThreads = 6;
    auto* store = new TCountedStore(64);
    store->AddReff(true);

    std::atomic<bool> claimedSingle{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < KThreads; ++t)
        threads.emplace_back([store, t, &claimedSingle] {
            for (int i = 0; i < 20000; ++i) {
                const bool owner = (i + t) % 3 != 0;
                store->AddReff(owner);
                if (store->SingleOwner())
                    claimedSingle = true;
                store->RemoveReff(owner);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(claimedSingle.load());
    EXPECT_EQ(store->ReferenceCount(), 1u);
    EXPECT_EQ(store->OwnerCount(), 1u);
    EXPECT_TRUE(store->SingleOwner());

    // Every thread holds a reference and drops it last thing; whichever is last destroys.
    for (int t = 0; t < KThreads; ++t)
        store->AddReff(t % 2 == 0);
    store->RemoveReff(true);
    threads.clear();
    for (int t = 0; t < KThreads; ++t)
        threads.emplace_back([store, t] {
            Bytes(store)[t] = static_cast<uint8_t>(t);
            store->RemoveReff(t % 2 == 0);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(GLiveStores.load(), 0);
}

TEST(TQXSmartBuffer, WritersExcludeReadersAndOtherWriters) {
    auto* store = new TQXSmartByteBuffer(16);
    store->AddReff(true);
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<bool> violated{false};

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const bool writer = t < 2;
            for (int i = 0; i < 5000; ++i) {
                if (writer) {
                    store->EnterWrite();
                    if (writers.fetch_add(1) != 0 || readers.load() != 0)
                        violated = true;
                    writers.fetch_sub(1);
                    store->LeaveWrite();
                } else {
                    store->EnterRead();
                    readers.fetch_add(1);
                    if (writers.load() != 0)
                        violated = true;
                    readers.fetch_sub(1);
                    store->LeaveRead();
                }
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(violated.load());
    store->RemoveReff(true);
}
