#include "sonvera/platform/bases/QXPacketSize.h"

#include <algorithm>
#include <bit>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr uint32_t KValueBitsPerByte = 7;

} // namespace

uint32_t GetPacketByteLength(uint64_t AValue) noexcept {
    const auto bits = static_cast<uint32_t>(std::bit_width(AValue));
    if (bits > (KMaxPacketByteLength - 1) * KValueBitsPerByte)
        return KMaxPacketByteLength;
    return bits == 0 ? 1 : (bits + KValueBitsPerByte - 1) / KValueBitsPerByte;
}

void WritePacketSize(uint8_t*& ACursor, uint64_t AValue) noexcept {
    const uint32_t following = GetPacketByteLength(AValue) - 1;
    // The leading 1s; the bits left below them in the first byte are the value's highest.
    const auto prefix = static_cast<uint8_t>(0xFF00u >> following);
    const uint64_t high = following == KMaxPacketByteLength - 1 ? 0 : AValue >> (8 * following);
    *ACursor++ = static_cast<uint8_t>(prefix | high);
    for (uint32_t i = following; i > 0; --i)
        *ACursor++ = static_cast<uint8_t>(AValue >> (8 * (i - 1)));
}

bool DecodePacketSize(const uint8_t* ABytes, uint64_t AAvailable, uint64_t& AValue,
                      uint32_t& ALength) noexcept {
    if (AAvailable == 0)
        return false;
    const auto following = static_cast<uint32_t>(std::countl_one(ABytes[0]));
    if (following >= AAvailable)
        return false;
    uint64_t value = ABytes[0] & (0xFFu >> (following + 1));
    for (uint32_t i = 1; i <= following; ++i)
        value = value << 8 | ABytes[i];
    AValue = value;
    ALength = following + 1;
    return true;
}

bool ExtractPacketSize(const IBufferAccumulator& AAccumulator, uint64_t ABitPosition,
                       uint64_t& AValue, uint32_t& ALength) {
    Assert(ABitPosition % 8 == 0, "QXPacketSize", "Packet sizes start on a byte boundary");
    const uint64_t offset = ABitPosition / 8;
    const uint64_t held = AAccumulator.GetSize();
    if (offset >= held)
        return false;
    uint8_t bytes[KMaxPacketByteLength];
    const uint64_t available = std::min<uint64_t>(held - offset, KMaxPacketByteLength);
    return AAccumulator.Peek(offset, bytes, available) &&
           DecodePacketSize(bytes, available, AValue, ALength);
}

void AlignRecordCursor(uint8_t*& ACursor, uint32_t& ABitOffset) noexcept {
    if (ABitOffset == 0)
        return;
    ++ACursor;
    ABitOffset = 0;
}

} // namespace sonvera
