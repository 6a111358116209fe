#include "sonvera/components/SVCommonGen.h"

#include <algorithm>
#include <cmath>

#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera {

TSVCommonGen::TSVCommonGen(TPersistent* AOwner) : TQXBasicCommonGen(AOwner) {
    FAudioFormat = std::make_unique<TSVAudioFormat>(
        [this](TPersistent* ASender) { DoFormatChange(ASender); }, this, GetLock());
    FOutputPin = std::make_unique<TSVPXAudioSourcePin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVCommonGen::DispatchOperation));
    FOutputPin->AddDependency(GetClockInputPin());
    FIntVarBuffer = TQXBlockBuffer::CreateSize(2 * FAudioFormat->GetBufferSize());
}

TSVCommonGen::~TSVCommonGen() {
    // The clock first: a tick uses the pin and the format.
    Stop();
    FOutputPin.reset();
}

const TPropertyTableBase& TSVCommonGen::ClassPropertyTable() {
    using T = TSVCommonGen;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVCommonGen", TLockComponent::ClassPropertyTable())
            .Object("AudioFormat", [](const T& AGen) { return AGen.GetAudioFormat(); });
    return table;
}

void TSVCommonGen::SetAudioFormat(const TSVAudioFormat& AFormat) {
    FAudioFormat->Assign(AFormat);
}

int64_t TSVCommonGen::PumpInterval(double ASampleRate, uint32_t ABufferSize) {
    const long double buffersPerSecond =
        static_cast<long double>(ASampleRate) / static_cast<long double>(ABufferSize);
    const long double interval = static_cast<long double>(9999999.0f) / buffersPerSecond;
    if (!std::isfinite(interval) || interval < 1 || interval > 9.0e18L)
        return 0;
    return std::llrint(interval); // the default rounding: to nearest, ties to even
}

bool TSVCommonGen::NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) {
    return FOutputPin->Notify(AOperation);
}

void TSVCommonGen::IntStartStream() {
    FEnded = false;
    StartStream(static_cast<int32_t>(GetBufferSize()));
    SetRate(GetSampleRate());
    AnnounceStream(TPXStartWaveOperation::Create(FAudioFormat->GetWaveFormat(), false));
}

void TSVCommonGen::StartPump() {
    if (!GetPump() || IsExternalClock() || GetPumpClock())
        return;
    const int64_t interval = PumpInterval(GetSampleRate(), GetBufferSize());
    if (interval == 0)
        return; // no rate: nothing to pace
    SetPumpClock(std::make_unique<TQXClockGen>(
        this, interval, [this] { IntPump(); }, GetTimeSource()));
}

uint32_t TSVCommonGen::GetBufferSize() {
    return FAudioFormat->GetBufferSize();
}

double TSVCommonGen::GetSampleRate() {
    return FAudioFormat->GetSampleRate();
}

void TSVCommonGen::IntPump() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!IsGenerating())
        return;
    // The record is read once: the lock is held, so it is whole and stays so during the tick.
    const TSVWaveFormatExtensible& format = *FAudioFormat->GetWaveFormat();
    TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSizeEx(
        static_cast<int32_t>(format.Format.nSamplesPerSec), format.Samples.wValidBitsPerSample,
        format.Format.nChannels, static_cast<int32_t>(FAudioFormat->GetBufferSize()),
        TSVSpeakers::FromMask(format.dwChannelMask));
    bool send = true;
    bool stop = false;
    GenerateBuffer(buffer, send, stop);
    if (buffer) {
        buffer->GetTimeStamp()->SetAvailable(false);
        if (send)
            FOutputPin->SubmitBuffer(buffer);
    }
    if (stop) {
        FEnded = true;
        PostStop();
    }
}

TRef<IPXNotifyOperation> TSVCommonGen::IntStopStream() {
    if (FEnded.exchange(false))
        return TPXEndStopOperation::Create();
    return TPXStopOperation::Create();
}

void TSVCommonGen::StartStream(int32_t) {}

void TSVCommonGen::PopulateAudio(const TRef<IQXBlockBuffer>& ABlock,
                                 TRef<ISVAudioBuffer>& ABuffer) {
    const int32_t width = ABuffer->GetSampleBitWidth();
    const int32_t step = ABuffer->GetDataStep();
    const int32_t frames = static_cast<int32_t>(
        std::min<uint32_t>(ABuffer->GetSize(), ABlock->GetByteSize() / sizeof(int16_t)));
    const auto* source = reinterpret_cast<const Ipp16s*>(ABlock->Read());
    auto* samples = static_cast<uint8_t*>(ABuffer->Write());
    // Every channel of the configured format, as far as the buffer has them (a subclass may
    // have handed over a buffer of its own).
    const int32_t channels = std::min<int32_t>(
        static_cast<int32_t>(FAudioFormat->GetCountChannels()), ABuffer->GetChannels());
    for (int32_t channel = 0; channel < channels; ++channel) {
        uint8_t* destination = samples + channel * width / 8;
        if (width == 16)
            ippiCopy_16s_C1R(source, sizeof(Ipp16s), reinterpret_cast<Ipp16s*>(destination), step,
                             {1, frames});
        else
            ConvertBits(source, 16, sizeof(Ipp16s), destination, width, step, frames);
    }
}

void TSVCommonGen::DoFormatChange(TPersistent*) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FAudioFormat)
        FIntVarBuffer = TQXBlockBuffer::CreateSize(2 * FAudioFormat->GetBufferSize());
}

} // namespace sonvera
