#include "sonvera/components/SVCommonSplitter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "internal/KernelLevel.h"

namespace sonvera {

namespace {

template <class T> T Load(const uint8_t* ASource) noexcept {
    T value;
    std::memcpy(&value, ASource, sizeof(value));
    return value;
}

int32_t SignExtend24(uint32_t AValue) noexcept {
    return static_cast<int32_t>(AValue << 8) >> 8;
}

// One sample of each width as a signed number. 8-bit samples are unsigned bytes whose zero
// level is 127, so that 255 is exactly +128 and normalises to 1.0.
struct TRead8 {
    static constexpr uint32_t KBytes = 1;
    static int32_t At(const uint8_t* ASource) noexcept { return int32_t{ASource[0]} - 127; }
};
struct TRead16 {
    static constexpr uint32_t KBytes = 2;
    static int32_t At(const uint8_t* ASource) noexcept { return Load<int16_t>(ASource); }
};
struct TRead24 {
    static int32_t At(const uint8_t* ASource) noexcept {
        return SignExtend24(ASource[0] | ASource[1] << 8 | ASource[2] << 16);
    }
};
// A 24-bit sample read as the 32-bit word it starts, whose top byte belongs to the next one:
// one load instead of three. The caller keeps the word inside the samples.
struct TRead24Word {
    static int32_t At(const uint8_t* ASource) noexcept {
        return SignExtend24(Load<uint32_t>(ASource));
    }
};
// Stereo 24-bit frames read as three 16-bit words, which the compiler vectorises where it
// cannot vectorise loads at odd steps: the left sample is the first word and the low byte of
// the second, the right one the high byte of the second and the third word. Both stay inside
// their frame.
struct TRead24Left {
    static int32_t At(const uint8_t* AFrame) noexcept {
        return SignExtend24(Load<uint16_t>(AFrame) | (Load<uint16_t>(AFrame + 2) & 0xFF) << 16);
    }
};
struct TRead24Right {
    static int32_t At(const uint8_t* AFrame) noexcept {
        return SignExtend24(Load<uint16_t>(AFrame + 2) >> 8 | Load<uint16_t>(AFrame + 4) << 8);
    }
};
struct TRead32 {
    static constexpr uint32_t KBytes = 4;
    static int32_t At(const uint8_t* ASource) noexcept { return Load<int32_t>(ASource); }
};

template <class TRead, uint32_t VStep>
[[gnu::always_inline]] inline void StripFixedStep(const uint8_t* ASource, double* ATarget,
                                                  uint32_t ACount, double AScale) {
    for (uint32_t i = 0; i < ACount; ++i)
        ATarget[i] = TRead::At(ASource + size_t{i} * VStep) * AScale;
}

template <class TRead>
[[gnu::always_inline]] inline void StripAnyStep(const uint8_t* ASource, uint32_t AStep,
                                                double* ATarget, uint32_t ACount, double AScale) {
    for (uint32_t i = 0; i < ACount; ++i, ASource += AStep)
        ATarget[i] = TRead::At(ASource) * AScale;
}

// Mono and stereo, the layouts nearly every stream has, get loops whose step the compiler
// knows, so that it can vectorise the gather.
template <class TRead>
[[gnu::always_inline]] inline void StripSamples(const uint8_t* ASource, uint32_t AStep,
                                                double* ATarget, uint32_t ACount, double AScale) {
    if (AStep == TRead::KBytes)
        return StripFixedStep<TRead, TRead::KBytes>(ASource, ATarget, ACount, AScale);
    if (AStep == 2 * TRead::KBytes)
        return StripFixedStep<TRead, 2 * TRead::KBytes>(ASource, ATarget, ACount, AScale);
    StripAnyStep<TRead>(ASource, AStep, ATarget, ACount, AScale);
}

// Each kernel reads ACount samples of one channel, AColumn bytes into each frame of AStep bytes,
// at the instruction-set level chosen for the hot loops.
void Strip8(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, double* ATarget,
            uint32_t ACount, double AScale) {
    RunAtKernelLevel([&]<TKernelLevel>() {
        StripSamples<TRead8>(AFrames + AColumn, AStep, ATarget, ACount, AScale);
    });
}

void Strip16(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, double* ATarget,
             uint32_t ACount, double AScale) {
    RunAtKernelLevel([&]<TKernelLevel>() {
        StripSamples<TRead16>(AFrames + AColumn, AStep, ATarget, ACount, AScale);
    });
}

[[gnu::always_inline]] inline void Strip24Samples(const uint8_t* AFrames, uint32_t AColumn,
                                                  uint32_t AStep, double* ATarget, uint32_t ACount,
                                                  double AScale) {
    if (AStep == 6 && AColumn == 0)
        return StripFixedStep<TRead24Left, 6>(AFrames, ATarget, ACount, AScale);
    if (AStep == 6 && AColumn == 3)
        return StripFixedStep<TRead24Right, 6>(AFrames, ATarget, ACount, AScale);
    const uint8_t* source = AFrames + AColumn;
    if (AStep == 3)
        return StripFixedStep<TRead24, 3>(source, ATarget, ACount, AScale);
    // Words, but the last sample by its three bytes: its word could reach past the samples.
    if (ACount == 0)
        return;
    StripAnyStep<TRead24Word>(source, AStep, ATarget, ACount - 1, AScale);
    ATarget[ACount - 1] = TRead24::At(source + size_t{ACount - 1} * AStep) * AScale;
}

void Strip24(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, double* ATarget,
             uint32_t ACount, double AScale) {
    RunAtKernelLevel(
        [&]<TKernelLevel>() { Strip24Samples(AFrames, AColumn, AStep, ATarget, ACount, AScale); });
}

void Strip32(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, double* ATarget,
             uint32_t ACount, double AScale) {
    RunAtKernelLevel([&]<TKernelLevel>() {
        StripSamples<TRead32>(AFrames + AColumn, AStep, ATarget, ACount, AScale);
    });
}

using TStripOperation = void (TSVBasicCommonSplitter::*)(int32_t, TRef<ISVAudioBuffer>&);

} // namespace

// --- TSVBasicCommonSplitter ------------------------------------------------------------------

TSVBasicCommonSplitter::TSVBasicCommonSplitter(TPersistent* AOwner) : TLockComponent(AOwner) {
    FInputPin = std::make_unique<TSVPXAudioSinkPin>(
        this, nullptr, GetLock(),
        [this](TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
               const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
            return SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
        });
}

TSVBasicCommonSplitter::~TSVBasicCommonSplitter() {
    FInputPin.reset();
    FOutputPins.Clear();
}

TPXDispatchHandler TSVBasicCommonSplitter::SourceDispatchHandler() {
    return [this](TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                  const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
        return SourceDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
    };
}

bool TSVBasicCommonSplitter::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                          const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    if (const auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        AudioStreamStart(&start->GetWaveFormat());
    } else if (OperationAs<TPXStopOperation>(AOperation)) {
        Stop();
    } else if (OperationAs<TPXQXResumeOperation>(AOperation)) {
        Resume();
    } else if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateUniversal(supplied->GetData());
        Process(buffer);
    }
    return false;
}

