// The sample widths the audio buffer's operations process, and how they dispatch on them: a
// table of one function per width (8, 16, 24 and 32 bits), indexed by WidthIndex.
#pragma once

#include <cstdint>

namespace sonvera {

template <class TFunction> using TByWidth = TFunction[4];

constexpr int32_t KUnprocessed = -1;

// Index into a TByWidth table of a container width, or KUnprocessed.
constexpr int32_t WidthIndex(int32_t AWidth) {
    switch (AWidth) {
    case 8:
        return 0;
    case 16:
        return 1;
    case 24:
        return 2;
    case 32:
        return 3;
    default:
        return KUnprocessed;
    }
}

constexpr bool IsProcessedWidth(int32_t AWidth) {
    return WidthIndex(AWidth) != KUnprocessed;
}

// Typed views of a column's bytes, for the primitives' element pointers.
template <class T> const T* ElementsAt(const void* ABytes) {
    return static_cast<const T*>(ABytes);
}

template <class T> T* ElementsAt(void* ABytes) {
    return static_cast<T*>(ABytes);
}

} // namespace sonvera
