#include "sonvera/platform/bases/QXBufferAccumulator.h"

#include <algorithm>
#include <cstring>

namespace sonvera {

void TQXBufferAccumulator::Append(const TRef<IQXDataBuffer>& AData) {
    const uint64_t size = AData ? AData->GetByteSize() : 0;
    if (size == 0)
        return;
    FPieces.push_back({AData, static_cast<const uint8_t*>(AData->ByteRead()), size});
    FSize += size;
}

bool TQXBufferAccumulator::Peek(uint64_t AOffset, void* ADest, uint64_t ACount) const {
    if (AOffset > FSize || ACount > FSize - AOffset)
        return false;
    CopyOut(AOffset, static_cast<uint8_t*>(ADest), ACount);
    return true;
}

bool TQXBufferAccumulator::Read(void* ADest, uint64_t ACount) {
    if (ACount > FSize)
        return false;
    CopyOut(0, static_cast<uint8_t*>(ADest), ACount);
    Consume(ACount);
    return true;
}

bool TQXBufferAccumulator::Skip(uint64_t ACount) {
    if (ACount > FSize)
        return false;
    Consume(ACount);
    return true;
}

void TQXBufferAccumulator::Drop() {
    FPieces.clear();
    FFront = 0;
    FSize = 0;
}

void TQXBufferAccumulator::CopyOut(uint64_t AOffset, uint8_t* ADest, uint64_t ACount) const {
    uint64_t position = FFront + AOffset; // within the piece looked at
    for (auto piece = FPieces.begin(); ACount > 0; ++piece) {
        if (position >= piece->Size) {
            position -= piece->Size;
            continue;
        }
        const uint64_t count = std::min(ACount, piece->Size - position);
        std::memcpy(ADest, piece->Bytes + position, count);
        ADest += count;
        ACount -= count;
        position = 0;
    }
}

void TQXBufferAccumulator::Consume(uint64_t ACount) {
    FSize -= ACount;
    uint64_t position = FFront + ACount;
    while (!FPieces.empty() && position >= FPieces.front().Size) {
        position -= FPieces.front().Size;
        FPieces.pop_front();
    }
    FFront = position;
}

} // namespace sonvera
