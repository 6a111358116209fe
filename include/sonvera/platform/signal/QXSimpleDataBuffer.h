// The generic data buffer: a logical byte range over a shared store, written copy-on-write.
// Typed buffers and the media and audio buffers derive from it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/runtime/Serialization.h"
#include "sonvera/platform/signal/QXInternalStore.h"

namespace sonvera {

inline constexpr TGUID IID_IQXData{
    0xB9CDB3EA, 0x08AC, 0x46C2, {0x87, 0x73, 0x20, 0x67, 0x45, 0xEA, 0xD2, 0xC3}};
inline constexpr TGUID IID_IQXDataBuffer{
    0x23BD46D5, 0x4621, 0x4F65, {0xA8, 0x95, 0x98, 0x7A, 0x30, 0x4C, 0x25, 0x5A}};

// Data that travels between components: serialized, copied, assigned and compared.
class IQXData : public virtual IInterface {
public:
    virtual void SerializationRead(const TRef<IReader>& AReader) = 0;
    virtual void SerializationWrite(const TRef<IWriter>& AWriter) = 0;
    // A copy sharing this data's bytes.
    virtual TRef<IQXData> MakeIntfCopy() = 0;
    virtual void Assign(const TRef<IQXData>& ASource) = 0;
    virtual bool IsEqual(const TRef<IQXData>& AOther) const = 0;
    // The object that implements the interface.
    virtual TInterfacedObject* GetInstance() = 0;
};

// Data held as bytes. ByteRead never copies; ByteWrite makes the store private without
// copying the bytes (the caller overwrites them); ByteModify makes it private with them.
class IQXDataBuffer : public virtual IQXData {
public:
    // Copies ACount bytes from this buffer at ASrcOffset into ADest at ADestOffset.
    virtual void CopyTo(uint32_t ASrcOffset, const TRef<IQXDataBuffer>& ADest, uint32_t ADestOffset,
                        uint32_t ACount) = 0;
    // Gives the buffer a private store with the same bytes.
    virtual void MakeUnique() = 0;
    // Number of bytes from ByteRead on.
    virtual uint32_t GetByteSize() const = 0;
    // Number of elements; bytes unless the buffer's class says otherwise.
    virtual uint32_t GetSize() const = 0;
    virtual const void* ByteRead() const = 0;
    virtual void* ByteWrite() = 0;
    virtual void* ByteModify() = 0;
};

// State: the sample pointer FData (where the buffer's bytes start, by default the store's
// start), the logical byte size FLogicalSize (counted from the store's start, at most the
// store's length), the store FDataContainer and the kind of reference FOwnerReference that
// the buffer holds on it (see TQXSmartBuffer). One thread uses a buffer at a time; buffers on
// different threads may share a store.
class TQXGenericBuffer : public TInterfacedObject, public virtual IQXDataBuffer {
public:
    // Attaches a store, taking an owning reference on it, and records ASize as the logical
    // byte size. With AOther the buffer shares AOther's store, and ADataContainer is null or
    // that same store; otherwise it uses ADataContainer. A missing store raises
    // EAssertionFailed, an ASize beyond the store or an AOther that is not a generic buffer
    // EArgumentError; a store that had no references is then released.
    TQXGenericBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer, uint32_t ASize);

    // The virtual operations, in slot order.

