// One playback or record stream on the sound server, over its own connection: what the device
// output and input share. Writes block until the device has room and reads until it has
// delivered, so a chain that writes or reads through a stream runs on the device's clock.
// Underruns (playback ran dry) and overruns (the server dropped recorded audio because nobody
// read it in time) are counted and told to an xrun callback, which runs on libpulse's thread
// inside the loop's lock: it must only note the count and hand it on (to the main thread).
//
// A server that goes away, a device that stops taking or giving audio for
// TSVPulseConnection::KAnswerTimeout, or a refused format ends the call with EDeviceError
// naming the stream's device and the cause; nothing waits longer than that.
//
// Threads and locks: one thread at a time uses a stream (the owning component calls it inside
// its component lock); Finish may be called from any thread. Lock order: the component's lock,
// then the connection's loop lock, then its wake lock (see TSVPulseConnection).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sonvera/devices/SVPulseConnection.h"

namespace sonvera {

struct TSVPulseStreamSettings {
    std::string Server;      // empty: the default server
    std::string Device;      // sink or source name; empty: the default one
    int32_t Latency = 0;     // milliseconds asked for; 0 leaves the server's choice
    std::string StreamName;  // as the server's mixer lists it
    std::string Application; // the client's name
};

class TSVPulseStream {
public:
    enum TDirection : uint8_t { sdPlayback, sdRecord };
    // Called with the new total of underruns or overruns, on libpulse's thread.
    using TXrunHandler = std::function<void(uint64_t ACount)>;

    // Connects and opens the stream for AFormat, waiting until the server has set it up.
    TSVPulseStream(TDirection ADirection, const TSVPulseStreamSettings& ASettings,
                   const TSVWaveFormatExtensible& AFormat, TXrunHandler AOnXrun);
    TSVPulseStream(const TSVPulseStream&) = delete;
    TSVPulseStream& operator=(const TSVPulseStream&) = delete;
    // Disconnects the stream (what is queued is dropped) and the connection.
    ~TSVPulseStream();

    // Playback: queues ALength bytes of whole frames, waiting for room as long as it takes
    // (buffers smaller than the server's request size are gathered first).
    void Write(const uint8_t* ABytes, size_t ALength);
    // Playback: waits until everything queued has been played.
    void Drain();
    // Record: fills ABytes with up to ALength bytes of whole frames, waiting for the device;
    // returns fewer only once Finish was called (0 when nothing was left).
    size_t Read(uint8_t* ABytes, size_t ALength);
    // Record: the next Read returns at once with what it has.
    void Finish();

    // The device's name as the server knows it (the default device's own name when none was
    // asked for).
    std::string GetDeviceName() const;
    // The latency the server reports, in milliseconds: the mean of the readings taken at every
    // write or read since the stream began to flow; 0 before the first.
    double GetMeasuredLatency() const noexcept;
    // The buffer the server granted, in milliseconds (target length for playback, fragment
    // size for recording).
    double GetGrantedLatency() const noexcept { return FGrantedLatency; }
    uint64_t GetXruns() const noexcept { return FXruns.load(); }

private:
    static void OnStreamEvent(pa_stream* AStream, void* AUserData);
    static void OnXrun(pa_stream* AStream, void* AUserData);

    void Connect(TSVPulseConnection::TLock& ALock, const TSVPulseStreamSettings& ASettings);
    // With the loop's lock held: raises when the stream or its connection failed.
    void CheckFlowing();
    void NoteLatency();
    // Sends ALength bytes, waiting for room as long as it takes; with the loop's lock held.
    void WriteLocked(TSVPulseConnection::TLock& ALock, const uint8_t* ABytes, size_t ALength);
    // Moves up to ALength recorded bytes into ABytes; with the loop's lock held.
    size_t TakeRecorded(uint8_t* ABytes, size_t ALength);

    TDirection FDirection;
    std::string FWho; // "audio device 'NAME'", for messages
    std::string FDeviceName;
    TXrunHandler FOnXrun;
    std::unique_ptr<TSVPulseConnection> FConnection;
    pa_stream* FStream = nullptr;
    pa_sample_spec FSpec{};
    size_t FFrameBytes = 0;
    size_t FRequestBytes = 0;      // playback: the server's request size, the least one write sends
    std::vector<uint8_t> FPending; // playback: written, not yet sent
    double FGrantedLatency = 0;
    std::atomic<uint64_t> FXruns{0};
    std::atomic<bool> FFinishing{false};
    bool FCorked = false;        // a record stream before its first read
    bool FDraining = false;      // under the loop's lock: the end's dry-out is no underrun
    std::vector<uint8_t> FCarry; // recorded bytes read from the server but not yet taken
    std::atomic<double> FLatencySum{0};
    std::atomic<uint64_t> FLatencyReadings{0};
};

} // namespace sonvera
