#include "sonvera/devices/SVPulseConnection.h"

#include <cstdlib>

#include "sonvera/format/SVSpeakers.h"

namespace sonvera {

namespace {

// The server's position of each speaker, by the speaker's bit in a channel mask.
constexpr pa_channel_position_t KSpeakerPositions[KSVSpeakerCount] = {
    PA_CHANNEL_POSITION_FRONT_LEFT,
    PA_CHANNEL_POSITION_FRONT_RIGHT,
    PA_CHANNEL_POSITION_FRONT_CENTER,
    PA_CHANNEL_POSITION_LFE,
    PA_CHANNEL_POSITION_REAR_LEFT,
    PA_CHANNEL_POSITION_REAR_RIGHT,
    PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER,
    PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER,
    PA_CHANNEL_POSITION_REAR_CENTER,
    PA_CHANNEL_POSITION_SIDE_LEFT,
    PA_CHANNEL_POSITION_SIDE_RIGHT,
    PA_CHANNEL_POSITION_TOP_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_LEFT,
    PA_CHANNEL_POSITION_TOP_FRONT_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_RIGHT,
    PA_CHANNEL_POSITION_TOP_REAR_LEFT,
    PA_CHANNEL_POSITION_TOP_REAR_CENTER,
    PA_CHANNEL_POSITION_TOP_REAR_RIGHT,
};

// libpulse takes the default server from PULSE_SERVER when the environment names one.
std::string ServerText(const std::string& AServer) {
    if (!AServer.empty())
        return "sound server '" + AServer + "'";
    const char* named = std::getenv("PULSE_SERVER");
    return named && *named ? "sound server '" + std::string(named) + "' (PULSE_SERVER)"
                           : "the sound server";
}

} // namespace

TSVPulseConnection::TLock::TLock(TSVPulseConnection& AConnection) : FConnection(AConnection) {
    pa_threaded_mainloop_lock(FConnection.FLoop);
}

TSVPulseConnection::TLock::~TLock() {
    pa_threaded_mainloop_unlock(FConnection.FLoop);
}

TSVPulseConnection::TSVPulseConnection(const std::string& AServer,
                                       const std::string& AApplicationName) {
    FLoop = pa_threaded_mainloop_new();
    if (!FLoop)
        throw EDeviceError(ServerText(AServer) + ": cannot create libpulse's main loop");
    FContext = pa_context_new(pa_threaded_mainloop_get_api(FLoop), AApplicationName.c_str());
    if (!FContext) {
        pa_threaded_mainloop_free(FLoop);
        throw EDeviceError(ServerText(AServer) + ": cannot create a libpulse context");
    }
    pa_context_set_state_callback(FContext, OnContextState, this);
    std::string error;
    if (pa_threaded_mainloop_start(FLoop) < 0) {
        error = "cannot start libpulse's main loop";
    } else {
        TLock lock(*this);
        // No autospawn: a server that is not running is an error, not a process to start.
        if (pa_context_connect(FContext, AServer.empty() ? nullptr : AServer.c_str(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            error = LastError();
        else if (!WaitFor(lock, [this] { return IsReady(); }))
            error = pa_context_get_state(FContext) == PA_CONTEXT_READY ? "no answer" : LastError();
    }
    if (!error.empty()) {
        Release();
        throw EDeviceError(ServerText(AServer) + ": " + error);
    }
}

TSVPulseConnection::~TSVPulseConnection() {
    Release();
}

void TSVPulseConnection::Release() {
    if (!FLoop)
        return;
    {
        TLock lock(*this);
        pa_context_set_state_callback(FContext, nullptr, nullptr);
        pa_context_disconnect(FContext);
    }
    pa_threaded_mainloop_stop(FLoop); // joins the loop's thread
    pa_context_unref(FContext);
    pa_threaded_mainloop_free(FLoop);
    FContext = nullptr;
    FLoop = nullptr;
}

bool TSVPulseConnection::IsReady() const {
    return pa_context_get_state(FContext) == PA_CONTEXT_READY;
}

std::string TSVPulseConnection::LastError() const {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext)) && pa_context_errno(FContext) == PA_OK)
        return "the connection ended";
    return pa_strerror(pa_context_errno(FContext));
}

void TSVPulseConnection::Signal() {
    std::lock_guard<std::mutex> guard(FWakeLock);
    ++FWakeCount;
    FWoken.notify_all();
}

bool TSVPulseConnection::WaitFor(TLock&, const std::function<bool()>& ADone,
                                 std::chrono::milliseconds ATimeout) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    for (;;) {
        if (ADone())
            return true;
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext)))
            return false;
        std::unique_lock<std::mutex> wake(FWakeLock);
        const uint64_t seen = FWakeCount;
        pa_threaded_mainloop_unlock(FLoop);
        const bool woken = FWoken.wait_until(wake, deadline, [&] { return FWakeCount != seen; });
        wake.unlock();
        pa_threaded_mainloop_lock(FLoop);
        if (!woken)
            return ADone();
    }
}