    // Reads the buffer from AReader through InternalSerializationRead, then loads the bytes
    // the stream carries into a private store. All or nothing: when a hook fails, or the
    // carried byte count differs from GetByteSize() after the hooks, EReadError (or the hook's
    // exception) propagates and the buffer is back on its previous store, logical size and
    // bytes. A stream that carries no bytes leaves them as they are; bytes for a store the
    // hooks kept are written into that store when no other buffer shares it.
    void SerializationRead(const TRef<IReader>& AReader) override;
    void SerializationWrite(const TRef<IWriter>& AWriter) override;
    // A buffer of this class sharing this buffer's store; classes override it to keep their own.
    virtual TRef<TQXGenericBuffer> MakeCopy();
    TRef<IQXData> MakeIntfCopy() override;

protected:
    // Hooks of the serialization. The generic buffer writes its bytes as the binary entry
    // "Data" and reads them into a holding place, so that the entries an override reads after
    // calling the base hook (a format, a size) are applied before the bytes are loaded. An
    // override that rebuilds the store from what it reads checks the size it derives against
    // CarriedByteCount() before allocating.
    virtual void InternalSerializationRead(const TRef<IReader>& AReader);
    virtual void InternalSerializationWrite(const TRef<IWriter>& AWriter);

public:
    // A null ADest raises EAssertionFailed; a range beyond either buffer raises ERangeError.
    // ADest is made private (keeping its bytes) before it is written; it may be this buffer.
    void CopyTo(uint32_t ASrcOffset, const TRef<IQXDataBuffer>& ADest, uint32_t ADestOffset,
                uint32_t ACount) override;
    // Shares ASource's store and logical size.
    void Assign(const TRef<IQXData>& ASource) override;
    // True for a buffer of the same class whose logical bytes, from the store's start, are
    // equal to this one's.
    bool IsEqual(const TRef<IQXData>& AOther) const override;
    // Afterwards the buffer holds a store of its own (an owning reference that is the store's
    // only one) of the same length, whose leading QXStoreHeaderSize bytes (with APreserve: all
    // bytes) equal the previous store's; the caches are refreshed. A private store stays; a
    // shared store is left to its other holders untouched.
    virtual void Unique(bool APreserve);
    void MakeUnique() override;
    uint32_t GetByteSize() const override;
    uint32_t GetSize() const override;

protected:
    // Refreshes what the buffer caches from its store; overrides run the base version first.
    virtual void IntPopulateCahces();

public:
    const void* ByteRead() const override;
    void* ByteWrite() override;
    void* ByteModify() override;
    // Points the buffer at AContainer without taking or dropping references (callers pair it
    // with AddReff/RemoveReff) and without changing the logical size; PopulateCahces follows
    // once the store's contents are in place.
    virtual void SetDataContainer(TQXSmartBuffer* AContainer);
    // Gives up this buffer's ownership of its store: its reference becomes read-only, the
    // store is never written in place through this buffer again, and its next write goes to
    // a private copy.
    virtual void RemoveOwnerShip();

    void PopulateCahces();
    TInterfacedObject* GetInstance() override { return this; }
    TQXSmartBuffer* GetDataContainer() const noexcept { return FDataContainer; }
    uint32_t GetLogicalSize() const noexcept { return FLogicalSize; }
    bool IsOwnerReference() const noexcept { return FOwnerReference; }

protected:
    ~TQXGenericBuffer() override;

    // The generic buffer behind AData; a null AData raises EAssertionFailed, data that is not a
    // generic buffer EArgumentError.
    static TQXGenericBuffer& BufferOf(const TRef<IQXData>& AData);
    // Moves the buffer onto AContainer with an owning reference, releases the previous store
    // and refreshes the caches. An ALogicalSize beyond AContainer's length raises
    // EArgumentError and leaves the buffer as it was (releasing an unreferenced AContainer).
    void AttachContainer(TQXSmartBuffer* AContainer, uint32_t ALogicalSize);
    // While SerializationRead runs its hooks: the number of bytes the stream carries, or
    // nothing when it carries none.
    std::optional<uint64_t> CarriedByteCount() const;

    uint8_t* FData = nullptr;
    uint32_t FLogicalSize = 0;
    TQXSmartBuffer* FDataContainer = nullptr;
    bool FOwnerReference = true;

private:
    static TQXSmartBuffer* AdoptContainer(const TRef<IQXData>& AOther,
                                          TQXSmartBuffer* ADataContainer, uint32_t ASize);
    void CheckCarriedBytes() const;
    void LoadCarriedBytes(const std::optional<std::vector<uint8_t>>& ABytes);
    void RestoreContainer(TQXSmartBuffer* APrevious, uint32_t APreviousSize, bool APreviousKind);

    std::optional<std::vector<uint8_t>> FCarriedBytes;
};

} // namespace sonvera
