// Speaker positions, their 32-bit mask sets and the order in which channels are matched by
// speaker. They sit beside the wave-format records whose channel mask they read.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>

#include "sonvera/platform/runtime/TypeInfo.h"

namespace sonvera {

// Speaker positions; the ordinal is the bit of the position in a channel mask.
enum TSVSpeaker : uint8_t {
    spFrontLeft,
    spFrontRight,
    spFrontCenter,
    spSubwoofer,
    spBackLeft,
    spBackRight,
    spFrontLeftOfCenter,
    spFrontRightOfCenter,
    spBackCenter,
    spSideLeft,
    spSideRight,
    spTopCenter,
    spTopFrontLeft,
    spTopFrontCenter,
    spTopFrontRight,
    spTopBackLeft,
    spTopBackCenter,
    spTopBackRight
};

inline constexpr int32_t KSVSpeakerCount = 18;

template <> const TEnumTypeInfo& EnumTypeInfo<TSVSpeaker>();

// A set of speakers as a 32-bit mask, bit n standing for the speaker of ordinal n: the same
// bits as a wave-format record's channel mask, which may carry bits no speaker stands for.
class TSVSpeakers {
public:
    constexpr TSVSpeakers() noexcept = default;
    constexpr TSVSpeakers(std::initializer_list<TSVSpeaker> ASpeakers) noexcept {
        for (TSVSpeaker speaker : ASpeakers)
            Include(speaker);
    }
    static constexpr TSVSpeakers FromMask(uint32_t AMask) noexcept {
        TSVSpeakers result;
        result.FMask = AMask;
        return result;
    }

    constexpr uint32_t Mask() const noexcept { return FMask; }
    constexpr bool IsEmpty() const noexcept { return FMask == 0; }
    constexpr int32_t Count() const noexcept { return std::popcount(FMask); }
    constexpr bool Contains(TSVSpeaker ASpeaker) const noexcept {
        return ((FMask >> ASpeaker) & 1u) != 0;
    }
    constexpr TSVSpeakers& Include(TSVSpeaker ASpeaker) noexcept {
        FMask |= uint32_t{1} << ASpeaker;
        return *this;
    }
    constexpr TSVSpeakers& Exclude(TSVSpeaker ASpeaker) noexcept {
        FMask &= ~(uint32_t{1} << ASpeaker);
        return *this;
    }

    friend constexpr bool operator==(TSVSpeakers A, TSVSpeakers B) noexcept = default;
    friend constexpr TSVSpeakers operator|(TSVSpeakers A, TSVSpeakers B) noexcept {
        return FromMask(A.FMask | B.FMask);
    }
    friend constexpr TSVSpeakers operator&(TSVSpeakers A, TSVSpeakers B) noexcept {
        return FromMask(A.FMask & B.FMask);
    }
    friend constexpr TSVSpeakers operator-(TSVSpeakers A, TSVSpeakers B) noexcept {
        return FromMask(A.FMask & ~B.FMask);
    }

private:
    uint32_t FMask = 0;
};

// The common speaker layouts, as channel masks to build buffers with (CreateSizeEx) and to
// copy them into (CopyToAudio pairs channels by these speakers).
inline constexpr TSVSpeakers KSVSpeakersMono{spFrontLeft};
inline constexpr TSVSpeakers KSVSpeakersStereo{spFrontLeft, spFrontRight};
inline constexpr TSVSpeakers KSVSpeakers2Point1{spFrontLeft, spFrontRight, spSubwoofer};
inline constexpr TSVSpeakers KSVSpeakersQuad{spFrontLeft, spFrontRight, spBackLeft, spBackRight};
inline constexpr TSVSpeakers KSVSpeakers5Point0{spFrontLeft, spFrontRight, spFrontCenter,
                                                spBackLeft, spBackRight};
inline constexpr TSVSpeakers KSVSpeakers5Point1{spFrontLeft, spFrontRight, spFrontCenter,
                                                spSubwoofer, spBackLeft,   spBackRight};
inline constexpr TSVSpeakers KSVSpeakers7Point1{spFrontLeft, spFrontRight, spFrontCenter,
                                                spSubwoofer, spBackLeft,   spBackRight,
                                                spSideLeft,  spSideRight};

// The speakers in the order in which channels are matched by speaker: the n-th entry is the
// speaker (the bit number) examined n-th. Every operation that pairs the channels of two
// buffers walks this table.
inline constexpr TSVSpeaker SVSpeakerValues[KSVSpeakerCount] = {
    spFrontLeft,   spFrontRight,        spFrontCenter,        spSubwoofer,      spBackLeft,
    spBackRight,   spFrontLeftOfCenter, spFrontRightOfCenter, spBackCenter,     spSideLeft,
    spSideRight,   spTopCenter,         spTopFrontLeft,       spTopFrontCenter, spTopFrontRight,
    spTopBackLeft, spTopBackCenter,     spTopBackRight};
static_assert(sizeof(SVSpeakerValues) == 18);

int32_t GetSVSpeakerValuesSize() noexcept;
// Entry AIndex of SVSpeakerValues; an index outside 0..17 raises ERangeError
// "Index out of range = %d".
TSVSpeaker GetSVSpeakerValues(int32_t AIndex);

} // namespace sonvera
