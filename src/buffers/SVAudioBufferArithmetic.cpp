// Element-wise arithmetic on the samples of an audio buffer: with another buffer, with a
// constant over the whole buffer or one channel, clearing, and scaling by a real factor. Each
// operation picks the primitive of the buffer's sample width, lays the interleaved samples out
// as strided runs, and never changes a store that another buffer still references.
#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "SVAudioBufferWidths.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "SVSimpleAudioBuffer";

// The element and constant types of the primitives of each sample width. Constants reach a
// primitive as the low byte (8 bits) or the low 16 bits (16 bits) of the caller's value.
template <int32_t AWidth> struct TSample;
template <> struct TSample<8> {
    using Element = Ipp8u;
    using Value = Ipp8u;
};
template <> struct TSample<16> {
    using Element = Ipp16s;
    using Value = Ipp16s;
};
template <> struct TSample<24> {
    using Element = Ipp8u;
    using Value = Ipp32s;
};
template <> struct TSample<32> {
    using Element = Ipp32s;
    using Value = Ipp32s;
};

template <int32_t AWidth> using TElement = typename TSample<AWidth>::Element;

template <int32_t AWidth> typename TSample<AWidth>::Value ValueOf(int32_t AValue) {
    return static_cast<typename TSample<AWidth>::Value>(AValue);
}

template <int32_t AWidth> TElement<AWidth>* ElementsOf(uint8_t* AData) {
    return reinterpret_cast<TElement<AWidth>*>(AData);
}

template <int32_t AWidth> const TElement<AWidth>* ElementsOf(const uint8_t* AData) {
    return reinterpret_cast<const TElement<AWidth>*>(AData);
}

// The library's own primitives report nothing; the table's report a status whose negative
// values mean that nothing was written.
template <class TCall> IppStatus StatusOf(TCall&& ACall) {
    if constexpr (std::is_void_v<std::invoke_result_t<TCall>>) {
        ACall();
        return ippStsNoErr;
    } else {
        return ACall();
    }
}

// Uniform shapes over bytes, one per kind of operation, so that an operation is a table of
// four primitives indexed by width (8, 16, 24, 32 bits).
using TColumnWithColumn = void (*)(const uint8_t* ASource, int32_t ASourceStep, uint8_t* ATarget,
                                   int32_t ATargetStep, IppiSize ARows);
using TRunInPlace = IppStatus (*)(int32_t AValue, uint8_t* AData, int32_t ALength);
using TRunInto = IppStatus (*)(const uint8_t* ASource, int32_t AValue, uint8_t* ATarget,
                               int32_t ALength);
using TColumnInPlace = IppStatus (*)(int32_t AValue, uint8_t* AData, int32_t AStep, IppiSize ARows);
using TColumnInto = IppStatus (*)(const uint8_t* ASource, int32_t AValue, uint8_t* ATarget,
                                  int32_t AStep, IppiSize ARows);
using TRunSet = IppStatus (*)(int32_t AValue, uint8_t* AData, int32_t ALength);
using TRunZero = IppStatus (*)(uint8_t* AData, int32_t ALength);
using TRealInPlace = void (*)(double AFactor, uint8_t* AData, int32_t AStep, IppiSize ARows);
using TRealInto = void (*)(double AFactor, const uint8_t* ASource, uint8_t* ATarget, int32_t AStep,
                           IppiSize ARows);

template <int32_t AWidth, auto& APrimitive>
void ColumnWithColumn(const uint8_t* ASource, int32_t ASourceStep, uint8_t* ATarget,
                      int32_t ATargetStep, IppiSize ARows) {
    APrimitive(ElementsOf<AWidth>(ASource), ASourceStep, ElementsOf<AWidth>(ATarget), ATargetStep,
               ARows, 0);
}

template <int32_t AWidth, auto& APrimitive>
IppStatus RunInPlace(int32_t AValue, uint8_t* AData, int32_t ALength) {
    return StatusOf(
        [&] { return APrimitive(ValueOf<AWidth>(AValue), ElementsOf<AWidth>(AData), ALength, 0); });
}

template <int32_t AWidth, auto& APrimitive>
IppStatus RunInto(const uint8_t* ASource, int32_t AValue, uint8_t* ATarget, int32_t ALength) {
    return StatusOf([&] {
        return APrimitive(ElementsOf<AWidth>(ASource), ValueOf<AWidth>(AValue),
                          ElementsOf<AWidth>(ATarget), ALength, 0);
    });
}