bool TSVBasicCommonSplitter::SourceDispatch(TPXPin* AReceiving, TPXPin* AOther,
                                            const TGUID& AStreamId,
                                            const TRef<IPXNotifyOperation>& AOperation,
                                            uint32_t AState) {
    if (OperationAs<TPXQueryStreamOperation>(AOperation)) {
        bool beyondStream;
        {
            TChangeNotifyLockGuard guard(*GetLock());
            beyondStream = FOutputPins.IndexOf(AReceiving) >= FWaveFormat.Format.nChannels;
        }
        if (beyondStream) {
            AReceiving->Notify(TPXIgnoreStreamOperation::Create(), AState);
            return false;
        }
    }
    if (FInputPin->IsConnected())
        return FInputPin->Notify(AOperation, AState);
    return SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
}

void TSVBasicCommonSplitter::AudioStreamStart(const TSVWaveFormatExtensible* AFormat) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!AFormat)
        return;
    FWaveFormat = *AFormat;
    OperationDispatch(TPXStartSampleRateOperation::Create(FWaveFormat.Format.nSamplesPerSec));
}

void TSVBasicCommonSplitter::Stop() {
    OperationDispatch(TPXStopOperation::Create());
}

void TSVBasicCommonSplitter::Resume() {
    OperationDispatch(TPXQXResumeOperation::Create());
}

void TSVBasicCommonSplitter::OperationDispatch(const TRef<IPXNotifyOperation>& AOperation) {
    TChangeNotifyLockGuard guard(*GetLock());
    FOutputPins.Notify(AOperation);
}

