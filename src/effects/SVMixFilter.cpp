#include "sonvera/effects/SVMixFilter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <limits>

#include "sonvera/buffers/SVFloatFrames.h"
#include "sonvera/effects/SVEffectFilter.h"
#include "sonvera/primitives/SVFloatKernels.h"

namespace sonvera {

namespace {

constexpr uint64_t KNoLimit = std::numeric_limits<uint64_t>::max();
// Beyond any gain that makes sense; a typing error otherwise.
constexpr double KMinGainDB = -200, KMaxGainDB = 60;
// How far an input may run ahead of the slowest running one before its thread waits, and how
// long it waits for the others to move before it goes on regardless.
constexpr uint64_t KMaxLeadSeconds = 1;
constexpr auto KStallWait = std::chrono::milliseconds(50);

std::string Describe(const TSVWaveFormatExtensible& AFormat) {
    return FormatMessage("%u Hz, %u channel(s)", unsigned{AFormat.Format.nSamplesPerSec},
                         unsigned{AFormat.Format.nChannels});
}

} // namespace

std::vector<double> SVParseMixGains(const std::string& AText, size_t AMax) {
    std::string text = AText;
    std::replace(text.begin(), text.end(), ',', ' ');
    std::vector<double> gains;
    size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        const size_t end = std::min(text.find(' ', at), text.size());
        std::string word = text.substr(at, end - at);
        at = end;
        if (word.size() > 2 && std::tolower(static_cast<unsigned char>(word.back())) == 'b' &&
            std::tolower(static_cast<unsigned char>(word[word.size() - 2])) == 'd')
            word.resize(word.size() - 2);
        char* stop = nullptr;
        const double gain = std::strtod(word.c_str(), &stop);
        if (word.empty() || *stop != '\0' || !(gain >= KMinGainDB && gain <= KMaxGainDB))
            throw EArgumentError(FormatMessage("mix: gain '%s' is not a number of dB from %g to %g",
                                               word.c_str(), KMinGainDB, KMaxGainDB));
        if (gains.size() == AMax)
            throw EArgumentError(FormatMessage("mix: more than %zu gains", AMax));
        gains.push_back(gain);
    }
    return gains;
}

TSVMixFilter::TSVMixFilter(TPersistent* AOwner) : TLockComponent(AOwner) {
    FOutputPin = std::make_unique<TSVPXAudioSourcePin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVMixFilter::SourceDispatch));
    SetInputs(KMinInputs);
}

TSVMixFilter::~TSVMixFilter() {
    FInputPins.clear();
    FOutputPin.reset();
}

const TClassInfo& TSVMixFilter::ClassInfo() {
    static const TClassInfo info = SVEffectClassInfo(
        "TSVMixFilter", "mix", "Mixes several inputs into one, aligned by time, each with a gain");
    return info;
}

const TPropertyTableBase& TSVMixFilter::ClassPropertyTable() {
    using T = TSVMixFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVMixFilter", TLockComponent::ClassPropertyTable())
            .Integer("Inputs", KMinInputs, &T::GetInputs, &T::SetInputs)
            .About("the number of input pins, 2 to 16 (NAME.N in chain text feeds input N)")
            .CountsPins(ppInputs)
            .String("Gains", "", &T::GetGains, &T::SetGains)
            .About("each input's gain in dB, in pin order (\"0 -6\"); 0 dB where none is given")
            .Boolean("Shortest", false, &T::GetShortest, &T::SetShortest)
            .About("end with the shortest input instead of the longest");
    return table;
}

int32_t TSVMixFilter::GetInputs() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return static_cast<int32_t>(FInputPins.size());
}

void TSVMixFilter::SetInputs(int32_t AValue) {
    // Refused rather than clamped: a chain that asks for input 20 is told to set inputs=21,
    // and must then hear that 16 is the most there can be.
    if (AValue < KMinInputs || AValue > KMaxInputs)
        throw EArgumentError(
            FormatMessage("Inputs out of range = %d (%d to %d)", AValue, KMinInputs, KMaxInputs));
    const auto count = static_cast<size_t>(AValue);
    // Declared before the guard, so destroyed after it: pins go outside the lock.
    std::vector<std::unique_ptr<TSVPXAudioSinkPin>> surplus;
    TChangeNotifyLockGuard guard(*GetLock());
    if (count == FInputPins.size())
        return;
    if (FStreaming)
        throw EArgumentError("mix: the number of inputs cannot change while a stream runs");
    const TPropertyChange change(this, "Inputs");
    while (FInputPins.size() > count) {
        surplus.push_back(std::move(FInputPins.back()));
        FInputPins.pop_back();
    }
    while (FInputPins.size() < count) {
        const auto input = static_cast<uint32_t>(FInputPins.size());
        FInputPins.push_back(std::make_unique<TSVPXAudioSinkPin>(
            this, nullptr, GetLock(),
            [this, input](TPXPin*, TPXPin*, const TGUID&,
                          const TRef<IPXNotifyOperation>& AOperation,
                          uint32_t AState) { return SinkDispatch(input, AOperation, AState); }));
        FOutputPin->AddDependency(FInputPins.back().get());
    }
    change.Done();
    NotifyProp();
}

