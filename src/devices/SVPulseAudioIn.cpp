#include "sonvera/devices/SVPulseAudioIn.h"

#include <cmath>

#include "sonvera/components/Categories.h"
#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

namespace {

// A week of recording; beyond it Duration is no limit anyone means.
constexpr double KMaxDuration = 7 * 24 * 3600.0;

} // namespace

TSVPulseAudioIn::TSVPulseAudioIn(TPersistent* AOwner) : TSVPulseComponent(AOwner, "Recording") {
    FAudioFormat = std::make_unique<TSVAudioFormat>(
        [this](TPersistent* ASender) { DoFormatChange(ASender); }, this, GetLock());
    FAudioFormat->SetSampleRate(KDefaultSampleRate);
}

TSVPulseAudioIn::~TSVPulseAudioIn() {
    Stop(); // the clock first: a tick reads through the stream
    TChangeNotifyLockGuard guard(*GetLock());
    Close();
}

const TClassInfo& TSVPulseAudioIn::ClassInfo() {
    static const TClassInfo info{
        .ClassName = "TSVPulseAudioIn",
        .Category = &TSonveraInputToolbarCategory::ClassInfo(),
        .ShortName = "audio-in",
        .Description = "Records audio from a source of the sound server, on the device's clock"};
    return info;
}

const TPropertyTableBase& TSVPulseAudioIn::ClassPropertyTable() {
    using T = TSVPulseAudioIn;
    static const TPropertyTable<T> table =
        WithSettings(TPropertyTable<T>("TSVPulseAudioIn", TSVStreamSource::ClassPropertyTable()),
                     "Recording")
            .Double("Duration", 0, &T::GetDuration, &T::SetDuration)
            .Object("AudioFormat", [](const T& AIn) { return AIn.GetAudioFormat(); });
    return table;
}

void TSVPulseAudioIn::SetDuration(double AValue) {
    SetBoundedPropValue("Duration", FDuration, AValue, 0.0, KMaxDuration);
}

void TSVPulseAudioIn::DoFormatChange(TPersistent*) {
    Unprepare();
}

double TSVPulseAudioIn::GetGrantedLatency() const {
    const std::shared_ptr<TSVPulseStream> stream = FStream.load();
    TChangeNotifyLockGuard guard(*GetLock());
    return stream ? stream->GetGrantedLatency() : FGrantedLatency;
}

double TSVPulseAudioIn::GetMeasuredLatency() const {
    const std::shared_ptr<TSVPulseStream> stream = FStream.load();
    TChangeNotifyLockGuard guard(*GetLock());
    return stream ? stream->GetMeasuredLatency() : FMeasuredLatency;
}

void TSVPulseAudioIn::Finish() {
    FFinishing = true;
    if (const std::shared_ptr<TSVPulseStream> stream = FStream.load())
        stream->Finish();
}

TSVWaveFormatExtensible TSVPulseAudioIn::OpenStream() {
    const TSVWaveFormatExtensible format = *FAudioFormat->GetWaveFormat();
    FOverruns = 0;
    FFinishing = false;
    FGrantedLatency = FMeasuredLatency = 0;
    FStream = std::make_shared<TSVPulseStream>(TSVPulseStream::sdRecord, FSettings, format,
                                               [this](uint64_t ACount) { TellOverrun(ACount); });
    FFormat = format;
    FFramesLeft = FDuration > 0 ? std::llround(FDuration * format.Format.nSamplesPerSec) : -1;
    return format;
}

TRef<ISVAudioBuffer> TSVPulseAudioIn::ReadBuffer() {
    const std::shared_ptr<TSVPulseStream> stream = FStream.load();
    if (!stream || FFramesLeft == 0 || FFinishing)
        return nullptr;
    int64_t frames = FAudioFormat->GetBufferSize();
    if (FFramesLeft > 0)
        frames = std::min(frames, FFramesLeft);
    const TSVWaveFormatExtensible& format = FFormat;
    const TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSizeEx(
        format.Format.nSamplesPerSec, format.Samples.wValidBitsPerSample, format.Format.nChannels,
        static_cast<int32_t>(frames), TSVSpeakers::FromMask(format.dwChannelMask));
    const size_t step = static_cast<size_t>(buffer->GetDataStep());
    const size_t read =
        stream->Read(static_cast<uint8_t*>(buffer->Write()), static_cast<size_t>(frames) * step) /
        step;
    if (read == 0)
        return nullptr; // finished with nothing left
    if (read < static_cast<size_t>(frames))
        buffer->Resize(static_cast<uint32_t>(read), true);
    if (FFramesLeft > 0)
        FFramesLeft -= static_cast<int64_t>(read);
    return buffer;
}

void TSVPulseAudioIn::CloseStream() {
    const std::shared_ptr<TSVPulseStream> stream = FStream.exchange(nullptr);
    if (!stream)
        return;
    FGrantedLatency = stream->GetGrantedLatency();
    FMeasuredLatency = stream->GetMeasuredLatency();
}

void TSVPulseAudioIn::TellOverrun(uint64_t ACount) {
    FOverruns = ACount;
    PostCount(OnOverrun, ACount);
}

} // namespace sonvera
