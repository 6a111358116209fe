// The sound-server output: plays the audio arriving at its input on a sink of the sound server
// (PulseAudio, or PipeWire's pulse server). Each stream opens a playback stream in the
// stream's own format (the server converts to the device's); a buffer is written as soon as
// the device has room for it, so the thread that delivers it waits: a chain that ends here runs
// on the device's clock, whoever drives it (its own clock running free, or Render pumping it).
//
// An end-stop plays out what is queued before the stream closes; a plain stop drops it, so that
// the sound stops at once. Underruns are counted (GetUnderruns) and told through OnUnderrun on
// the main thread. A failure (no server, an unknown sink, a format the server refuses, the
// server going away or the device taking nothing for five seconds) closes the stream, is kept
// for GetError and stops the stream upstream.
//
// Threads and locks: operations arrive on the delivering thread; the playback stream is opened,
// written and closed inside the component lock, then libpulse's loop lock is taken inside it
// (component lock, loop lock, wake lock: see TSVPulseStream). Operations sent upstream go out
// of the component lock. OnUnderrun is posted to the main thread, never called under a lock.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/devices/SVPulseComponent.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Published: Server (""), Device (""), Latency (100 ms), StreamName ("Playback"),
// ApplicationName ("Sonvera") and the output base's Enabled and MasterPumping.
class TSVPulseAudioOut : public TSVPulseComponent<TSVBasicAudioOut> {
public:
    explicit TSVPulseAudioOut(TPersistent* AOwner);
    ~TSVPulseAudioOut() override;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Told on the main thread with the new count after each underrun.
    TCountHandler OnUnderrun;

    // Underruns of the current or last stream.
    uint64_t GetUnderruns() const noexcept { return FUnderruns.load(); }
    // The latency the server granted and the one it measured while playing, in milliseconds,
    // of the current or last stream; 0 before the first.
    double GetGrantedLatency() const;
    double GetMeasuredLatency() const;
    // The sink playing the current or last stream.
    std::string GetDeviceName() const;
    // Why the last stream failed; empty while nothing failed.
    std::string GetError() const override;

    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) override;

private:
    // Each returns false when the output failed (and the stream should stop upstream).
    bool OpenStream(const TSVWaveFormatExtensible& AFormat);
    bool PlayBuffer(const TRef<ISVAudioBuffer>& ABuffer);
    void CloseStream(bool APlayOut);
    void Fail(const std::string& AError);
    void KeepFigures();
    void TellUnderrun(uint64_t ACount);

    // The open stream and what the last one measured; under the component lock.
    std::unique_ptr<TSVPulseStream> FStream;
    std::string FError;
    std::string FDeviceName;
    double FGrantedLatency = 0;
    double FMeasuredLatency = 0;
    std::atomic<uint64_t> FUnderruns{0};
};

} // namespace sonvera
