// The base of sources that read a stream from outside the chain (a file, a sound device): the
// stream's format once it is open, one buffer after another, pacing, stamping, the end and the
// failure. A subclass writes only how its stream opens, closes and reads:
//
//   OpenStream   opens the stream and answers the format it is announced in; called before
//                the chain is built (Open) or at Start, inside the component lock. It raises
//                EReadError naming the input and the cause.
//   ReadBuffer   the next buffer, unstamped, in that format or in a new one that the stream
//                goes on in (the base announces it with a new start-wave operation first): null at the end of the stream, a
//                buffer of 0 frames when nothing is there yet (a device that has not filled one),
//                an exception to end the stream with a failure (GetError gives its text).
//   CloseStream  releases what OpenStream took; also called when nothing is open.
// and calls Unprepare when a setting that names the stream changes, and Stop in its own
// destructor (a tick reads through the subclass).
//
// The base stamps every buffer on the stream's clock from 0 (frames counted, so stamps never
// drift) and ends the stream from the main thread: with an end-stop when ReadBuffer reached the
// end, with a plain stop and the reason kept when it failed or was stopped early.
//
// Pacing: by default the source runs as fast as its chain accepts - its pump clock ticks again
// as soon as the previous buffer is delivered - or, when a consumer downstream takes over
// pumping (a master-pump operation), once per pump request, on the requester's thread. With
// Realtime set its clock delivers the buffers as their time comes. A time source set on the
// generator drives any of the three.
//
// Threads and locks: a tick holds the component lock while it reads and delivers, so every lock
// taken downstream nests inside it. Start, Stop and the property setters run on the controlling
// thread; the stream's end is posted to the main thread, which must be pumped.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/streams/SVStreamTime.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

// Published: Realtime (false).
class TSVStreamSource : public TQXBasicCommonGen {
public:
    // How often the realtime clock looks for buffers that are due, in 100 ns units.
    static constexpr int64_t KRealtimeInterval = 100'000;

    explicit TSVStreamSource(TPersistent* AOwner);
    ~TSVStreamSource() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TSVPXAudioSourcePin* GetOutputPin() const noexcept { return FOutputPin.get(); }
    bool GetRealtime() const { return GetPropValue(FRealtime); }
    void SetRealtime(bool AValue) { SetPropValue("Realtime", FRealtime, AValue); }

    // Opens the stream, unless one is ready to start, so that its format is known before the
    // chain is built.
    void Open();
    // The format the stream is announced in; its channel count is 0 before Open.
    TSVWaveFormatExtensible GetWaveFormat() const;
    // Stream time reached: the end of the last buffer sent.
    int64_t GetPosition() const noexcept { return FPosition.load(); }
    int64_t GetStreamPosition() const noexcept override { return GetPosition(); }
    // Why the last stream ended before its end; empty when it did not.
    std::string GetError() const override;
    // The format changes the last stream announced after its start.
    uint64_t GetFormatChanges() const noexcept { return FFormatChanges.load(); }

protected:
    virtual TSVWaveFormatExtensible OpenStream() = 0;
    virtual TRef<ISVAudioBuffer> ReadBuffer() = 0;
    virtual void CloseStream() = 0;
    // The stream opened by Open is no longer the one to start; the next start opens it again.
    void Unprepare() noexcept { FReady = false; }
    // Closes the stream and forgets the one prepared, inside the component lock.
    void Close();

    bool NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) override;
    void IntStartStream() override;
    void StartPump() override;
    void IntPump() override;
    TRef<IPXNotifyOperation> IntStopStream() override;

private:
    void Prepare();
    // Sends the next buffer, or ends the stream at its end; false when nothing went.
    bool SendNext();
    void EndStream(const std::string& AError);
    // Announces AFormat, in which the stream goes on from where it is.
    void FollowFormat(const TSVWaveFormatExtensible& AFormat);

    std::unique_ptr<TSVPXAudioSourcePin> FOutputPin;
    bool FRealtime = false;

    // Under the component lock.
    TSVWaveFormatExtensible FFormat{};
    bool FReady = false; // opened and nothing read yet
    bool FEnded = false;
    bool FReachedEnd = false;
    std::string FError;
    TSVStreamClock FStreamClock;
    std::atomic<int64_t> FPosition{0};
    std::atomic<uint64_t> FFormatChanges{0};
    std::shared_ptr<IQXTimeSource> FClockSource;
    std::shared_ptr<TQXFreeRunningTimeSource> FFreeRunning; // when FClockSource is one
    int64_t FClockStart = 0;
};

} // namespace sonvera
