// The shared store behind every data buffer: a block of bytes that buffers share by
// reference and copy only when one of them is about to write it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <shared_mutex>

namespace sonvera {

// A non-preserving copy of a store keeps only this many leading bytes: the format header a
// sample store begins with.
inline constexpr uint32_t QXStoreHeaderSize = 40;

// Base of the stores. Holders reference a store with AddReff and drop it with RemoveReff; the
// last reference destroys it. Each reference is of one of two kinds, given by the flag that
// the holder passes to both calls:
//   true  - an owning reference: the holder may write the store in place once it is the
//           store's only holder (every buffer starts with one);
//   false - a read-only reference: it keeps the store alive and unchanged but never writes
//           it, so a store held read-only is never a single owner's.
// A holder passes the same flag to RemoveReff as to its AddReff, or false after it has given
// up its ownership with RemoveOwnerShip. Counts are atomic: buffers on different threads may
// share one store. A new store has no references; its first holder takes one.
class TQXSmartBuffer {
public:
    TQXSmartBuffer() noexcept = default;
    // The copying constructor of the store classes. The copy is a new, unreferenced store;
    // concrete classes copy their bytes from AOther, all of them or (APreserve false) the
    // header only.
    TQXSmartBuffer(const TQXSmartBuffer& AOther, bool APreserve) noexcept;
    TQXSmartBuffer(const TQXSmartBuffer&) = delete;
    TQXSmartBuffer& operator=(const TQXSmartBuffer&) = delete;

    virtual void AddReff(bool AOwner) noexcept;
    virtual void RemoveReff(bool AOwner) noexcept;
    // Turns one owning reference into a read-only one.
    virtual void RemoveOwnerShip() noexcept;
    // True when the store has exactly one reference and it is an owning one: its holder may
    // then write in place.
    virtual bool SingleOwner() const noexcept;
    // Length of the block in bytes.
    virtual uint32_t GetSize() const noexcept = 0;
    // The block; aligned to QXBufferAlignment, as element views of the store rely on it.
    virtual void* GetData() const noexcept = 0;
    // A new, unreferenced store of the same class and length with all bytes (APreserve) or the
    // first QXStoreHeaderSize bytes of this one.
    virtual TQXSmartBuffer* Clone(bool APreserve);

    // The store's reader/writer lock; it guards what a store class declares it guards, never
    // the bytes, which copy-on-write protects.
    void EnterRead() { FLock.lock_shared(); }
    void LeaveRead() { FLock.unlock_shared(); }
    void EnterWrite() { FLock.lock(); }
    void LeaveWrite() { FLock.unlock(); }

    uint32_t ReferenceCount() const noexcept;
    uint32_t OwnerCount() const noexcept;

    // Store objects are created and dropped as often as the blocks they describe: they come
    // from the per-thread small-object cache, which takes no lock.
    static void* operator new(size_t ASize);
    static void operator delete(void* AObject, size_t ASize) noexcept;

protected:
    // Only the last RemoveReff destroys a store.
    virtual ~TQXSmartBuffer() = default;
    // The concrete class's copying constructor, behind Clone.
    virtual TQXSmartBuffer* CloneObject(bool APreserve) const = 0;

private:
    // Both counts in one word, so that SingleOwner sees them together: all references in the
    // low half, owning ones in the high half.
    std::atomic<uint64_t> FReferences{0};
    std::shared_mutex FLock;
};

// A plain store of bytes from the block allocator, for buffers that keep no format.
class TQXSmartByteBuffer : public TQXSmartBuffer {
public:
    // ASize uninitialised bytes; a size above QXMaxBufferSize raises EArgumentError.
    explicit TQXSmartByteBuffer(uint32_t ASize);
    // ASize bytes copied from AData, or uninitialised when AData is null.
    TQXSmartByteBuffer(const void* AData, uint32_t ASize);
    TQXSmartByteBuffer(const TQXSmartByteBuffer& AOther, bool APreserve);

    uint32_t GetSize() const noexcept override { return FSize; }
    void* GetData() const noexcept override { return FData; }

protected:
    ~TQXSmartByteBuffer() override;
    TQXSmartBuffer* CloneObject(bool APreserve) const override;

private:
    uint8_t* FData;
    uint32_t FSize;
};

} // namespace sonvera
