// The vector biquad kernels' one algorithm over an instruction set's lanes. TOps names the
// vector of KWidth doubles (TVector), the mask of a group's channels (TMask) and the few
// operations, each compiled for its instruction
// set; a level's entry point is flattened, so that all of it ends up in one function of that
// instruction set. Vectors pass by reference only, so nothing here depends on how a vector would
// be passed in registers.
//
// Channels go side by side, KWidth to a vector and up to VGroups vectors. The frames of a block
// are first copied into slots of whole vectors: masked loads and stores straight on interleaved
// frames would overlap the next frame, and the processor would then wait for each store before
// the next load, putting memory on the recurrence's path. Two sections run together as
// ForBiquadChunks plans. Each lane computes the portable recurrence: the same operations in the
// same order, so the same bytes. One section over one or two channels has too few lanes to gain
// from vectors: the portable loop runs it.
#pragma once

#include "primitives/PrimitiveSimd.h"

namespace sonvera::runs {

template <class TOps> struct TBiquadSectionLanes {
    typename TOps::TVector B0, B1, B2, A1, A2;
};

template <class TOps, size_t VGroups> struct TBiquadDelayLanes {
    typename TOps::TVector Z1[VGroups], Z2[VGroups];
    typename TOps::TMask Masks[VGroups];
};

// Frames per block of slots.
constexpr size_t KBiquadBlock = 128;

template <class TOps> void LoadBiquadSection(TBiquadSectionLanes<TOps>& ALanes, const TSVBiquad& AS) {
    TOps::Broadcast(ALanes.B0, AS.B0);
    TOps::Broadcast(ALanes.B1, AS.B1);
    TOps::Broadcast(ALanes.B2, AS.B2);
    TOps::Broadcast(ALanes.A1, AS.A1);
    TOps::Broadcast(ALanes.A2, AS.A2);
}

template <class TOps, size_t VGroups>
void LoadBiquadDelays(TBiquadDelayLanes<TOps, VGroups>& ALanes, const TSVBiquadState* AStates,
                      size_t AChannels) {
    constexpr size_t KWidth = TOps::KWidth;
    alignas(64) double z1[KWidth * VGroups] = {};
    alignas(64) double z2[KWidth * VGroups] = {};
    BiquadDelaysToLanes(AStates, AChannels, z1, z2);
    for (size_t g = 0; g < VGroups; ++g) {
        TOps::Load(ALanes.Z1[g], z1 + KWidth * g);
        TOps::Load(ALanes.Z2[g], z2 + KWidth * g);
        TOps::FirstLanes(ALanes.Masks[g], AChannels - std::min(AChannels, KWidth * g));
    }
}

template <class TOps, size_t VGroups>
void StoreBiquadDelays(const TBiquadDelayLanes<TOps, VGroups>& ALanes, TSVBiquadState* AStates,
                       size_t AChannels) {
    constexpr size_t KWidth = TOps::KWidth;
    alignas(64) double z1[KWidth * VGroups];
    alignas(64) double z2[KWidth * VGroups];
    for (size_t g = 0; g < VGroups; ++g) {
        TOps::Store(z1 + KWidth * g, ALanes.Z1[g]);
        TOps::Store(z2 + KWidth * g, ALanes.Z2[g]);
    }
    BiquadDelaysFromLanes(z1, z2, AChannels, AStates);
}

// Frames AFrom to ATo of a block of slots of VGroups vectors.
template <class TOps, size_t VGroups>
void FilterBiquadSlots(const TBiquadSectionLanes<TOps>& AS, TBiquadDelayLanes<TOps, VGroups>& AD,
                       float* ABlock, size_t AFrom, size_t ATo) {
    constexpr size_t KSlot = TOps::KWidth * VGroups;
    for (size_t i = AFrom; i < ATo; ++i)
        for (size_t g = 0; g < VGroups; ++g)
            TOps::Step(AS, AD.Z1[g], AD.Z2[g], ABlock + i * KSlot + TOps::KWidth * g);
}

// AChannels (up to KWidth VGroups) channels from AData on, frames AStride floats apart, through
// ASectionCount (1 or 2) sections whose states lie AStride apart.
template <class TOps, size_t VGroups>
void FilterBiquadChannels(float* AData, size_t AFrames, size_t AStride, size_t AChannels,
                          const TSVBiquad* ASections, size_t ASectionCount,
                          TSVBiquadState* AStates) {
    constexpr size_t KSlot = TOps::KWidth * VGroups;
    alignas(64) float block[KBiquadBlock * KSlot]; // lanes past AChannels are copied in as 0
    const bool two = ASectionCount == 2;
    TBiquadSectionLanes<TOps> s0, s1;
    TBiquadDelayLanes<TOps, VGroups> d0, d1;
    LoadBiquadSection(s0, ASections[0]);
    LoadBiquadDelays(d0, AStates, AChannels);
    LoadBiquadSection(s1, ASections[two ? 1 : 0]);
    LoadBiquadDelays(d1, AStates + (two ? AStride : 0), AChannels);
    for (size_t from = 0; from < AFrames; from += KBiquadBlock) {
        const size_t frames = std::min(KBiquadBlock, AFrames - from);
        float* data = AData + from * AStride;
        for (size_t i = 0; i < frames; ++i)
            for (size_t g = 0; g < VGroups; ++g)
                TOps::CopyIn(block + i * KSlot + TOps::KWidth * g,
                             data + i * AStride + TOps::KWidth * g, d0.Masks[g]);
        if (!two || frames <= KBiquadLag) {
            FilterBiquadSlots(s0, d0, block, 0, frames);
            if (two)
                FilterBiquadSlots(s1, d1, block, 0, frames);
        } else {
            FilterBiquadSlots(s0, d0, block, 0, KBiquadLag);
            for (size_t i = KBiquadLag; i < frames; ++i) {
                FilterBiquadSlots(s0, d0, block, i, i + 1);
                FilterBiquadSlots(s1, d1, block, i - KBiquadLag, i + 1 - KBiquadLag);
            }
            FilterBiquadSlots(s1, d1, block, frames - KBiquadLag, frames);
        }
        for (size_t i = 0; i < frames; ++i)
            for (size_t g = 0; g < VGroups; ++g)
                TOps::CopyOut(data + i * AStride + TOps::KWidth * g,
                              block + i * KSlot + TOps::KWidth * g, d0.Masks[g]);
    }
    StoreBiquadDelays(d0, AStates, AChannels);
    if (two)
        StoreBiquadDelays(d1, AStates + AStride, AChannels);
}

// SVBiquadFloat over chunks of up to 2 KWidth channels.
template <class TOps>
void FilterBiquadCascade(float* AData, size_t AFrames, size_t AChannels,
                         const TSVBiquad* ASections, size_t ASectionCount,
                         TSVBiquadState* AStates) {
    constexpr size_t KWidth = TOps::KWidth;
    if (ASectionCount == 1 && AChannels <= 2)
        return portable::Biquad(AData, AFrames, AChannels, ASections, ASectionCount, AStates);
    ForBiquadChunks<2 * KWidth>(AChannels, ASectionCount, [=](size_t AFirst, size_t ACount,
                                                              size_t AChannel, size_t AChunk) {
        float* data = AData + AChannel;
        TSVBiquadState* states = AStates + AFirst * AChannels + AChannel;
        if (AChunk <= KWidth)
            FilterBiquadChannels<TOps, 1>(data, AFrames, AChannels, AChunk, ASections + AFirst,
                                          ACount, states);
        else
            FilterBiquadChannels<TOps, 2>(data, AFrames, AChannels, AChunk, ASections + AFirst,
                                          ACount, states);
    });
}

} // namespace sonvera::runs