void TSVMixFilter::SetGains(const std::string& AValue) {
    std::vector<double> gains = SVParseMixGains(AValue, KMaxInputs);
    SetPropValue("Gains", FGains, AValue, [&] { FGainsDB = std::move(gains); });
}

TSVPXAudioSinkPin* TSVMixFilter::GetInputPin(uint32_t AIndex) const {
    TChangeNotifyLockGuard guard(*GetLock());
    return AIndex < FInputPins.size() ? FInputPins[AIndex].get() : nullptr;
}

std::string TSVMixFilter::GetError() const {
    const std::lock_guard lock(FStreamLock);
    return FError;
}

TSVMixFilter::TSettings TSVMixFilter::ReadSettings() const {
    TChangeNotifyLockGuard guard(*GetLock());
    TSettings settings;
    settings.Inputs = FInputPins.size();
    settings.Shortest = FShortest;
    const size_t given = FGainsDB.size();
    if (given > settings.Inputs)
        throw EArgumentError(
            FormatMessage("mix: %zu gains for %zu inputs", given, settings.Inputs));
    settings.Gains = GainFactors(settings.Inputs);
    return settings;
}

std::vector<float> TSVMixFilter::GainFactors(size_t AInputs) const {
    TChangeNotifyLockGuard guard(*GetLock());
    std::vector<float> factors(AInputs, 1.0f);
    for (size_t i = 0; i < std::min(AInputs, FGainsDB.size()); ++i)
        factors[i] = static_cast<float>(std::pow(10.0, FGainsDB[i] / 20));
    return factors;
}

bool TSVMixFilter::SinkDispatch(uint32_t AInput, const TRef<IPXNotifyOperation>& AOperation,
                                uint32_t AState) {
    std::vector<uint32_t> toStop;
    if (const auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        InputStart(AInput, start->GetWaveFormat());
    } else if (OperationAs<TPXStopOperation>(AOperation)) {
        toStop = InputStop(AInput, OperationAs<TPXEndStopOperation>(AOperation) != nullptr);
    } else if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        toStop = InputBuffer(AInput, IntfCast<ISVAudioBuffer>(supplied->GetData()));
    } else if (OperationAs<TPXPumpRequestOperation>(AOperation) ||
               OperationAs<TPXStartPumpOperation>(AOperation)) {
        return FOutputPin->Notify(AOperation, AState);
    }
    // Outside FStreamLock: the stop travels up through the inputs' own chains.
    for (const uint32_t input : toStop)
        if (TSVPXAudioSinkPin* pin = GetInputPin(input))
            pin->Notify(TPXStopOperation::Create());
    return false;
}

bool TSVMixFilter::SourceDispatch(TPXPin*, TPXPin*, const TGUID&,
                                  const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    std::vector<TSVPXAudioSinkPin*> connected;
    for (uint32_t i = 0; TSVPXAudioSinkPin* pin = GetInputPin(i); ++i)
        if (pin->IsConnected())
            connected.push_back(pin);
    if (connected.empty() && OperationAs<TPXQueryStreamOperation>(AOperation))
        return FOutputPin->Notify(TPXIgnoreStreamOperation::Create(), AState);
    bool answered = false;
    for (TSVPXAudioSinkPin* pin : connected)
        answered = pin->Notify(AOperation, AState) || answered;
    return answered;
}

void TSVMixFilter::InputStart(uint32_t AInput, const TSVWaveFormatExtensible& AFormat) {
    TSettings settings = ReadSettings();
    const TSVWaveFormatExtensible format = SVFloatFormatOf(AFormat);
    const std::lock_guard lock(FStreamLock);
    if (!FStreaming) {
        StartMix(format, std::move(settings));
    } else if (FFinished) {
        return; // the stream has ended; it goes on once every input has stopped
    } else if (format.Format.nSamplesPerSec != FFormat.Format.nSamplesPerSec ||
               format.Format.nChannels != FFormat.Format.nChannels) {
        Refuse(AInput, FormatMessage("mix: input %u runs at %s, the mix at %s (resample or "
                                     "remix it first)",
                                     AInput, Describe(format).c_str(), Describe(FFormat).c_str()));
    }
    if (FInputs[AInput].State == isIdle)
        FInputs[AInput].State = isRunning;
}

