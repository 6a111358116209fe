#include "sonvera/platform/bases/QXBufferAccumulator.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

TQXBufferAccumulator::TPiece::TPiece(TQXSmartBuffer* AStore, const uint8_t* ABytes,
                                     uint64_t ASize) noexcept
    : Bytes(ABytes), Size(ASize), FStore(AStore) {
    FStore->AddReff(false);
}

TQXBufferAccumulator::TPiece::TPiece(TPiece&& AOther) noexcept
    : Bytes(AOther.Bytes), Size(AOther.Size), FStore(std::exchange(AOther.FStore, nullptr)) {}

TQXBufferAccumulator::TPiece& TQXBufferAccumulator::TPiece::operator=(TPiece&& AOther) noexcept {
    std::swap(Bytes, AOther.Bytes);
    std::swap(Size, AOther.Size);
    std::swap(FStore, AOther.FStore);
    return *this;
}

TQXBufferAccumulator::TPiece::~TPiece() {
    if (FStore)
        FStore->RemoveReff(false);
}

void TQXBufferAccumulator::Append(const TRef<IQXData>& AData) {
    Assert(AData != nullptr, "QXBufferAccumulator");
    auto* buffer = dynamic_cast<TQXGenericBuffer*>(AData->GetInstance());
    if (!buffer)
        throw EArgumentError("Only data buffers can be accumulated");
    const uint64_t size = buffer->GetByteSize();
    if (size == 0)
        return;
    FPieces.emplace_back(buffer->GetDataContainer(),
                         static_cast<const uint8_t*>(buffer->ByteRead()), size);
    FSize += size;
}

void TQXBufferAccumulator::Take(TQXBufferAccumulator& ASource) {
    if (ASource.FPieces.empty())
        return;
    ASource.FPieces.front().Bytes += ASource.FFront;
    ASource.FPieces.front().Size -= ASource.FFront;
    for (TPiece& piece : ASource.FPieces)
        FPieces.push_back(std::move(piece));
    FSize += ASource.FSize;
    ASource.FPieces.clear();
    ASource.FFront = 0;
    ASource.FSize = 0;
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