void TSVBasicCommonSplitter::Process(TRef<ISVAudioBuffer>& ABuffer) {
    TChangeNotifyLockGuard guard(*GetLock());
    TStripOperation strip = nullptr;
    switch (FWaveFormat.Format.wBitsPerSample) {
    case 8:
        strip = &TSVBasicCommonSplitter::Strip8Bits;
        break;
    case 16:
        strip = &TSVBasicCommonSplitter::Strip16Bits;
        break;
    case 24:
        strip = &TSVBasicCommonSplitter::Strip24Bits;
        break;
    case 32:
        strip = &TSVBasicCommonSplitter::Strip32Bits;
        break;
    default:
        return;
    }
    const auto channels =
        std::min<int32_t>(FWaveFormat.Format.nChannels, static_cast<int32_t>(FOutputPins.Count()));
    for (int32_t channel = 0; channel < channels; ++channel)
        if (HasChannelEvent(channel) || FOutputPins.Items(channel)->IsConnected())
            (this->*strip)(channel, ABuffer);
}

bool TSVBasicCommonSplitter::HasChannelEvent(int32_t) {
    return false;
}

bool TSVBasicCommonSplitter::GetNormalize() const {
    return false;
}

void TSVBasicCommonSplitter::Strip8Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, Strip8, 1, 128.0);
}

void TSVBasicCommonSplitter::Strip16Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, Strip16, 2, 32768.0);
}

void TSVBasicCommonSplitter::Strip24Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, Strip24, 3, 8388608.0);
}

void TSVBasicCommonSplitter::Strip32Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, Strip32, 4, 2147483648.0);
}

void TSVBasicCommonSplitter::StripChannel(int32_t AChannel, const TRef<ISVAudioBuffer>& ABuffer,
                                          TStripKernel AKernel, uint32_t ABytes, double ADivisor) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!ABuffer || AChannel < 0)
        return;
    const uint32_t step = FWaveFormat.Format.nBlockAlign;
    const uint64_t column =
        uint64_t{FWaveFormat.Format.wBitsPerSample / 8u} * static_cast<uint32_t>(AChannel);
    if (column + ABytes > step)
        return;
    const uint32_t frames = ABuffer->GetByteSize() / step;
    const TRef<TQXRealBuffer> values = TQXRealBuffer::CreateSizeObject(frames);
    // The divisors are powers of two, so multiplying by their inverse is exact.
    const double scale = GetNormalize() ? 1.0 / ADivisor : 1.0;
    AKernel(static_cast<const uint8_t*>(ABuffer->Read()), static_cast<uint32_t>(column), step,
            values->Write(), frames, scale);
    SplitBuffer(AChannel, values);
}

void TSVBasicCommonSplitter::SplitBuffer(int32_t, const TRef<IQXRealBuffer>&) {}

// --- TSVCommonSplitter -----------------------------------------------------------------------

const TPropertyTableBase& TSVCommonSplitter::ClassPropertyTable() {
    using T = TSVCommonSplitter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVCommonSplitter", TLockComponent::ClassPropertyTable())
            .Integer("CountChannels", KDefaultChannels, &T::GetCountChannels, &T::SetCountChannels);
    return table;
}

int32_t TSVCommonSplitter::GetCountChannels() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return static_cast<int32_t>(GetOutputPins()->Count());
}

void TSVCommonSplitter::SetCountChannels(int32_t ACount) {
    const auto count = static_cast<uint32_t>(std::clamp(ACount, KMinChannels, KMaxChannels));
    TPXPinList& pins = *GetOutputPins();
    // Declared before the guard, so destroyed after it: surplus pins go outside the lock.
    // Reserved, so that keeping a pin for later never fails.
    std::vector<std::unique_ptr<TPXPin>> surplus;
    surplus.reserve(KMaxChannels);
    TChangeNotifyLockGuard guard(*GetLock());
    const uint32_t before = pins.Count();
    if (count == before)
        return;
    const TPropertyChange change(this, "CountChannels");
    while (pins.Count() > count)
        surplus.push_back(pins.Extract(pins.Count() - 1));
    try {
        while (pins.Count() < count)
            CreateSourcePin(pins.PinListAddSetter())->AddDependency(GetInputPin());
    } catch (...) {
        while (pins.Count() > before)
            surplus.push_back(pins.Extract(pins.Count() - 1));
        throw;
    }
    change.Done();
    NotifyProp();
}

void TSVCommonSplitter::AfterConstruction() {
    SetCountChannels(KDefaultChannels);
}

} // namespace sonvera
