// The audio sample store: one block holding the wave-format header and the interleaved samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sonvera/buffers/RVInternalStore.h"
#include "sonvera/format/SVSpeakers.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

namespace sonvera {

// The store places the sample area (after the 40-byte header) on a vector boundary: the
// allocator's blocks are aligned to QXBufferAlignment, and the header starts this many bytes in.
inline constexpr uint32_t KSVStoreLeadIn =
    QXBufferAlignment - QXStoreHeaderSize % QXBufferAlignment;
// The longest store, header included.
inline constexpr uint32_t KSVMaxStoreSize = QXMaxBufferSize - KSVStoreLeadIn;

// The audio sample store: one block from the block allocator holding the 40-byte wave-format
// header followed by the interleaved samples. The store never clears its block. GetData() is
// the header; GetData() + 40 is aligned to QXBufferAlignment.
class TSVSmartAudioBuffer : public TRVSmartMediaBuffer {
public:
    // ASize uninitialised bytes; a size above KSVMaxStoreSize raises EArgumentError.
    explicit TSVSmartAudioBuffer(uint32_t ASize);
    // ASize bytes copied from AData, or uninitialised when AData is null.
    TSVSmartAudioBuffer(const void* AData, uint32_t ASize);
    // A store of AOther's length and timestamp holding all of its bytes (APreserve) or only
    // its leading header bytes (at most QXStoreHeaderSize).
    TSVSmartAudioBuffer(const TSVSmartAudioBuffer& AOther, bool APreserve);

    // Lets the block allocator give its cached blocks back to the system.
    static void ReleaseMemory() noexcept;

    uint32_t GetSize() const noexcept override { return FSize; }
    void* GetData() const noexcept override { return FData; }
    void* GetRawData() const noexcept { return FData; }
    TSVSmartAudioBuffer* Clone(bool APreserve) override;

    // Copies min(AOther's length, this length) bytes from the start of AOther's block, header
    // included; no resizing, no locking.
    void CopyFrom(const TSVSmartAudioBuffer& AOther) noexcept;

protected:
    ~TSVSmartAudioBuffer() override;
    TQXSmartBuffer* CloneObject(bool APreserve) const override;

private:
    static uint8_t* AllocateBlock(uint32_t ASize);

    uint8_t* FData;
    uint32_t FSize;
};

} // namespace sonvera