void TSVMixFilter::StartMix(const TSVWaveFormatExtensible& AFormat, TSettings ASettings) {
    Forget();
    FFormat = AFormat;
    FSettings = std::move(ASettings);
    FClock.Restart(AFormat.Format.nSamplesPerSec);
    FError.clear();
    FStreaming = true;
    FOutputPin->Notify(TPXStartWaveOperation::Create(&FFormat, false));
}

void TSVMixFilter::Refuse(uint32_t AInput, const std::string& AMessage) {
    FInputs[AInput].State = isAbsent; // so that it holds back none of the others
    FInputs[AInput].Segments.clear();
    FError = AMessage;
    throw EArgumentError(AMessage);
}

std::vector<uint32_t> TSVMixFilter::InputBuffer(uint32_t AInput,
                                                const TRef<ISVAudioBuffer>& ABuffer) {
    const TRef<ISVAudioBuffer> floats = TSVEffectFilter::FloatBufferOf(ABuffer);
    std::unique_lock lock(FStreamLock);
    TInput& input = FInputs[AInput];
    if (!FStreaming || FFinished || input.State != isRunning)
        return {};
    if (int64_t{floats->GetChannels()} != FFormat.Format.nChannels ||
        int64_t{floats->GetSamplesPerSecond()} != FFormat.Format.nSamplesPerSec)
        Refuse(AInput, FormatMessage("mix: input %u sent a buffer of %d Hz, %d channel(s) into "
                                     "a mix at %s",
                                     AInput, floats->GetSamplesPerSecond(), floats->GetChannels(),
                                     Describe(FFormat).c_str()));
    uint64_t first = input.Next;
    const TRef<IRVTimeStamp> stamp = floats->GetTimeStamp();
    if (stamp->GetAvailable()) {
        const int64_t at =
            SVUnitsToFrames(std::max<int64_t>(stamp->GetBegin(), 0), FFormat.Format.nSamplesPerSec);
        first = std::max(first, static_cast<uint64_t>(at)); // overlaps are not mixed twice
    }
    if (floats->GetSize() > 0) {
        input.Segments.push_back({first, floats, 0});
        input.Next = first + floats->GetSize();
    }
    ++FProgress;
    std::vector<uint32_t> toStop = Advance();
    WaitWhileAhead(lock, AInput);
    return toStop;
}

void TSVMixFilter::WaitWhileAhead(std::unique_lock<std::mutex>& ALock, uint32_t AInput) {
    const auto ahead = [&] {
        if (!FStreaming || FFinished || FInputs[AInput].State != isRunning)
            return false;
        uint64_t behind = KNoLimit;
        for (size_t i = 0; i < FSettings.Inputs; ++i)
            if (i != AInput && FInputs[i].State == isRunning)
                behind = std::min(behind, FInputs[i].Next);
        return behind != KNoLimit && FInputs[AInput].Next - std::min(behind, FInputs[AInput].Next) >
                                         uint64_t{FFormat.Format.nSamplesPerSec} * KMaxLeadSeconds;
    };
    while (ahead()) {
        const uint64_t progress = FProgress;
        if (!FProgressed.wait_for(ALock, KStallWait, [&] { return FProgress != progress; }))
            return; // the other input stalls (it may wait for this thread): hold instead
    }
}

std::vector<uint32_t> TSVMixFilter::InputStop(uint32_t AInput, bool AEndStop) {
    const std::lock_guard lock(FStreamLock);
    if (!FStreaming)
        return {};
    TInput& input = FInputs[AInput];
    // An input that stops without having started counts as absent; a second stop changes nothing.
    if (input.State == isRunning) {
        input.State = isEnded;
        input.EndStop = AEndStop;
    } else if (input.State == isIdle) {
        input.State = isAbsent;
    }
    ++FProgress;
    if (FFinished) {
        if (std::none_of(FInputs.begin(), FInputs.end(),
                         [](const TInput& A) { return A.State == isRunning; }))
            Forget();
        return {};
    }
    return Advance();
}

uint64_t TSVMixFilter::Reached() const {
    const bool anyRunning = std::any_of(FInputs.begin(), FInputs.end(),
                                        [](const TInput& A) { return A.State == isRunning; });
    uint64_t reached = KNoLimit;
    for (size_t i = 0; i < FSettings.Inputs; ++i) {
        const TInput& input = FInputs[i];
        if (input.State == isRunning)
            reached = std::min(reached, input.Next);
        else if (input.State == isIdle && anyRunning && FInputPins[i]->IsConnected())
            reached = std::min(reached, FSent); // it may still start
    }
    return reached;
}