template <int32_t AWidth, auto& APrimitive>
IppStatus ColumnInPlace(int32_t AValue, uint8_t* AData, int32_t AStep, IppiSize ARows) {
    return StatusOf([&] {
        return APrimitive(ValueOf<AWidth>(AValue), ElementsOf<AWidth>(AData), AStep, ARows, 0);
    });
}

// The table's strided primitives take a step for each side...
template <int32_t AWidth, auto& APrimitive>
IppStatus ColumnIntoWithSteps(const uint8_t* ASource, int32_t AValue, uint8_t* ATarget,
                              int32_t AStep, IppiSize ARows) {
    return StatusOf([&] {
        return APrimitive(ElementsOf<AWidth>(ASource), AStep, ValueOf<AWidth>(AValue),
                          ElementsOf<AWidth>(ATarget), AStep, ARows, 0);
    });
}

// ... the library's own take one for both.
template <int32_t AWidth, auto& APrimitive>
IppStatus ColumnInto(const uint8_t* ASource, int32_t AValue, uint8_t* ATarget, int32_t AStep,
                     IppiSize ARows) {
    return StatusOf([&] {
        return APrimitive(ElementsOf<AWidth>(ASource), ValueOf<AWidth>(AValue),
                          ElementsOf<AWidth>(ATarget), AStep, ARows, 0);
    });
}

template <int32_t AWidth, auto& APrimitive>
IppStatus RunSet(int32_t AValue, uint8_t* AData, int32_t ALength) {
    return StatusOf(
        [&] { return APrimitive(ValueOf<AWidth>(AValue), ElementsOf<AWidth>(AData), ALength); });
}

template <int32_t AWidth, auto& APrimitive>
IppStatus ColumnSet(int32_t AValue, uint8_t* AData, int32_t AStep, IppiSize ARows) {
    return StatusOf([&] {
        return APrimitive(ValueOf<AWidth>(AValue), ElementsOf<AWidth>(AData), AStep, ARows);
    });
}

template <int32_t AWidth, auto& APrimitive> IppStatus RunZero(uint8_t* AData, int32_t ALength) {
    return StatusOf([&] { return APrimitive(ElementsOf<AWidth>(AData), ALength); });
}

template <int32_t AWidth, auto& APrimitive>
void RealInPlace(double AFactor, uint8_t* AData, int32_t AStep, IppiSize ARows) {
    APrimitive(AFactor, ElementsOf<AWidth>(AData), AStep, ARows);
}

template <int32_t AWidth, auto& APrimitive>
void RealInto(double AFactor, const uint8_t* ASource, uint8_t* ATarget, int32_t AStep,
              IppiSize ARows) {
    APrimitive(AFactor, ElementsOf<AWidth>(ASource), ElementsOf<AWidth>(ATarget), AStep, ARows);
}

// ---- The primitives of each operation, by width ------------------------------------------

constexpr TByWidth<TColumnWithColumn> KAddBuffer{
    ColumnWithColumn<8, ippiAdd_8s_C1IRSfs>, ColumnWithColumn<16, ippiAdd_16s_C1IRSfs>,
    ColumnWithColumn<24, ippiAdd_24s_C1IRSfs>, ColumnWithColumn<32, ippiAdd_32s_C1IRSfs>};
constexpr TByWidth<TColumnWithColumn> KSubtractBuffer{
    ColumnWithColumn<8, ippiSub_8s_C1IRSfs>, ColumnWithColumn<16, ippiSub_16s_C1IRSfs>,
    ColumnWithColumn<24, ippiSub_24s_C1IRSfs>, ColumnWithColumn<32, ippiSub_32s_C1IRSfs>};
constexpr TByWidth<TColumnWithColumn> KMultiplyBuffer{
    ColumnWithColumn<8, ippiMul_8s_C1IRSfs>, ColumnWithColumn<16, ippiMul_16s_C1IRSfs>,
    ColumnWithColumn<24, ippiMul_24s_C1IRSfs>, ColumnWithColumn<32, ippiMul_32s_C1IRSfs>};
