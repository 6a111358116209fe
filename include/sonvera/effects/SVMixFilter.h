// Mixing several streams into one: each input pin's float samples, scaled by its gain, are
// added into one float stream at the inputs' common rate and channel count.
//
// Inputs (2 to 16) is the number of input pins; it changes only while no stream runs. Gains are
// the inputs' gains in dB, in pin order, apart by spaces or commas ("0 -6"); inputs without one
// keep 0 dB; a change while a stream runs moves over one buffer instead of jumping (no click).
// Integer input is taken as float first. Inputs must agree in rate and channel count:
// one that does not is refused when it starts, with an EArgumentError naming the input and both
// formats (resample or remix it first), and is left out of the stream so that it holds back
// none of the others.
//
// Time. Each input's samples are placed by their buffers' stamps: an input whose first buffer
// begins at 0.5 s starts 0.5 s into the mix, a gap between two buffers is silence, a buffer
// without a stamp follows the one before it. The mix's own stream starts at 0 with the first
// input that starts; its output goes as far as every running input has reached.
//
// End. By default the mix ends with its longest input: when every input that started has
// stopped, at the end of the one that reached furthest. With Shortest it ends at the end of the
// first input to end, and asks the inputs still running to stop. An input that has not started
// by then (or that stopped without starting) is taken as absent, so that nothing waits for a
// stream that never comes. The stop sent on is an end-stop when the inputs that decided the end
// ended so; a stop before its end otherwise (a file writer then keeps no file). The next start
// on any input after that begins a new stream from nothing.
//
// Threads and locks: inputs may be fed on different threads (two sources, each on its own
// clock). Lock order: the lock a delivering thread holds upstream (a source's component lock,
// held across its tick) -> FStreamLock (the mix's stream state, held while a buffer is placed
// and while mixed buffers, starts and stops are sent downstream) -> the component lock (taken
// inside FStreamLock only briefly, by the pins) and the locks downstream. Properties are read
// under the component lock before FStreamLock is taken, so it never nests the other way.
// Operations from downstream (pump requests, stops, queries) go up to every connected input
// without any lock of the mix. Pace: an input more than a second ahead of the slowest running
// one waits (FStreamLock released) until the others move, so that a fast source does not fill
// memory while a slow one decodes; when they do not move for 50 ms (a source whose end waits
// for the main thread, which may be waiting for this one's lock) it goes on and is held
// instead. An input that has not started yet is never waited for.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sonvera/buffers/SVFloatFrames.h"
#include "sonvera/platform/runtime/ClassAttributes.h"
#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/streams/SVStreamTime.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

// The gains of a gains text in dB: finite numbers apart by spaces or commas, each may end in
// "dB"; EArgumentError naming the word otherwise, or when there are more than AMax.
std::vector<double> SVParseMixGains(const std::string& AText, size_t AMax);

class TSVMixFilter : public TLockComponent {
public:
    static constexpr int32_t KMinInputs = 2;
    static constexpr int32_t KMaxInputs = 16;
    // The most frames sent in one buffer.
    static constexpr uint32_t KMaxBufferFrames = 4096;

    explicit TSVMixFilter(TPersistent* AOwner);
    // Destroys the pins first, so that nothing arrives while the mix goes.
    ~TSVMixFilter() override;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 2 to 16 (clamped); EArgumentError while a stream runs.
    int32_t GetInputs() const;
    void SetInputs(int32_t AValue);
    std::string GetGains() const { return GetPropValue(FGains); }
    void SetGains(const std::string& AValue);
    bool GetShortest() const { return GetPropValue(FShortest); }
    void SetShortest(bool AValue) { SetPropValue("Shortest", FShortest, AValue); }