bool TSVMixFilter::EndOf(uint64_t& AEnd, bool& AEndStop) const {
    bool anyRunning = false, anyEnded = false, allEndStops = true;
    uint64_t longest = 0, shortest = KNoLimit;
    bool shortestEndStop = false;
    for (size_t i = 0; i < FSettings.Inputs; ++i) {
        const TInput& input = FInputs[i];
        anyRunning = anyRunning || input.State == isRunning;
        if (input.State != isEnded)
            continue;
        anyEnded = true;
        allEndStops = allEndStops && input.EndStop;
        longest = std::max(longest, input.Next);
        if (input.Next < shortest) {
            shortest = input.Next;
            shortestEndStop = input.EndStop;
        }
    }
    if (FSettings.Shortest && anyEnded) {
        AEnd = shortest;
        AEndStop = shortestEndStop;
        return true;
    }
    if (anyRunning)
        return false;
    AEnd = longest;
    AEndStop = anyEnded && allEndStops;
    return true;
}

std::vector<uint32_t> TSVMixFilter::Advance() {
    FProgressed.notify_all();
    uint64_t end = 0;
    bool endStop = false;
    const bool decided = EndOf(end, endStop);
    const uint64_t to = decided ? std::min(Reached(), end) : Reached();
    if (to > FSent && to != KNoLimit)
        Send(to);
    if (!decided || FSent < end)
        return {};
    std::vector<uint32_t> running;
    for (uint32_t i = 0; i < FSettings.Inputs; ++i)
        if (FInputs[i].State == isRunning)
            running.push_back(i);
    Finish(endStop);
    return running;
}

void TSVMixFilter::Send(uint64_t ATo) {
    const uint32_t rate = FFormat.Format.nSamplesPerSec, channels = FFormat.Format.nChannels;
    while (FSent < ATo) {
        const auto frames =
            static_cast<uint32_t>(std::min<uint64_t>(ATo - FSent, KMaxBufferFrames));
        const TRef<ISVAudioBuffer> out = TSVAudioBuffer::CreateFloatSizeEx(
            static_cast<int32_t>(rate), static_cast<int32_t>(channels),
            static_cast<int32_t>(frames), TSVSpeakers::FromMask(FFormat.dwChannelMask));
        const TSVFloatFrames samples = SVWriteFloatFrames(out);
        std::fill_n(samples.Data(), samples.Count(), 0.0f);
        // A gain changed while the stream runs moves over this buffer instead of jumping.
        const std::vector<float> gains = GainFactors(FSettings.Inputs);
        for (size_t i = 0; i < FSettings.Inputs; ++i) {
            AddInput(FInputs[i], FSettings.Gains[i], gains[i], FSent, samples);
            FSettings.Gains[i] = gains[i];
        }
        FClock.Stamp(*out);
        FSent += frames;
        FOutputPin->SubmitBuffer(out);
    }
}

void TSVMixFilter::AddInput(TInput& AInput, float AFrom, float ATo, uint64_t AFirst,
                            TSVFloatFrames AOut) {
    const uint64_t last = AFirst + AOut.Frames();
    const size_t channels = AOut.Channels();
    const auto gainAt = [&](uint64_t AFrame) {
        return AFrom + (ATo - AFrom) * float(AFrame - AFirst) / float(AOut.Frames());
    };
    while (!AInput.Segments.empty()) {
        TSegment& segment = AInput.Segments.front();
        const uint64_t from = std::max(segment.First + segment.Used, AFirst);
        const uint64_t to = std::min<uint64_t>(segment.First + segment.Buffer->GetSize(), last);
        if (from >= last)
            return; // it begins after these frames: a gap of silence before it
        const float* in =
            SVReadFloatFrames(segment.Buffer).Data() + (from - segment.First) * channels;
        float* out = AOut.Data() + (from - AFirst) * channels;
        const size_t count = (to - from) * channels;
        if (AFrom == ATo) {
            SVAddScaledFloat(in, out, count, AFrom);
        } else {
            FScratch.assign(in, in + count);
            SVRampFloat(FScratch.data(), to - from, channels, gainAt(from), gainAt(to));
            SVAddScaledFloat(FScratch.data(), out, count, 1.0f);
        }
        segment.Used = static_cast<uint32_t>(to - segment.First);
        if (segment.Used < segment.Buffer->GetSize())
            return;
        AInput.Segments.pop_front();
    }
}

void TSVMixFilter::Finish(bool AEndStop) {
    FFinished = true;
    for (TInput& input : FInputs)
        input.Segments.clear();
    FOutputPin->Notify(AEndStop ? TPXEndStopOperation::Create() : TPXStopOperation::Create());
    if (std::none_of(FInputs.begin(), FInputs.end(),
                     [](const TInput& A) { return A.State == isRunning; }))
        Forget();
}

void TSVMixFilter::Forget() {
    ++FProgress;
    FProgressed.notify_all();
    FInputs = {};
    FSent = 0;
    FFinished = false;
    FStreaming = false;
}

} // namespace sonvera