constexpr TByWidth<TColumnWithColumn> KDivideBuffer{
    ColumnWithColumn<8, ippiDiv_8s_C1IRSfs>, ColumnWithColumn<16, ippiDiv_16s_C1IRSfs>,
    ColumnWithColumn<24, ippiDiv_24s_C1IRSfs>, ColumnWithColumn<32, ippiDiv_32s_C1IRSfs>};

// A constant over the whole buffer: in place on a store of one's own, or from the old store
// into a fresh one.
struct TRunPrimitives {
    TByWidth<TRunInPlace> InPlace;
    TByWidth<TRunInto> Into;
};

constexpr TRunPrimitives KAddValue{
    {RunInPlace<8, ippsAddC_8u_ISfs>, RunInPlace<16, ippsAddC_16s_ISfs>,
     RunInPlace<24, ippsAddC_24s_ISfs>, RunInPlace<32, ippsAddC_32s_ISfs>},
    {RunInto<8, ippsAddC_8u_Sfs>, RunInto<16, ippsAddC_16s_Sfs>, RunInto<24, ippsAddC_24s_Sfs>,
     RunInto<32, ippsAddC_32s_Sfs>}};
constexpr TRunPrimitives KSubtractValue{
    {RunInPlace<8, ippsSubC_8u_ISfs>, RunInPlace<16, ippsSubC_16s_ISfs>,
     RunInPlace<24, ippsSubC_24s_ISfs>, RunInPlace<32, ippsSubC_32s_ISfs>},
    {RunInto<8, ippsSubC_8u_Sfs>, RunInto<16, ippsSubC_16s_Sfs>, RunInto<24, ippsSubC_24s_Sfs>,
     RunInto<32, ippsSubC_32s_Sfs>}};
constexpr TRunPrimitives KMultiplyValue{
    {RunInPlace<8, ippsMulC_8u_ISfs>, RunInPlace<16, ippsMulC_16s_ISfs>,
     RunInPlace<24, ippsMulC_24s_ISfs>, RunInPlace<32, ippsMulC_32s_ISfs>},
    {RunInto<8, ippsMulC_8u_Sfs>, RunInto<16, ippsMulC_16s_Sfs>, RunInto<24, ippsMulC_24s_Sfs>,
     RunInto<32, ippsMulC_32s_Sfs>}};
constexpr TRunPrimitives KDivideValue{
    {RunInPlace<8, ippsDivC_8u_ISfs>, RunInPlace<16, ippsDivC_16s_ISfs>,
     RunInPlace<24, ippsDivC_24s_ISfs>, RunInPlace<32, ippsDivC_32s_ISfs>},
    {RunInto<8, ippsDivC_8u_Sfs>, RunInto<16, ippsDivC_16s_Sfs>, RunInto<24, ippsDivC_24s_Sfs>,
     RunInto<32, ippsDivC_32s_Sfs>}};

// A constant over one channel.
struct TColumnPrimitives {
    TByWidth<TColumnInPlace> InPlace;
    TByWidth<TColumnInto> Into;
};

constexpr TColumnPrimitives KAddChannelValue{
    {ColumnInPlace<8, ippiAddC_8u_C1IRSfs>, ColumnInPlace<16, ippiAddC_16s_C1IRSfs>,
     ColumnInPlace<24, ippiAddC_24s_C1IRSfs>, ColumnInPlace<32, ippiAddC_32s_C1IRSfs>},
    {ColumnIntoWithSteps<8, ippiAddC_8u_C1RSfs>, ColumnIntoWithSteps<16, ippiAddC_16s_C1RSfs>,
     ColumnInto<24, ippiAddC_24s_C1RSfs>, ColumnInto<32, ippiAddC_32s_C1RSfs>}};
constexpr TColumnPrimitives KSubChannelValue{
    {ColumnInPlace<8, ippiSubC_8u_C1IRSfs>, ColumnInPlace<16, ippiSubC_16s_C1IRSfs>,
     ColumnInPlace<24, ippiSubC_24s_C1IRSfs>, ColumnInPlace<32, ippiSubC_32s_C1IRSfs>},
    {ColumnIntoWithSteps<8, ippiSubC_8u_C1RSfs>, ColumnIntoWithSteps<16, ippiSubC_16s_C1RSfs>,
     ColumnInto<24, ippiSubC_24s_C1RSfs>, ColumnInto<32, ippiSubC_32s_C1RSfs>}};