void TSVPulseConnection::Complete(TLock& ALock, pa_operation* AOperation,
                                  const std::string& AWhat) {
    if (!AOperation)
        throw EDeviceError(AWhat + ": " + LastError());
    pa_operation_set_state_callback(
        AOperation,
        [](pa_operation*, void* AUserData) {
            static_cast<TSVPulseConnection*>(AUserData)->Signal();
        },
        this);
    const bool done = WaitFor(
        ALock, [AOperation] { return pa_operation_get_state(AOperation) != PA_OPERATION_RUNNING; });
    const bool cancelled = pa_operation_get_state(AOperation) == PA_OPERATION_CANCELLED;
    pa_operation_set_state_callback(AOperation, nullptr, nullptr);
    if (!done)
        pa_operation_cancel(AOperation);
    pa_operation_unref(AOperation);
    if (!done || cancelled)
        throw EDeviceError(AWhat + ": " + (IsReady() ? "no answer" : LastError()));
}

void TSVPulseConnection::OnContextState(pa_context*, void* AUserData) {
    static_cast<TSVPulseConnection*>(AUserData)->Signal();
}

pa_sample_format_t SVPulseSampleFormat(int32_t ABits) {
    switch (ABits) {
    case 8:
        return PA_SAMPLE_U8; // the library's 8-bit samples are unsigned bytes as well
    case 16:
        return PA_SAMPLE_S16LE;
    case 24:
        return PA_SAMPLE_S24LE;
    case 32:
        return PA_SAMPLE_S32LE;
    default:
        return PA_SAMPLE_INVALID;
    }
}

void SVPulseStreamSpec(const TSVWaveFormatExtensible& AFormat, const std::string& AWho,
                       pa_sample_spec& ASpec, pa_channel_map& AMap) {
    const int32_t bits = AFormat.Format.wBitsPerSample;
    const uint32_t channels = AFormat.Format.nChannels;
    ASpec.format = SVPulseSampleFormat(bits);
    ASpec.rate = AFormat.Format.nSamplesPerSec;
    ASpec.channels = static_cast<uint8_t>(channels);
    if (ASpec.format == PA_SAMPLE_INVALID || channels == 0 || channels > PA_CHANNELS_MAX ||
        !pa_sample_spec_valid(&ASpec))
        throw EDeviceError(AWho + FormatMessage(": the sound server cannot take %u Hz, %u "
                                                "channels of %d-bit samples",
                                                AFormat.Format.nSamplesPerSec, channels, bits));
    pa_channel_map_init(&AMap);
    AMap.channels = ASpec.channels;
    if (channels == 1) {
        AMap.map[0] = PA_CHANNEL_POSITION_MONO; // heard on every speaker, as a mono file is
        return;
    }
    // Channels follow the mask's speakers in ascending order; channels beyond them are
    // auxiliary.
    uint32_t channel = 0, aux = 0;
    for (int32_t bit = 0; bit < KSVSpeakerCount && channel < channels; ++bit)
        if (AFormat.dwChannelMask & (uint32_t{1} << bit))
            AMap.map[channel++] = KSpeakerPositions[bit];
    while (channel < channels)
        AMap.map[channel++] = static_cast<pa_channel_position_t>(PA_CHANNEL_POSITION_AUX0 + aux++);
}

} // namespace sonvera
