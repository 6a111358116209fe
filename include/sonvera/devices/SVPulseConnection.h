// A connection to the sound server through libpulse, which both PulseAudio and PipeWire's pulse
// server speak: a threaded main loop (one thread of libpulse's own, started with the connection
// and stopped and joined when it goes) and a context connected to a server (empty: the
// default one). Every call into libpulse is made with the loop's lock held; the library calls
// back on the loop's thread with that lock held.
//
// Waiting never blocks forever: WaitFor releases the loop's lock and sleeps on a condition of
// the connection's own that every callback signals, with a deadline, so that a server that
// stops answering ends the wait with an error instead of a hang. A context that fails (the
// server went away) wakes every waiter at once.
//
// Threads and locks, in the order they are taken: a component's lock, then the loop's lock,
// then the connection's wake lock (held only to read or bump the wake count). Callbacks run on
// the loop's thread inside the loop's lock and take only the wake lock and locks of their own
// that nest inside it; they never take a component's lock and never call user code.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "sonvera/format/GMDXTypes.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

// The sound server failed, refused or did not answer; the message names the device or server
// and the cause.
class EDeviceError : public Exception {
    using Exception::Exception;
};

class TSVPulseConnection {
public:
    // How long a call to the server may take before it counts as gone.
    static constexpr std::chrono::milliseconds KAnswerTimeout{5000};

    // Connects to AServer (empty: the default server) as AApplicationName and waits until the
    // context is ready; EDeviceError when it cannot.
    TSVPulseConnection(const std::string& AServer, const std::string& AApplicationName);
    TSVPulseConnection(const TSVPulseConnection&) = delete;
    TSVPulseConnection& operator=(const TSVPulseConnection&) = delete;
    // Disconnects, then stops and joins the loop's thread. Never from a callback.
    ~TSVPulseConnection();

    // The loop's lock, for every call into libpulse from another thread.
    class TLock {
    public:
        explicit TLock(TSVPulseConnection& AConnection);
        ~TLock();
        TLock(const TLock&) = delete;
        TLock& operator=(const TLock&) = delete;

    private:
        friend class TSVPulseConnection;
        TSVPulseConnection& FConnection;
    };

    pa_context* Context() const noexcept { return FContext; }
    pa_threaded_mainloop* Loop() const noexcept { return FLoop; }
    // Whether the context is still connected; with the loop's lock held.
    bool IsReady() const;
    // The context's last error as text, with the loop's lock held.
    std::string LastError() const;

    // Wakes every waiter to look again; called by callbacks on the loop's thread.
    void Signal();
    // With ALock held: waits until ADone() holds (true), the context fails or the timeout
    // passes (false). The loop's lock is released while waiting and held again on return.
    bool WaitFor(TLock& ALock, const std::function<bool()>& ADone,
                 std::chrono::milliseconds ATimeout = KAnswerTimeout);
    // With ALock held: waits until AOperation is done and releases it; EDeviceError with
    // AWhat and the cause when it fails, the context fails or the server does not answer.
    void Complete(TLock& ALock, pa_operation* AOperation, const std::string& AWhat);

private:
    // Disconnects and stops the loop; the connection is empty afterwards.
    void Release();
    static void OnContextState(pa_context* AContext, void* AUserData);

    pa_threaded_mainloop* FLoop = nullptr;
    pa_context* FContext = nullptr;
    std::mutex FWakeLock;
    std::condition_variable FWoken;
    uint64_t FWakeCount = 0; // under FWakeLock
};

// The server's sample format for ABits-bit samples (PA_SAMPLE_INVALID when it has none), and
// the whole stream description of AFormat; EDeviceError naming AWho when the server cannot
// take it (a rate, channel count or width beyond its limits).
pa_sample_format_t SVPulseSampleFormat(int32_t ABits);
void SVPulseStreamSpec(const TSVWaveFormatExtensible& AFormat, const std::string& AWho,
                       pa_sample_spec& ASpec, pa_channel_map& AMap);

} // namespace sonvera