constexpr TColumnPrimitives KMulChannelValue{
    {ColumnInPlace<8, ippiMulC_8u_C1IRSfs>, ColumnInPlace<16, ippiMulC_16s_C1IRSfs>,
     ColumnInPlace<24, ippiMulC_24s_C1IRSfs>, ColumnInPlace<32, ippiMulC_32s_C1IRSfs>},
    {ColumnIntoWithSteps<8, ippiMulC_8u_C1RSfs>, ColumnIntoWithSteps<16, ippiMulC_16s_C1RSfs>,
     ColumnInto<24, ippiMulC_24s_C1RSfs>, ColumnInto<32, ippiMulC_32s_C1RSfs>}};
constexpr TColumnPrimitives KDivChannelValue{
    {ColumnInPlace<8, ippiDivC_8u_C1IRSfs>, ColumnInPlace<16, ippiDivC_16s_C1IRSfs>,
     ColumnInPlace<24, ippiDivC_24s_C1IRSfs>, ColumnInPlace<32, ippiDivC_32s_C1IRSfs>},
    {ColumnIntoWithSteps<8, ippiDivC_8u_C1RSfs>, ColumnIntoWithSteps<16, ippiDivC_16s_C1RSfs>,
     ColumnInto<24, ippiDivC_24s_C1RSfs>, ColumnInto<32, ippiDivC_32s_C1RSfs>}};

constexpr TByWidth<TRunSet> KSetRun{RunSet<8, ippsSet_8u>, RunSet<16, ippsSet_16s>,
                                    RunSet<24, ippsSet_24s>, RunSet<32, ippsSet_32s>};
constexpr TByWidth<TColumnInPlace> KSetColumn{
    ColumnSet<8, ippiSet_8u_C1R>, ColumnSet<16, ippiSet_16s_C1R>, ColumnSet<24, ippiSet_24s_C1R>,
    ColumnSet<32, ippiSet_32s_C1R>};
// 8-bit silence is the biased zero 127, which SetValue(0) writes; there is no zeroing primitive for
// it.
constexpr TByWidth<TRunZero> KZeroRun{nullptr, RunZero<16, ippsZero_16s>, RunZero<24, ippsZero_24s>,
                                      RunZero<32, ippsZero_32s>};
constexpr TByWidth<TRealInPlace> KRealInPlace{
    RealInPlace<8, MultiplyByReal8uI>, RealInPlace<16, MultiplyByReal16sI>,
    RealInPlace<24, MultiplyByReal24sI>, RealInPlace<32, MultiplyByReal32sI>};
constexpr TByWidth<TRealInto> KRealInto{
    RealInto<8, MultiplyByReal8u>, RealInto<16, MultiplyByReal16s>, RealInto<24, MultiplyByReal24s>,
    RealInto<32, MultiplyByReal32s>};

// ---- Widths --------------------------------------------------------------------------------

// The width that arithmetic between two buffers works in: up to 16 valid bits the valid bits
// decide, above them the container.
int32_t CombinedWidth(const ISVAudioBuffer& ABuffer) {
    const int32_t bits = ABuffer.GetBitsPerSample();
    if (bits <= 8)
        return 8;
    if (bits <= 16)
        return 16;
    return ABuffer.GetSampleBitWidth();
}

int32_t SamplesInBuffer(const TSVAudioBuffer& ABuffer, int32_t AWidth) {
    return static_cast<int32_t>(ABuffer.GetByteSize() / static_cast<uint32_t>(AWidth / 8));
}

void CheckChannel(const TSVAudioBuffer& ABuffer, int32_t AChannel) {
    if (AChannel < 0 || AChannel >= ABuffer.GetChannels())
        throw ERangeError(
            FormatMessage("Channel out of range = %u", static_cast<uint32_t>(AChannel)));
}

// ---- Copy-on-write -------------------------------------------------------------------------

bool OwnsStoreAlone(const TSVAudioBuffer& ABuffer) {
    return ABuffer.GetDataContainer()->SingleOwner();
}

