// The base of generators: the stream's start and stop, the running and paused flags, the pump
// clock that drives generation, and what a generator answers to operations coming back from
// downstream. A generator pumps itself on its clock unless a consumer downstream takes over
// (a master-pump operation makes the clock external; the consumer then asks for each buffer
// with a pump request). The clock input takes the same operations from an output's clock pin,
// so that an output can pace a generator over a clock connection as well; a generator's output
// pins depend on it.
//
// Threads and locks: Start, Stop, Pause and Resume run on the thread that controls the
// component (usually the main thread), never on the clock's. A tick holds the component lock
// for the whole tick, delivery downstream included, so every lock taken downstream nests inside
// it; Stop joins the clock outside the component lock. A tick that wants the stream to end
// calls PostStop, which stops it from the main thread; from that call on no tick and no pump
// request generates anything, whatever the clock, so a stream ends exactly where it said.
#pragma once

#include <atomic>
#include <memory>

#include "sonvera/platform/bases/QXClockGen.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

class TQXBasicCommonGen : public TLockComponent {
public:
    explicit TQXBasicCommonGen(TPersistent* AOwner);
    // Stops the clock (without telling downstream: the subclass is gone by now).
    ~TQXBasicCommonGen() override;

    // Announces the stream and starts pumping; nothing when running. A start that raises
    // leaves the generator stopped.
    void Start();
    // Stops and joins the pump clock, then sends IntStopStream's operation downstream; nothing
    // when not running.
    // Called on the clock's own thread, it is posted to the main thread instead.
    void Stop();
    void Pause();
    void Resume();
    bool GetRunning() const noexcept { return FRunning.load(); }
    bool GetPaused() const noexcept { return FPaused.load(); }
    TPXClockSinkPin* GetClockInputPin() const noexcept { return FClockInputPin.get(); }
    // Null before the pump starts and after it stops.
    TQXClockGen* GetPumpClock() const;
    // The time source of the next pump clock; null gives a steady source.
    void SetTimeSource(std::shared_ptr<IQXTimeSource> ATimeSource);
    std::shared_ptr<IQXTimeSource> GetTimeSource() const;
    double GetRate() const;
    // Stream time reached, in 100 ns units: the end of the last buffer sent; 0 for a generator
    // that does not count it. (Named apart from the subclasses' own GetPosition and GetDuration,
    // which may count in other units.)
    virtual int64_t GetStreamPosition() const noexcept { return 0; }
    // The stream's length in 100 ns units; 0 when it is unknown or endless.
    virtual int64_t GetStreamDuration() const { return 0; }
    // GetStreamDuration as the last announcement of the stream published it, read without the
    // component lock: what the main thread reads while a tick may hold that lock, waiting
    // downstream for something only the main thread delivers (another source's end).
    int64_t GetAnnouncedDuration() const noexcept { return FAnnouncedDuration.load(); }
    // The length of the stream arriving at AInput (100 ns units), as the generators upstream
    // announced it with their running streams, found by following each pin's dependencies up
    // to them; the longest when branches join, 0 when any of them is endless or did not know.
    // It reads only what they published as they announced the stream, so it takes no
    // component's lock and may run while that announcement travels down.
    static int64_t UpstreamDuration(const TPXPin& AInput);

protected:
    virtual bool NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) = 0;
    // Sends a stream's start (or a new format of it) downstream, publishing GetStreamDuration
    // first for UpstreamDuration.
    bool AnnounceStream(const TRef<IPXNotifyOperation>& AStart);
    // Announces the stream downstream; runs inside the component lock.
    virtual void IntStartStream() = 0;
    // Starts the pump once the stream is announced; runs inside the component lock.
    virtual void StartPump() {}
    // One step of generation; the clock or a pump request calls it.
    virtual void IntPump() = 0;
    // Ends the stream once the pump has stopped (outside the component lock): returns the
    // operation sent downstream, a stop by default (a generator that ran out of data tells it
    // with an end-stop).
    virtual TRef<IPXNotifyOperation> IntStopStream();
    // Called first thing by Stop, on the stopping thread and before any lock: a generator whose
    // tick may wait on outside input (a stalled pipe) ends that wait here, since the stop cannot
    // take the component lock while the tick holds it. Only atomics may be touched.
    virtual void IntStopping() noexcept {}

    // The dispatch handler of the output pins: answers operations from downstream.
    bool DispatchOperation(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                           const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    // Stops the stream from the main thread.
    void PostStop();
    void SetRate(double ARate);
    // Set while a tick or a pump request may generate: running, not paused, no stop posted.
    bool IsGenerating() const noexcept { return FRunning && !FPaused && !FStopPosted; }
    // Set while the generator should pump itself.
    bool GetPump() const noexcept { return FPump.load(); }
    bool IsExternalClock() const noexcept { return FExternalClock.load(); }
    // Installs the pump clock (inside the component lock).
    void SetPumpClock(std::unique_ptr<TQXClockGen> AClock);

private:
    bool OnPumpClockThread() const;
    std::unique_ptr<TQXClockGen> TakePumpClock();
    void ReleasePumpClock();

    std::unique_ptr<TPXClockSinkPin> FClockInputPin;
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FPump{false};
    std::atomic<bool> FExternalClock{false};
    std::atomic<bool> FStopPosted{false};
    std::atomic<int64_t> FAnnouncedDuration{0};
    double FRate = 0;
    std::unique_ptr<TQXClockGen> FPumpClock;
    std::shared_ptr<IQXTimeSource> FTimeSource;
    // Lets work posted to the main thread find out that the generator is gone.
    std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

} // namespace sonvera
