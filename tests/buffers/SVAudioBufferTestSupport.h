// Helpers of the conversion and arithmetic tests: samples are encoded and decoded here by
// hand, little-endian, so that the tests never rely on the buffer's own accessors.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera::testing {

// The buffers need both dispatch tables and their registered class: every test program that
// includes this starts them once, before its first test.
inline ::testing::Environment* const GAudioBufferEnvironment =
    sonvera::testing::StartUnits({{InitializeQXBasicDispatcher, FinalizeQXBasicDispatcher},
                                  {InitializeSVBasicDispatcher, FinalizeSVBasicDispatcher},
                                  {InitializeSVSimpleAudioBuffer, FinalizeSVSimpleAudioBuffer}});

// The sample at AAt: 8 bits as the unsigned byte, wider ones sign-extended.
inline int32_t ReadSample(const uint8_t* AAt, int32_t AWidth) {
    uint32_t bits = 0;
    for (int32_t i = 0; i < AWidth / 8; ++i)
        bits |= uint32_t{AAt[i]} << (8 * i);
    if (AWidth == 8)
        return static_cast<int32_t>(bits);
    const uint32_t sign = uint32_t{1} << (AWidth - 1);
    if (AWidth < 32 && (bits & sign) != 0)
        bits |= ~((sign << 1) - 1);
    return static_cast<int32_t>(bits);
}

// The low AWidth bits of AValue at AAt.
inline void WriteSample(uint8_t* AAt, int32_t AWidth, int32_t AValue) {
    const auto bits = static_cast<uint32_t>(AValue);
    for (int32_t i = 0; i < AWidth / 8; ++i)
        AAt[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// A random sample of AWidth bits: 8 bits unsigned, wider ones signed.
inline int32_t RandomSample(std::mt19937& ARandom, int32_t AWidth) {
    uint8_t bytes[4];
    WriteSample(bytes, 32, static_cast<int32_t>(ARandom()));
    return ReadSample(bytes, AWidth);
}

// A buffer of ABits bits and AChannels channels holding ASamples, frame after frame, under
// exactly AMask: the data constructor keeps a mask as given, even one naming more or fewer
// speakers than there are channels.
inline TRef<TSVAudioBuffer> MakeBuffer(int32_t ABits, int32_t AChannels, TSVSpeakers AMask,
                                       const std::vector<int32_t>& ASamples) {
    std::vector<uint8_t> bytes(ASamples.size() * (ABits / 8));
    for (size_t i = 0; i < ASamples.size(); ++i)
        WriteSample(&bytes[i * (ABits / 8)], ABits, ASamples[i]);
    return TSVAudioBuffer::CreateDataExObject(bytes.data(), 44100, ABits, AChannels,
                                              static_cast<int32_t>(ASamples.size()) / AChannels,
                                              AMask);
}

inline TRef<TSVAudioBuffer> MakeRandomBuffer(int32_t ABits, int32_t AChannels, TSVSpeakers AMask,
                                             int32_t AFrames, uint32_t ASeed) {
    std::mt19937 random(ASeed);
    std::vector<int32_t> samples(static_cast<size_t>(AFrames) * AChannels);
    for (int32_t& sample : samples)
        sample = RandomSample(random, ABits);
    return MakeBuffer(ABits, AChannels, AMask, samples);
}

inline int32_t SampleAt(const ISVAudioBuffer& ABuffer, uint32_t AFrame, int32_t AChannel) {
    const int32_t width = ABuffer.GetSampleBitWidth();
    const auto* samples = static_cast<const uint8_t*>(ABuffer.Read());
    return ReadSample(samples + static_cast<size_t>(AFrame) * ABuffer.GetDataStep() +
                          static_cast<size_t>(AChannel) * (width / 8),
                      width);
}

// Every sample, frame after frame.
inline std::vector<int32_t> SamplesOf(const ISVAudioBuffer& ABuffer) {
    std::vector<int32_t> result;
    for (uint32_t frame = 0; frame < ABuffer.GetSize(); ++frame)
        for (int32_t channel = 0; channel < ABuffer.GetChannels(); ++channel)
            result.push_back(SampleAt(ABuffer, frame, channel));
    return result;
}

inline std::vector<uint8_t> BytesOf(const ISVAudioBuffer& ABuffer) {
    const auto* samples = static_cast<const uint8_t*>(ABuffer.Read());
    return std::vector<uint8_t>(samples, samples + ABuffer.GetByteSize());
}

// Everything observable of a buffer, down to the bytes of its store.
struct TBufferState {
    int32_t ObjectReferences;
    const TQXSmartBuffer* Store;
    uint32_t StoreSize;
    uint32_t StoreReferences;
    uint32_t StoreOwners;
    uint32_t LogicalSize;
    bool Owner;
    const void* Samples;
    std::vector<uint8_t> Contents;
    std::vector<int64_t> Audio; // the caches and timestamp of an audio buffer

    bool operator==(const TBufferState&) const = default;
};

inline TBufferState StateOf(TQXGenericBuffer& ABuffer) {
    const TQXSmartBuffer* store = ABuffer.GetDataContainer();
    const auto* contents = static_cast<const uint8_t*>(store->GetData());
    TBufferState state{ABuffer.RefCount(),
                       store,
                       store->GetSize(),
                       store->ReferenceCount(),
                       store->OwnerCount(),
                       ABuffer.GetLogicalSize(),
                       ABuffer.IsOwnerReference(),
                       ABuffer.ByteRead(),
                       std::vector<uint8_t>(contents, contents + ABuffer.GetLogicalSize()),
                       {}};
    if (auto* audio = dynamic_cast<TSVAudioBuffer*>(&ABuffer))
        state.Audio = {audio->GetChannels(),           audio->GetBitsPerSample(),
                       audio->GetSampleBitWidth(),     audio->GetDataStep(),
                       audio->GetChannelMask().Mask(), audio->GetSamplesPerSecond(),
                       audio->GetDataOffset(),         audio->GetTimeStampAvailable(),
                       audio->GetTimeStampBegin(),     audio->GetTimeStampEnd()};
    return state;
}

// A buffer that shares AOther's store, as a second holder downstream would.
inline TRef<TSVAudioBuffer> SharingCopy(const TRef<TSVAudioBuffer>& AOther) {
    return TSVAudioBuffer::CreateExObject(AOther);
}

// Gives a buffer a width that no operation processes: its header says 20 valid bits in a
// 20-bit container, as a record from outside might.
inline void MakeUnprocessedWidth(TSVAudioBuffer& ABuffer) {
    PSVWaveFormatExtensible format = ABuffer.GetModifyFormat();
    format->Format.wBitsPerSample = 20;
    format->Samples.wValidBitsPerSample = 20;
    ABuffer.PopulateCahces();
}

inline constexpr TSVSpeakers KStereo = KSVSpeakersStereo;
inline constexpr TSVSpeakers KSurround51 = KSVSpeakers5Point1;
inline constexpr int32_t KWidths[] = {8, 16, 24, 32};

} // namespace sonvera::testing