// The sharing copy of the copy-avoiding path: a read-only reference that keeps the buffer's
// current store, and so its samples, alive and unchanged while the buffer moves to a fresh
// store of its own (Write) and the primitive writes its result there. The old samples are
// read once and never copied first.
class TSharingCopy {
public:
    explicit TSharingCopy(const TSVAudioBuffer& ABuffer)
        : FStore(ABuffer.GetDataContainer()),
          FSamples(static_cast<const uint8_t*>(ABuffer.Read())) {
        FStore->AddReff(false);
    }
    ~TSharingCopy() { FStore->RemoveReff(false); }
    TSharingCopy(const TSharingCopy&) = delete;
    TSharingCopy& operator=(const TSharingCopy&) = delete;

    const uint8_t* Samples() const noexcept { return FSamples; }

private:
    TQXSmartBuffer* FStore;
    const uint8_t* FSamples;
};

// ---- The drivers ---------------------------------------------------------------------------

// The positions of ASpeaker among the channels of a buffer with AMask and AChannels channels,
// or -1 when the buffer has no column for it.
int32_t ChannelOfSpeaker(TSVSpeakers AMask, int32_t AChannels, TSVSpeaker ASpeaker) {
    if (!AMask.Contains(ASpeaker))
        return -1;
    const int32_t position =
        TSVSpeakers::FromMask(AMask.Mask() & ((uint32_t{1} << ASpeaker) - 1)).Count();
    return position < AChannels ? position : -1;
}

// The speakers of a mask; bits beyond the last speaker stand for none.
int32_t SpeakersIn(TSVSpeakers AMask) {
    return TSVSpeakers::FromMask(AMask.Mask() & ((uint32_t{1} << KSVSpeakerCount) - 1)).Count();
}

// Both buffers carry the same speakers in the same columns, and their frames have no gaps.
bool PairsWholeFrames(const TSVAudioBuffer& ABuffer, const ISVAudioBuffer& AOther,
                      int32_t ASampleBytes) {
    const int32_t channels = ABuffer.GetChannels();
    return AOther.GetChannels() == channels &&
           AOther.GetChannelMask() == ABuffer.GetChannelMask() &&
           SpeakersIn(ABuffer.GetChannelMask()) >= channels &&
           ABuffer.GetDataStep() == channels * ASampleBytes &&
           AOther.GetDataStep() == channels * ASampleBytes;
}

// this <- this op other over the frames both have: a mono other into every channel, otherwise
// channel with channel of the same speaker. Both buffers must have the same sample width: the
// primitives read the other's samples in this buffer's width.
void CombineWith(TSVAudioBuffer& ABuffer, const TRef<ISVAudioBuffer>& AOther,
                 const TByWidth<TColumnWithColumn>& APrimitives) {
    Assert(static_cast<bool>(AOther), KUnitName);
    const int32_t width = CombinedWidth(ABuffer);
    const int32_t index = WidthIndex(width);
    if (index == KUnprocessed)
        return;
    if (CombinedWidth(*AOther) != width)
        throw EArgumentError(FormatMessage("Sample width differs = %d bits, expected %d",
                                           CombinedWidth(*AOther), width));
    const uint32_t rows = std::min(ABuffer.GetSize(), AOther->GetSize());
    if (rows == 0)
        return;
    // This buffer first: when AOther is this buffer, its samples move along.
    auto* target = static_cast<uint8_t*>(ABuffer.Modify());
    const auto* source = static_cast<const uint8_t*>(AOther->Read());
    const TColumnWithColumn combine = APrimitives[index];
    const int32_t bytes = width / 8;
    const IppiSize column{1, static_cast<int32_t>(rows)};
    const int32_t sourceStep = AOther->GetDataStep();
    const int32_t targetStep = ABuffer.GetDataStep();
    if (AOther->GetChannels() == 1) {
        for (int32_t channel = 0; channel < ABuffer.GetChannels(); ++channel)
            combine(source, sourceStep, target + channel * bytes, targetStep, column);
        return;
    }
    if (PairsWholeFrames(ABuffer, *AOther, bytes)) {
        // Every sample meets the sample in the same place: the frames are one run.
        const int32_t samples = static_cast<int32_t>(rows) * ABuffer.GetChannels();
        combine(source, bytes, target, bytes, IppiSize{1, samples});
        return;
    }
    for (TSVSpeaker speaker : SVSpeakerValues) {
        const int32_t from =
            ChannelOfSpeaker(AOther->GetChannelMask(), AOther->GetChannels(), speaker);
        const int32_t into =
            ChannelOfSpeaker(ABuffer.GetChannelMask(), ABuffer.GetChannels(), speaker);
        if (from >= 0 && into >= 0)
            combine(source + from * bytes, sourceStep, target + into * bytes, targetStep, column);
    }
}

