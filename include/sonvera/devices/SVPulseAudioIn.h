// The sound-server input: records from a source of the sound server (a microphone, or the
// monitor of a sink) in the format its AudioFormat asks for - rate, channels, speakers and
// width - which the server converts to from the device's own. Each buffer holds BufferSize
// frames; a read waits until the device has recorded them, so the stream runs on the device's
// clock, stamped from 0.
//
// The stream ends, complete, with an end-stop when Duration (seconds, 0 for no limit) has been
// recorded - the last buffer is cut to it - or when Finish is called (from any thread: a
// signal-handling loop, a timer); a stop from downstream or a failure ends it with a plain
// stop. Overruns (audio the server dropped because it was not read in time) are counted
// (GetOverruns) and told through OnOverrun on the main thread. A failure (no server, an unknown
// source, a format the server refuses, the server going away or the device giving nothing for
// five seconds) ends the stream, and GetError tells why.
//
// Threads and locks: reads run on the pump's thread inside the component lock, which takes
// libpulse's loop lock inside it (component lock, loop lock, wake lock: see TSVPulseStream).
// Finish takes no component lock: it reaches the open stream through an atomic pointer.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "sonvera/components/SVStreamSource.h"
#include "sonvera/devices/SVPulseComponent.h"
#include "sonvera/format/SVAudioFormat.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Published: Server (""), Device (""), Latency (100 ms), StreamName ("Recording"),
// ApplicationName ("Sonvera"), Duration (0), AudioFormat, and the source base's Realtime.
class TSVPulseAudioIn : public TSVPulseComponent<TSVStreamSource> {
public:
    // The rate its format starts at (stereo, 16 bits): the rate sound servers mostly run at,
    // so that a recording made with no format given is one the server need not convert.
    static constexpr uint32_t KDefaultSampleRate = 48'000;

    explicit TSVPulseAudioIn(TPersistent* AOwner);
    ~TSVPulseAudioIn() override;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Seconds to record before the stream ends by itself; 0 records until stopped.
    double GetDuration() const { return GetPropValue(FDuration); }
    void SetDuration(double AValue);
    // The format recorded in, with the frames per buffer.
    TSVAudioFormat* GetAudioFormat() const noexcept { return FAudioFormat.get(); }

    // Ends the stream, complete, at the next read; any thread, but not a signal handler.
    void Finish();

    // Told on the main thread with the new count after each overrun.
    TCountHandler OnOverrun;
    // Overruns of the current or last stream.
    uint64_t GetOverruns() const noexcept { return FOverruns.load(); }
    // The latency the server granted and the one it measured, in milliseconds, of the current
    // or last stream; 0 before the first.
    double GetGrantedLatency() const;
    double GetMeasuredLatency() const;

protected:
    TSVWaveFormatExtensible OpenStream() override;
    TRef<ISVAudioBuffer> ReadBuffer() override;
    void CloseStream() override;
    // A setting that names the stream takes effect at the next open.
    void SettingsChanged() override { Unprepare(); }

private:
    void TellOverrun(uint64_t ACount);
    void DoFormatChange(TPersistent* ASender);

    double FDuration = 0;
    std::unique_ptr<TSVAudioFormat> FAudioFormat;
    // The open stream; replaced inside the component lock, read by Finish without it.
    std::atomic<std::shared_ptr<TSVPulseStream>> FStream;
    TSVWaveFormatExtensible FFormat{}; // of the open stream; under the component lock
    int64_t FFramesLeft = -1;          // before Duration is reached; -1 without a limit
    std::atomic<bool> FFinishing{false};
    double FGrantedLatency = 0, FMeasuredLatency = 0; // of the last stream closed
    std::atomic<uint64_t> FOverruns{0};
};

} // namespace sonvera
