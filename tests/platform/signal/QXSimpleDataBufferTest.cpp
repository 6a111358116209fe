#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;
using sonvera::testing::MessageOf;

namespace {

uint8_t PatternByte(uint32_t AIndex) {
    return static_cast<uint8_t>(AIndex * 7 + 3);
}

TRef<TQXGenericBuffer> NewBuffer(uint32_t ASize, bool APattern = true) {
    auto* store = new TQXSmartByteBuffer(ASize);
    auto* bytes = static_cast<uint8_t*>(store->GetData());
    for (uint32_t i = 0; i < ASize; ++i)
        bytes[i] = APattern ? PatternByte(i) : 0;
    return TRef<TQXGenericBuffer>(new TQXGenericBuffer(nullptr, store, ASize));
}

const uint8_t* BytesOf(const TRef<TQXGenericBuffer>& ABuffer) {
    return static_cast<const uint8_t*>(ABuffer->ByteRead());
}

bool HasPattern(const TRef<TQXGenericBuffer>& ABuffer, uint32_t AFrom = 0) {
    for (uint32_t i = AFrom; i < ABuffer->GetByteSize(); ++i)
        if (BytesOf(ABuffer)[i] != PatternByte(i))
            return false;
    return true;
}

bool AllBytesAre(const TRef<TQXGenericBuffer>& ABuffer, uint32_t AFrom, uint32_t ATo,
                 uint8_t AValue) {
    for (uint32_t i = AFrom; i < ATo; ++i)
        if (BytesOf(ABuffer)[i] != AValue)
            return false;
    return true;
}

// The document ABuffer writes, with AFrom replaced by ATo.
std::string Document(const TRef<TQXGenericBuffer>& ABuffer, const std::string& AFrom = "",
                     const std::string& ATo = "") {
    std::string text = sonvera::testing::Serialized(ABuffer);
    if (!AFrom.empty())
        text.replace(text.find(AFrom), AFrom.size(), ATo);
    return text;
}

uint64_t BlocksInUse() {
    return QXBufferAllocatorState().BlocksInUse;
}

// Everything a refused operation must leave as it was, the allocator's count included.
struct TBufferState {
    TQXSmartBuffer* Store;
    const void* Bytes;
    uint32_t Size, References, Owners;
    bool Owner;
    uint64_t Blocks;
    bool operator==(const TBufferState&) const = default;
};
TBufferState StateOf(const TQXGenericBuffer& ABuffer) {
    TQXSmartBuffer* store = ABuffer.GetDataContainer();
    return {store,
            ABuffer.ByteRead(),
            ABuffer.GetByteSize(),
            store->ReferenceCount(),
            store->OwnerCount(),
            ABuffer.IsOwnerReference(),
            BlocksInUse()};
}

// A buffer with a format entry of its own, as the audio buffer has: "Length" is written after
// the generic entries and, when it differs, rebuilds the store before the bytes are loaded.
class TLengthBuffer : public TQXGenericBuffer {
public:
    static TRef<TLengthBuffer> CreateSizeObject(uint32_t ASize) {
        return TRef<TLengthBuffer>(new TLengthBuffer(ASize));
    }
    bool FFailAfterRebuild = false;

protected:
    explicit TLengthBuffer(uint32_t ASize)
        : TQXGenericBuffer(nullptr, new TQXSmartByteBuffer(ASize), ASize) {}

    void InternalSerializationWrite(const TRef<IWriter>& AWriter) override {
        TQXGenericBuffer::InternalSerializationWrite(AWriter);
        AWriter->WriteInteger("Length", static_cast<int32_t>(FLogicalSize));
    }
    void InternalSerializationRead(const TRef<IReader>& AReader) override {
        TQXGenericBuffer::InternalSerializationRead(AReader);
        int32_t length = 0;
        if (!AReader->ReadInteger("Length", length))
            return;
        const auto size = static_cast<uint32_t>(length);
        if (size != FLogicalSize)
            AttachContainer(new TQXSmartByteBuffer(size), size);
        if (FFailAfterRebuild)
            throw EReadError("Refused by the format");
    }
};

} // namespace

