// Buffers of 32-bit integers, doubles and bytes: generic buffers over a plain byte store,
// viewed as arrays of one element type.
#pragma once

#include <cstdint>

#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

namespace sonvera {

inline constexpr TGUID IID_IQXIntegerBuffer{
    0xA504F3F0, 0x8457, 0x427A, {0xBC, 0x9F, 0xE2, 0xD7, 0x1C, 0x37, 0xAD, 0xDA}};
inline constexpr TGUID IID_IQXRealBuffer{
    0xF6C4C6D8, 0x7150, 0x4BBC, {0xB7, 0x37, 0x71, 0xE7, 0xE0, 0xF5, 0x15, 0x90}};
inline constexpr TGUID IID_IQXBlockBuffer{
    0xC70FC8A7, 0x0083, 0x4B43, {0xBD, 0x11, 0x35, 0x74, 0x6A, 0x81, 0xE1, 0xCC}};

// Element access of a typed buffer, with the buffer's read/write/modify discipline.
template <class TElement> class IQXElementBuffer : public virtual IQXDataBuffer {
public:
    virtual const TElement* Read() const = 0;
    virtual TElement* Write() = 0;
    virtual TElement* Modify() = 0;
    // An index at or beyond GetSize() raises ERangeError "Index out of range = %u".
    virtual TElement GetItem(uint32_t AIndex) const = 0;
    virtual void SetItem(uint32_t AIndex, TElement AValue) = 0;
};

class IQXIntegerBuffer : public virtual IQXElementBuffer<int32_t> {};
class IQXRealBuffer : public virtual IQXElementBuffer<double> {};
class IQXBlockBuffer : public virtual IQXElementBuffer<uint8_t> {};

// The implementation the three typed buffers share. The elements start at the store's start,
// which the allocator aligns for every element type. A serialized typed buffer carries its
// bytes only; reading derives the element count from them and rebuilds the store when it
// differs.
template <class TElement, class TInterface, class TSelf>
class TQXTypedBuffer : public TQXGenericBuffer, public virtual TInterface {
public:
    static TRef<TSelf> CreateObject() { return CreateSizeObject(0); }
    // A buffer of ACount uninitialised elements; a byte size beyond QXMaxBufferSize raises
    // EArgumentError before anything is allocated.
    static TRef<TSelf> CreateSizeObject(uint32_t ACount);
    static TRef<TInterface> Create() { return CreateObject(); }
    static TRef<TInterface> CreateSize(uint32_t ACount) { return CreateSizeObject(ACount); }

    TRef<TQXGenericBuffer> MakeCopy() override;
    uint32_t GetSize() const override;

    const TElement* Read() const override;
    TElement* Write() override;
    TElement* Modify() override;
    TElement GetItem(uint32_t AIndex) const override;
    void SetItem(uint32_t AIndex, TElement AValue) override;

protected:
    TQXTypedBuffer(const TRef<IQXData>& AOther, TQXSmartBuffer* ADataContainer, uint32_t ASize)
        : TQXGenericBuffer(AOther, ADataContainer, ASize) {}
    ~TQXTypedBuffer() override = default;

    void InternalSerializationRead(const TRef<IReader>& AReader) override;

    static TQXSmartBuffer* NewElementStore(uint64_t ACount);
};

class TQXIntegerBuffer final : public TQXTypedBuffer<int32_t, IQXIntegerBuffer, TQXIntegerBuffer> {
    friend TQXTypedBuffer;

protected:
    using TQXTypedBuffer::TQXTypedBuffer;
    ~TQXIntegerBuffer() override = default;
};

class TQXRealBuffer final : public TQXTypedBuffer<double, IQXRealBuffer, TQXRealBuffer> {
    friend TQXTypedBuffer;

protected:
    using TQXTypedBuffer::TQXTypedBuffer;
    ~TQXRealBuffer() override = default;
};

class TQXBlockBuffer final : public TQXTypedBuffer<uint8_t, IQXBlockBuffer, TQXBlockBuffer> {
    friend TQXTypedBuffer;

public:
    // A block buffer sharing AOther's store and logical size: its bytes are the store's from
    // the start. A null AOther raises EAssertionFailed.
    static TRef<TQXBlockBuffer> CreateUniversalObject(const TRef<IQXData>& AOther);
    static TRef<IQXBlockBuffer> CreateUniversal(const TRef<IQXData>& AOther) {
        return CreateUniversalObject(AOther);
    }

protected:
    using TQXTypedBuffer::TQXTypedBuffer;
    ~TQXBlockBuffer() override = default;
};

extern template class TQXTypedBuffer<int32_t, IQXIntegerBuffer, TQXIntegerBuffer>;
extern template class TQXTypedBuffer<double, IQXRealBuffer, TQXRealBuffer>;
extern template class TQXTypedBuffer<uint8_t, IQXBlockBuffer, TQXBlockBuffer>;

} // namespace sonvera