    // Null past the last input.
    TSVPXAudioSinkPin* GetInputPin(uint32_t AIndex) const;
    TSVPXAudioSourcePin* GetOutputPin() const noexcept { return FOutputPin.get(); }
    std::string GetError() const override;

private:
    // Absent: stopped without having started.
    enum TInputState : uint8_t { isIdle, isRunning, isEnded, isAbsent };
    // A float buffer placed at frame First of the mix, of which Used frames are mixed.
    struct TSegment {
        uint64_t First = 0;
        TRef<ISVAudioBuffer> Buffer;
        uint32_t Used = 0;
    };
    struct TInput {
        TInputState State = isIdle;
        bool EndStop = false; // ended by an end-stop
        uint64_t Next = 0;    // the frame its next sample goes to
        std::deque<TSegment> Segments;
    };
    // What a start needs from the properties, read before FStreamLock.
    struct TSettings {
        size_t Inputs = 0;
        std::vector<float> Gains; // in force: those of the last buffer sent
        bool Shortest = false;
    };

    bool SinkDispatch(uint32_t AInput, const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    bool SourceDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                        const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    TSettings ReadSettings() const;
    // The gains as factors, 1 for inputs without one; under the component lock.
    std::vector<float> GainFactors(size_t AInputs) const;

    // The handlers of one input's operations; each returns the inputs to ask upstream to stop.
    void InputStart(uint32_t AInput, const TSVWaveFormatExtensible& AFormat);
    std::vector<uint32_t> InputBuffer(uint32_t AInput, const TRef<ISVAudioBuffer>& ABuffer);
    std::vector<uint32_t> InputStop(uint32_t AInput, bool AEndStop);

    // Under FStreamLock: the mix's stream starts, in AFormat (float).
    void StartMix(const TSVWaveFormatExtensible& AFormat, TSettings ASettings);
    // Under FStreamLock: input AInput refused, absent from the stream from now on; the refusal
    // is kept for GetError and raised.
    [[noreturn]] void Refuse(uint32_t AInput, const std::string& AMessage);
    // Under FStreamLock: sends what every input has reached and, once the end is known and
    // reached, the stop; returns the inputs still running after the end.
    std::vector<uint32_t> Advance();
    // Under FStreamLock: the frame up to which every input has delivered (or ended).
    uint64_t Reached() const;
    // Under FStreamLock: the end frame once the end rule has decided it, and whether the
    // deciding inputs ended with end-stops.
    bool EndOf(uint64_t& AEnd, bool& AEndStop) const;
    // Under FStreamLock: the mixed frames [FSent, ATo) sent downstream.
    void Send(uint64_t ATo);
    // Under FStreamLock, on AInput's delivering thread: the pace described above.
    void WaitWhileAhead(std::unique_lock<std::mutex>& ALock, uint32_t AInput);
    // Under FStreamLock: AInput's frames from AFirst on added into AOut, scaled by a gain that
    // moves from AFrom to ATo over AOut.
    void AddInput(TInput& AInput, float AFrom, float ATo, uint64_t AFirst, TSVFloatFrames AOut);
    // Under FStreamLock: the stop sent on; the stream is forgotten once no input runs.
    void Finish(bool AEndStop);
    void Forget();

    std::unique_ptr<TSVPXAudioSourcePin> FOutputPin;
    // Changed under the component lock while no stream runs only.
    std::vector<std::unique_ptr<TSVPXAudioSinkPin>> FInputPins;
    std::string FGains;
    std::vector<double> FGainsDB; // FGains read
    bool FShortest = false;

    mutable std::mutex FStreamLock;
    std::condition_variable FProgressed; // an input moved or ended (FProgress changed)
    std::atomic<bool> FStreaming{false}; // a stream started and not yet forgotten
    // Under FStreamLock.
    bool FFinished = false; // the stop was sent; waiting for the inputs to stop
    TSVWaveFormatExtensible FFormat{};
    TSettings FSettings;
    std::array<TInput, KMaxInputs> FInputs;
    uint64_t FSent = 0; // frames sent downstream
    uint64_t FProgress = 0;
    std::vector<float> FScratch; // an input's frames while its gain moves
    TSVStreamClock FClock;
    std::string FError;
};

} // namespace sonvera