void ApplyToRun(TSVAudioBuffer& ABuffer, int32_t AValue, const TRunPrimitives& APrimitives) {
    const int32_t width = ABuffer.GetSampleBitWidth();
    const int32_t index = WidthIndex(width);
    if (index == KUnprocessed)
        return;
    const int32_t length = SamplesInBuffer(ABuffer, width);
    if (length == 0)
        return;
    if (OwnsStoreAlone(ABuffer)) {
        APrimitives.InPlace[index](AValue, static_cast<uint8_t*>(ABuffer.Modify()), length);
        return;
    }
    const TSharingCopy old(ABuffer);
    APrimitives.Into[index](old.Samples(), AValue, static_cast<uint8_t*>(ABuffer.Write()), length);
}

// A channel is only part of every frame: a shared store of several channels is copied whole
// (Modify), because the fresh store needs the other channels' samples anyway, and the channel
// is then worked in place. Only a mono buffer on a shared store takes the copy-avoiding path.
void ApplyToChannel(TSVAudioBuffer& ABuffer, int32_t AChannel, int32_t AValue,
                    const TColumnPrimitives& APrimitives) {
    CheckChannel(ABuffer, AChannel);
    const int32_t width = ABuffer.GetSampleBitWidth();
    const int32_t index = WidthIndex(width);
    const uint32_t rows = ABuffer.GetSize();
    if (index == KUnprocessed || rows == 0)
        return;
    const IppiSize column{1, static_cast<int32_t>(rows)};
    const int32_t step = ABuffer.GetDataStep();
    const int32_t offset = AChannel * (width / 8);
    if (OwnsStoreAlone(ABuffer) || ABuffer.GetChannels() > 1) {
        auto* samples = static_cast<uint8_t*>(ABuffer.Modify());
        APrimitives.InPlace[index](AValue, samples + offset, step, column);
        return;
    }
    const TSharingCopy old(ABuffer);
    auto* target = static_cast<uint8_t*>(ABuffer.Write());
    APrimitives.Into[index](old.Samples() + offset, AValue, target + offset, step, column);
}

// Whether the constant a division hands its primitive (the low byte for 8 bits, the low 16 bits
// for 16 bits) is zero. Such a division leaves the samples as they are at every width: the
// table's primitives refuse a zero divisor, and the library's own 24- and 32-bit ones are
// kept from giving their silence instead.
bool IsZeroDivisor(const TSVAudioBuffer& ABuffer, int32_t AValue) {
    switch (ABuffer.GetSampleBitWidth()) {
    case 8:
        return ValueOf<8>(AValue) == 0;
    case 16:
        return ValueOf<16>(AValue) == 0;
    default:
        return AValue == 0;
    }
}

} // namespace

void TSVAudioBuffer::Add(const TRef<ISVAudioBuffer>& AOther) {
    CheckIntegerSamples("Add");
    CombineWith(*this, AOther, KAddBuffer);
}

void TSVAudioBuffer::Subtract(const TRef<ISVAudioBuffer>& AOther) {
    CheckIntegerSamples("Subtract");
    CombineWith(*this, AOther, KSubtractBuffer);
}

void TSVAudioBuffer::Multiply(const TRef<ISVAudioBuffer>& AOther) {
    CheckIntegerSamples("Multiply");
    CombineWith(*this, AOther, KMultiplyBuffer);
}

void TSVAudioBuffer::Divide(const TRef<ISVAudioBuffer>& AOther) {
    CheckIntegerSamples("Divide");
    CombineWith(*this, AOther, KDivideBuffer);
}

void TSVAudioBuffer::SetValue(int32_t AValue) {
    CheckIntegerSamples("SetValue");
    const int32_t width = GetSampleBitWidth();
    const int32_t index = WidthIndex(width);
    if (index == KUnprocessed)
        return;
    const int32_t length = SamplesInBuffer(*this, width);
    if (length == 0)
        return;
    // 8-bit samples count from their biased zero 127; the sum wraps modulo 256.
    const int32_t value =
        width == 8 ? static_cast<int32_t>(
                         (static_cast<uint32_t>(AValue) + TSVSampleTraits<8>::KBiasedZero) & 0xFFu)
                   : AValue;
    KSetRun[index](value, static_cast<uint8_t*>(Write()), length);
}

