// The bytes of a record stream that have arrived and are not read yet. A stream of records comes
// in pieces cut anywhere - a record may span many pieces and a piece may hold many records - so
// the elements that read records look at the bytes through an accumulator, which shows the
// pieces as one run of bytes in arrival order.
#pragma once

#include <cstdint>
#include <deque>

#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

namespace sonvera {

inline constexpr TGUID IID_IBufferAccumulator{
    0x8F2A61C4, 0x3B7D, 0x4E15, {0x9A, 0x06, 0xC1, 0x5E, 0x72, 0xD8, 0x4B, 0x39}};

// Offsets count from the first byte not read yet. Every operation either does all it is asked
// or, when fewer bytes are held, nothing at all.
class IBufferAccumulator : public virtual IInterface {
public:
    // How many bytes are held.
    virtual uint64_t GetSize() const = 0;
    // Copies ACount bytes from AOffset on into ADest; nothing is consumed.
    virtual bool Peek(uint64_t AOffset, void* ADest, uint64_t ACount) const = 0;
    // Copies the first ACount bytes into ADest and consumes them.
    virtual bool Read(void* ADest, uint64_t ACount) = 0;
    // Consumes the first ACount bytes.
    virtual bool Skip(uint64_t ACount) = 0;
    // Consumes every byte held: for a stream that ends or cannot be read on.
    virtual void Drop() = 0;
};

// Holds the pieces' stores, not copies of their bytes: each piece keeps a read-only reference
// on its store, so that a later write through any buffer of that store goes to a store of its
// own and leaves the accumulated bytes as they arrived. A piece is let go once all its bytes
// are consumed. One thread uses an accumulator at a time.
class TQXBufferAccumulator : public TInterfacedObject, public virtual IBufferAccumulator {
public:
    static TRef<TQXBufferAccumulator> CreateObject() { return MakeRef<TQXBufferAccumulator>(); }

    // Appends the bytes of AData, a data buffer (EArgumentError for other data; EAssertionFailed
    // for none): its ByteRead and GetByteSize.
    void Append(const TRef<IQXData>& AData);
    // Moves every byte of ASource to the end of this accumulator; ASource is left empty.
    void Take(TQXBufferAccumulator& ASource);

    uint64_t GetSize() const override { return FSize; }
    bool Peek(uint64_t AOffset, void* ADest, uint64_t ACount) const override;
    bool Read(void* ADest, uint64_t ACount) override;
    bool Skip(uint64_t ACount) override;
    void Drop() override;

protected:
    ~TQXBufferAccumulator() override = default;

private:
    // A run of bytes of a store, which the piece holds a read-only reference on.
    class TPiece {
    public:
        TPiece(TQXSmartBuffer* AStore, const uint8_t* ABytes, uint64_t ASize) noexcept;
        TPiece(TPiece&& AOther) noexcept;
        TPiece& operator=(TPiece&& AOther) noexcept;
        ~TPiece();

        const uint8_t* Bytes;
        uint64_t Size;

    private:
        TQXSmartBuffer* FStore;
    };

    // Both expect the bytes to be held.
    void CopyOut(uint64_t AOffset, uint8_t* ADest, uint64_t ACount) const;
    void Consume(uint64_t ACount);

    std::deque<TPiece> FPieces;
    uint64_t FFront = 0; // bytes of the first piece consumed already
    uint64_t FSize = 0;
};

} // namespace sonvera