TEST(TQXGenericBuffer, UniqueKeepsTheHeaderOrAllBytesAndNeverWritesASharedStore) {
    constexpr uint32_t KSize = 300;
    TRef<TQXGenericBuffer> a = NewBuffer(KSize);
    TQXSmartBuffer* shared = a->GetDataContainer();
    TRef<TQXGenericBuffer> b = a->MakeCopy();
    EXPECT_EQ(b->GetDataContainer(), shared);
    EXPECT_EQ(shared->ReferenceCount(), 2u);

    // The next block of this size is one with known stale bytes, so that the test sees
    // which bytes the non-preserving copy wrote.
    void* stale = QXBufferAllocate(KSize);
    std::memset(stale, 0xEE, KSize);
    QXBufferDeallocate(stale, KSize);

    a->Unique(false);
    ASSERT_NE(a->GetDataContainer(), shared);
    EXPECT_EQ(a->ByteRead(), stale);
    EXPECT_EQ(a->GetDataContainer()->GetSize(), KSize);
    EXPECT_EQ(a->GetByteSize(), KSize);
    EXPECT_EQ(std::memcmp(a->ByteRead(), shared->GetData(), QXStoreHeaderSize), 0);
    EXPECT_TRUE(AllBytesAre(a, QXStoreHeaderSize, KSize, 0xEE));
    // The other holder keeps the old store, alive and untouched.
    EXPECT_EQ(b->GetDataContainer(), shared);
    EXPECT_EQ(shared->ReferenceCount(), 1u);
    EXPECT_TRUE(HasPattern(b));

    // A private store stays, whatever is asked.
    TQXSmartBuffer* own = a->GetDataContainer();
    a->Unique(true);
    std::memset(a->ByteWrite(), 0x11, KSize);
    a->MakeUnique();
    EXPECT_EQ(a->GetDataContainer(), own);
    EXPECT_TRUE(AllBytesAre(a, 0, KSize, 0x11));
    EXPECT_TRUE(HasPattern(b));

    // Unique(true) copies every byte; writing the copy leaves the original alone.
    TRef<TQXGenericBuffer> c = b->MakeCopy();
    auto* modified = static_cast<uint8_t*>(c->ByteModify());
    EXPECT_NE(c->GetDataContainer(), shared);
    EXPECT_TRUE(HasPattern(c));
    modified[KSize - 1] ^= 0xFF;
    EXPECT_TRUE(HasPattern(b));
    EXPECT_EQ(shared->ReferenceCount(), 1u);
    EXPECT_TRUE(shared->SingleOwner());
    EXPECT_EQ(b->ByteModify(), shared->GetData());
}

TEST(TQXGenericBuffer, ARefusedReadLeavesTheBufferOnItsOldStoreAndBytes) {
    TRef<TQXGenericBuffer> buffer = NewBuffer(300);
    const TBufferState state = StateOf(*buffer);
    EXPECT_EQ(MessageOf<EReadError>([&] {
                  buffer->SerializationRead(TJsonReader::Create(Document(NewBuffer(299))));
              }),
              "Data size mismatch = 299");
    EXPECT_TRUE(StateOf(*buffer) == state);
    EXPECT_TRUE(HasPattern(buffer));

    // The format rebuilt the store, then the bytes did not fit it: back to the old store. A
    // hook that fails after rebuilding is undone the same way, also for a read-only holder.
    TRef<TLengthBuffer> formatted = TLengthBuffer::CreateSizeObject(16);
    std::memset(formatted->ByteWrite(), 0x42, 16);
    const std::string mismatched =
        Document(TLengthBuffer::CreateSizeObject(64), "\"Length\":64", "\"Length\":32");
    const std::string valid = Document(TLengthBuffer::CreateSizeObject(32));
    for (bool failAfterRebuild : {false, true}) {
        formatted->FFailAfterRebuild = failAfterRebuild;
        if (failAfterRebuild)
            formatted->RemoveOwnerShip();
        const TBufferState before = StateOf(*formatted);
        EXPECT_THROW(formatted->SerializationRead(
                         TJsonReader::Create(failAfterRebuild ? valid : mismatched)),
                     EReadError);
        EXPECT_TRUE(StateOf(*formatted) == before) << failAfterRebuild;
        EXPECT_EQ(static_cast<const uint8_t*>(formatted->ByteRead())[15], 0x42);
    }
}