void TSVAudioBuffer::AddValue(int32_t AValue) {
    CheckIntegerSamples("AddValue");
    ApplyToRun(*this, AValue, KAddValue);
}

void TSVAudioBuffer::SubtractValue(int32_t AValue) {
    CheckIntegerSamples("SubtractValue");
    ApplyToRun(*this, AValue, KSubtractValue);
}

void TSVAudioBuffer::MultiplyValue(int32_t AValue) {
    CheckIntegerSamples("MultiplyValue");
    ApplyToRun(*this, AValue, KMultiplyValue);
}

void TSVAudioBuffer::DivideValue(int32_t AValue) {
    CheckIntegerSamples("DivideValue");
    if (!IsZeroDivisor(*this, AValue))
        ApplyToRun(*this, AValue, KDivideValue);
}

void TSVAudioBuffer::SetChannelValue(int32_t AChannel, int32_t AValue) {
    CheckIntegerSamples("SetChannelValue");
    CheckChannel(*this, AChannel);
    const int32_t width = GetSampleBitWidth();
    const int32_t index = WidthIndex(width);
    const uint32_t rows = GetSize();
    if (index == KUnprocessed || rows == 0)
        return;
    // The only channel is every sample: its old samples need not be copied.
    auto* samples = static_cast<uint8_t*>(GetChannels() == 1 ? Write() : Modify());
    KSetColumn[index](AValue, samples + AChannel * (width / 8), GetDataStep(),
                      IppiSize{1, static_cast<int32_t>(rows)});
}

void TSVAudioBuffer::AddChannelValue(int32_t AChannel, int32_t AValue) {
    CheckIntegerSamples("AddChannelValue");
    ApplyToChannel(*this, AChannel, AValue, KAddChannelValue);
}

void TSVAudioBuffer::SubChannelValue(int32_t AChannel, int32_t AValue) {
    CheckIntegerSamples("SubChannelValue");
    ApplyToChannel(*this, AChannel, AValue, KSubChannelValue);
}

void TSVAudioBuffer::MulChannelValue(int32_t AChannel, int32_t AValue) {
    CheckIntegerSamples("MulChannelValue");
    ApplyToChannel(*this, AChannel, AValue, KMulChannelValue);
}

void TSVAudioBuffer::DivChannelValue(int32_t AChannel, int32_t AValue) {
    CheckIntegerSamples("DivChannelValue");
    CheckChannel(*this, AChannel);
    if (!IsZeroDivisor(*this, AValue))
        ApplyToChannel(*this, AChannel, AValue, KDivChannelValue);
}

void TSVAudioBuffer::Zero() {
    const int32_t width = GetSampleBitWidth();
    const int32_t index = WidthIndex(width);
    if (index == KUnprocessed)
        return;
    if (width == 8) {
        SetValue(0);
        return;
    }
    const int32_t length = SamplesInBuffer(*this, width);
    if (length > 0)
        KZeroRun[index](static_cast<uint8_t*>(Write()), length);
}

void TSVAudioBuffer::MultiplyByReal(double AValue) {
    if (AValue == 1.0)
        return;
    const int32_t width = GetSampleBitWidth();
    const int32_t index = WidthIndex(width);
    const uint64_t samples =
        uint64_t{GetSize()} * static_cast<uint32_t>(std::max(GetChannels(), 0));
    if (index == KUnprocessed || samples == 0)
        return;
    if (IsFloat()) {
        SVScaleFloat(static_cast<float*>(Modify()), samples, static_cast<float>(AValue));
        return;
    }
    // Every sample of the buffer as one run, one sample apart.
    const IppiSize run{1, static_cast<int32_t>(samples)};
    const int32_t step = width / 8;
    if (OwnsStoreAlone(*this)) {
        KRealInPlace[index](AValue, static_cast<uint8_t*>(Modify()), step, run);
        return;
    }
    const TSharingCopy old(*this);
    KRealInto[index](AValue, old.Samples(), static_cast<uint8_t*>(Write()), step, run);
}

} // namespace sonvera
