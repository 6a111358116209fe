#include "sonvera/buffers/SVInternalStore.h"

#include <algorithm>
#include <cstring>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

uint8_t* TSVSmartAudioBuffer::AllocateBlock(uint32_t ASize) {
    if (ASize > KSVMaxStoreSize)
        throw EArgumentError(FormatMessage("Store size out of range = %u", ASize));
    return static_cast<uint8_t*>(QXBufferAllocate(size_t{ASize} + KSVStoreLeadIn)) + KSVStoreLeadIn;
}

TSVSmartAudioBuffer::TSVSmartAudioBuffer(uint32_t ASize)
    : FData(AllocateBlock(ASize)), FSize(ASize) {}

TSVSmartAudioBuffer::TSVSmartAudioBuffer(const void* AData, uint32_t ASize)
    : TSVSmartAudioBuffer(ASize) {
    if (AData && ASize > 0)
        std::memcpy(FData, AData, ASize);
}

TSVSmartAudioBuffer::TSVSmartAudioBuffer(const TSVSmartAudioBuffer& AOther, bool APreserve)
    : TRVSmartMediaBuffer(AOther, APreserve), FData(AllocateBlock(AOther.FSize)),
      FSize(AOther.FSize) {
    const uint32_t count = APreserve ? FSize : std::min(FSize, QXStoreHeaderSize);
    if (count > 0)
        std::memcpy(FData, AOther.FData, count);
}

TSVSmartAudioBuffer::~TSVSmartAudioBuffer() {
    QXBufferDeallocate(FData - KSVStoreLeadIn, size_t{FSize} + KSVStoreLeadIn);
}

void TSVSmartAudioBuffer::ReleaseMemory() noexcept {
    QXMemoryCleanUp();
}

TSVSmartAudioBuffer* TSVSmartAudioBuffer::Clone(bool APreserve) {
    return static_cast<TSVSmartAudioBuffer*>(CloneObject(APreserve));
}

TQXSmartBuffer* TSVSmartAudioBuffer::CloneObject(bool APreserve) const {
    return new TSVSmartAudioBuffer(*this, APreserve);
}

void TSVSmartAudioBuffer::CopyFrom(const TSVSmartAudioBuffer& AOther) noexcept {
    const uint32_t count = std::min(FSize, AOther.FSize);
    if (count > 0 && &AOther != this)
        std::memcpy(FData, AOther.FData, count);
}

} // namespace sonvera