TEST(TQXGenericBuffer, CopyToAssignAndIsEqualWorkOnBytesAndRefuseBadArguments) {
    TRef<TQXGenericBuffer> a = NewBuffer(100);
    TRef<TQXGenericBuffer> b = NewBuffer(100, false);
    TRef<TQXGenericBuffer> bSharer = b->MakeCopy();
    a->CopyTo(10, b, 20, 30);
    for (uint32_t i = 0; i < 100; ++i)
        ASSERT_EQ(BytesOf(b)[i], i >= 20 && i < 50 ? PatternByte(i - 10) : 0) << i;
    EXPECT_TRUE(AllBytesAre(bSharer, 0, 100, 0));

    // The message names what runs past the end: the offset, or the count from it.
    EXPECT_EQ(MessageOf<ERangeError>([&] { a->CopyTo(0xFFFFFFFFu, b, 0, 2); }),
              "Source offset out of range = 4294967295");
    EXPECT_EQ(MessageOf<ERangeError>([&] { a->CopyTo(0, b, 99, 2); }),
              "Destination count out of range = 2");
    EXPECT_EQ(MessageOf<ERangeError>([&] { a->CopyTo(90, b, 0, 0xFFFFFFFFu); }),
              "Source count out of range = 4294967295");
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { a->CopyTo(0, nullptr, 0, 1); }),
              "Assertion failure (QXSimpleDataBuffer)");

    // Copying within one buffer moves overlapping bytes as a whole, on a private store.
    TRef<TQXGenericBuffer> aSharer = a->MakeCopy();
    a->CopyTo(0, a, 1, 99);
    EXPECT_EQ(BytesOf(a)[0], PatternByte(0));
    for (uint32_t i = 1; i < 100; ++i)
        ASSERT_EQ(BytesOf(a)[i], PatternByte(i - 1)) << i;
    EXPECT_TRUE(HasPattern(aSharer));

    // Assign shares the source's store and releases the old one.
    TRef<TQXGenericBuffer> c = NewBuffer(50, false);
    const uint64_t inUse = BlocksInUse();
    c->Assign(aSharer);
    EXPECT_EQ(c->GetDataContainer(), aSharer->GetDataContainer());
    EXPECT_EQ(c->GetByteSize(), 100u);
    EXPECT_TRUE(c->IsEqual(aSharer));
    EXPECT_FALSE(c->IsEqual(a));
    EXPECT_FALSE(c->IsEqual(nullptr));
    EXPECT_EQ(BlocksInUse(), inUse - 1); // its store's block
    c->Assign(c);
    EXPECT_EQ(c->GetDataContainer()->ReferenceCount(), 2u);
    EXPECT_THROW(c->Assign(nullptr), EAssertionFailed);

    // Equal bytes in a buffer of another class are not equal data.
    TRef<TLengthBuffer> other = TLengthBuffer::CreateSizeObject(100);
    std::memcpy(other->ByteWrite(), aSharer->ByteRead(), 100);
    EXPECT_FALSE(other->IsEqual(aSharer));

    // Construction refuses a missing store, a size beyond it and a conflicting store, and
    // frees a store it was handed fresh.
    const uint64_t before = BlocksInUse();
    EXPECT_THROW(TRef<TQXGenericBuffer>(new TQXGenericBuffer(nullptr, nullptr, 0)),
                 EAssertionFailed);
    EXPECT_THROW(
        TRef<TQXGenericBuffer>(new TQXGenericBuffer(nullptr, new TQXSmartByteBuffer(10), 11)),
        EArgumentError);
    EXPECT_THROW(TRef<TQXGenericBuffer>(
                     new TQXGenericBuffer(TRef<IQXData>(a), new TQXSmartByteBuffer(10), 10)),
                 EArgumentError);
    EXPECT_EQ(BlocksInUse(), before);
    EXPECT_EQ(a->GetDataContainer()->ReferenceCount(), 1u);
}

TEST(TQXGenericBuffer, BuffersOnManyThreadsShareAndCopyOneStoreWithoutLeaks) {
    const uint64_t inUse = BlocksInUse();
    {
        TRef<TQXGenericBuffer> original = NewBuffer(4096);
        std::atomic<int> damaged{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 2000; ++i) {
                    TRef<TQXGenericBuffer> copy = original->MakeCopy();
                    TRef<TQXGenericBuffer> second = copy->MakeCopy();
                    if (!HasPattern(copy))
                        ++damaged;
                    if ((i + t) % 2 == 0) {
                        auto* bytes = static_cast<uint8_t*>(copy->ByteModify());
                        std::memset(bytes, t, 4096);
                        if (!AllBytesAre(copy, 0, 4096, static_cast<uint8_t>(t)))
                            ++damaged;
                    }
                    if (!HasPattern(second))
                        ++damaged;
                }
            });
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(damaged.load(), 0);
        EXPECT_TRUE(HasPattern(original));
        EXPECT_EQ(original->GetDataContainer()->ReferenceCount(), 1u);
        EXPECT_EQ(original->RefCount(), 1);
    }
    EXPECT_EQ(BlocksInUse(), inUse);
}
