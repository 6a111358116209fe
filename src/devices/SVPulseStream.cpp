#include "sonvera/devices/SVPulseStream.h"

#include <algorithm>
#include <cstring>

namespace sonvera {

namespace {

std::string DeviceText(const TSVPulseStreamSettings& ASettings,
                       TSVPulseStream::TDirection ADirection) {
    if (!ASettings.Device.empty())
        return "audio device '" + ASettings.Device + "'";
    return ADirection == TSVPulseStream::sdPlayback ? "the default audio output"
                                                    : "the default audio input";
}

bool IsFlowing(pa_stream* AStream) {
    return pa_stream_get_state(AStream) == PA_STREAM_READY;
}

} // namespace

TSVPulseStream::TSVPulseStream(TDirection ADirection, const TSVPulseStreamSettings& ASettings,
                               const TSVWaveFormatExtensible& AFormat, TXrunHandler AOnXrun)
    : FDirection(ADirection), FWho(DeviceText(ASettings, ADirection)), FOnXrun(std::move(AOnXrun)) {
    pa_channel_map map;
    SVPulseStreamSpec(AFormat, FWho, FSpec, map);
    FFrameBytes = pa_frame_size(&FSpec);
    FConnection = std::make_unique<TSVPulseConnection>(ASettings.Server, ASettings.Application);
    TSVPulseConnection::TLock lock(*FConnection);
    FStream = pa_stream_new(FConnection->Context(), ASettings.StreamName.c_str(), &FSpec, &map);
    if (!FStream)
        throw EDeviceError(FWho + ": " + FConnection->LastError());
    try {
        Connect(lock, ASettings);
    } catch (...) {
        pa_stream_set_state_callback(FStream, nullptr, nullptr);
        pa_stream_disconnect(FStream);
        pa_stream_unref(FStream);
        throw;
    }
}

TSVPulseStream::~TSVPulseStream() {
    {
        TSVPulseConnection::TLock lock(*FConnection);
        pa_stream_set_state_callback(FStream, nullptr, nullptr);
        pa_stream_set_write_callback(FStream, nullptr, nullptr);
        pa_stream_set_read_callback(FStream, nullptr, nullptr);
        pa_stream_set_underflow_callback(FStream, nullptr, nullptr);
        pa_stream_set_overflow_callback(FStream, nullptr, nullptr);
        if (IsFlowing(FStream))
            pa_stream_disconnect(FStream);
        pa_stream_unref(FStream);
    }
    FConnection.reset(); // joins libpulse's thread
}

void TSVPulseStream::Connect(TSVPulseConnection::TLock& ALock,
                             const TSVPulseStreamSettings& ASettings) {
    pa_stream_set_state_callback(FStream, OnStreamEvent, this);
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xFF, sizeof attributes); // (uint32_t)-1: the server's choice
    const pa_usec_t latency = pa_usec_t(std::max(ASettings.Latency, 0)) * PA_USEC_PER_MSEC;
    // Asked-for latency is the whole path: the server sizes the device's buffer to match.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                       (latency > 0 ? PA_STREAM_ADJUST_LATENCY : 0));
    const char* device = ASettings.Device.empty() ? nullptr : ASettings.Device.c_str();
    int result;
    if (FDirection == sdPlayback) {
        if (latency > 0)
            attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(latency, &FSpec));
        pa_stream_set_write_callback(
            FStream, [](pa_stream*, size_t, void* AUserData) { OnStreamEvent(nullptr, AUserData); },
            this);
        pa_stream_set_underflow_callback(FStream, OnXrun, this);
        result = pa_stream_connect_playback(FStream, device, &attributes, flags, nullptr, nullptr);
    } else {
        if (latency > 0)
            attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(latency, &FSpec));
        pa_stream_set_read_callback(
            FStream, [](pa_stream*, size_t, void* AUserData) { OnStreamEvent(nullptr, AUserData); },
            this);
        pa_stream_set_overflow_callback(FStream, OnXrun, this);
        // Corked until the first read, so that a stream opened early holds no stale audio.
        result = pa_stream_connect_record(
            FStream, device, &attributes,
            static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED));
        FCorked = true;
    }
    if (result < 0)
        throw EDeviceError(FWho + ": " + FConnection->LastError());
    const bool settled = FConnection->WaitFor(
        ALock, [this] { return pa_stream_get_state(FStream) != PA_STREAM_CREATING; });
    if (!IsFlowing(FStream))
        throw EDeviceError(FWho + ": " + (settled ? FConnection->LastError() : "no answer"));
    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(FStream);
    const uint32_t length = FDirection == sdPlayback ? granted->tlength : granted->fragsize;
    FGrantedLatency = static_cast<double>(pa_bytes_to_usec(length, &FSpec)) / PA_USEC_PER_MSEC;
    FRequestBytes = std::min<size_t>(granted->minreq, granted->tlength / 4);
    FDeviceName = pa_stream_get_device_name(FStream) ? pa_stream_get_device_name(FStream) : "";
}

void TSVPulseStream::CheckFlowing() {
    if (!IsFlowing(FStream))
        throw EDeviceError(FWho + ": " + FConnection->LastError());
}

void TSVPulseStream::NoteLatency() {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(FStream, &latency, &negative) < 0)
        return; // no timing information yet
    FLatencySum =
        FLatencySum.load() + (negative ? 0.0 : static_cast<double>(latency) / PA_USEC_PER_MSEC);
    ++FLatencyReadings;
}

double TSVPulseStream::GetMeasuredLatency() const noexcept {
    const uint64_t readings = FLatencyReadings.load();
    return readings == 0 ? 0 : FLatencySum.load() / static_cast<double>(readings);
}

std::string TSVPulseStream::GetDeviceName() const {
    return FDeviceName;
}

void TSVPulseStream::Write(const uint8_t* ABytes, size_t ALength) {
    // Small buffers are gathered up to the server's request size: each write from this thread
    // wakes libpulse's, and the server asks for no less anyway.
    if (FPending.size() + ALength < FRequestBytes) {
        FPending.insert(FPending.end(), ABytes, ABytes + ALength);
        return;
    }
    TSVPulseConnection::TLock lock(*FConnection);
    if (!FPending.empty()) {
        FPending.insert(FPending.end(), ABytes, ABytes + ALength);
        WriteLocked(lock, FPending.data(), FPending.size());
        FPending.clear();
    } else {
        WriteLocked(lock, ABytes, ALength);
    }
}

void TSVPulseStream::WriteLocked(TSVPulseConnection::TLock& ALock, const uint8_t* ABytes,
                                 size_t ALength) {
    while (ALength > 0) {
        size_t room = 0;
        const bool ready = FConnection->WaitFor(ALock, [&] {
            if (!IsFlowing(FStream))
                return true;
            // Whatever fits goes at once: a stream that has not started waits for its buffer
            // to fill, so waiting here for more room would wait for ever.
            room = pa_stream_writable_size(FStream);
            return room > 0;
        });
        CheckFlowing();
        if (!ready)
            throw EDeviceError(FWho + ": the device took no audio for " +
                               std::to_string(TSVPulseConnection::KAnswerTimeout.count() / 1000) +
                               " s");
        // Whole frames only; the server takes a frame more than it asked for.
        const size_t length =
            std::max(std::min(room, ALength) / FFrameBytes, size_t{1}) * FFrameBytes;
        if (pa_stream_write(FStream, ABytes, std::min(length, ALength), nullptr, 0,
                            PA_SEEK_RELATIVE) < 0)
            throw EDeviceError(FWho + ": " + FConnection->LastError());
        ABytes += std::min(length, ALength);
        ALength -= std::min(length, ALength);
        NoteLatency();
    }
}

void TSVPulseStream::Drain() {
    TSVPulseConnection::TLock lock(*FConnection);
    CheckFlowing();
    WriteLocked(lock, FPending.data(), FPending.size());
    FPending.clear();
    FDraining = true;
    // A stream shorter than the prebuffer has not started yet: start it, then wait it out.
    if (pa_operation* trigger = pa_stream_trigger(FStream, nullptr, nullptr))
        pa_operation_unref(trigger);
    FConnection->Complete(lock, pa_stream_drain(FStream, nullptr, nullptr),
                          FWho + ": cannot play out the stream");
}

size_t TSVPulseStream::Read(uint8_t* ABytes, size_t ALength) {
    ALength -= ALength % FFrameBytes;
    TSVPulseConnection::TLock lock(*FConnection);
    if (FCorked) {
        CheckFlowing();
        if (pa_operation* uncork = pa_stream_cork(FStream, 0, nullptr, nullptr))
            pa_operation_unref(uncork);
        FCorked = false;
    }
    size_t taken = TakeRecorded(ABytes, ALength);
    while (taken < ALength && !FFinishing) {
        const bool ready = FConnection->WaitFor(lock, [&] {
            return FFinishing || !IsFlowing(FStream) || pa_stream_readable_size(FStream) > 0;
        });
        if (FFinishing)
            break;
        CheckFlowing();
        if (!ready)
            throw EDeviceError(FWho + ": the device gave no audio for " +
                               std::to_string(TSVPulseConnection::KAnswerTimeout.count() / 1000) +
                               " s");
        const void* data = nullptr;
        size_t length = 0;
        if (pa_stream_peek(FStream, &data, &length) < 0)
            throw EDeviceError(FWho + ": " + FConnection->LastError());
        if (length == 0)
            continue;
        if (data) {
            const auto* bytes = static_cast<const uint8_t*>(data);
            FCarry.insert(FCarry.end(), bytes, bytes + length);
        } else {
            // A hole: the server lost that much audio. It reads as silence, and counts.
            const uint8_t silence = FSpec.format == PA_SAMPLE_U8 ? 0x80 : 0;
            FCarry.insert(FCarry.end(), length, silence);
            OnXrun(FStream, this);
        }
        pa_stream_drop(FStream);
        taken += TakeRecorded(ABytes + taken, ALength - taken);
        NoteLatency();
    }
    // What is left of a finished stream goes out in whole frames.
    return taken - taken % FFrameBytes;
}

size_t TSVPulseStream::TakeRecorded(uint8_t* ABytes, size_t ALength) {
    const size_t length = std::min(ALength, FCarry.size());
    if (length == 0)
        return 0; // an empty carry has no data pointer to copy from
    std::memcpy(ABytes, FCarry.data(), length);
    FCarry.erase(FCarry.begin(), FCarry.begin() + static_cast<ptrdiff_t>(length));
    return length;
}

void TSVPulseStream::Finish() {
    FFinishing = true;
    FConnection->Signal();
}

void TSVPulseStream::OnStreamEvent(pa_stream*, void* AUserData) {
    static_cast<TSVPulseStream*>(AUserData)->FConnection->Signal();
}

void TSVPulseStream::OnXrun(pa_stream*, void* AUserData) {
    auto& stream = *static_cast<TSVPulseStream*>(AUserData);
    if (stream.FDraining)
        return;
    const uint64_t count = ++stream.FXruns;
    if (stream.FOnXrun)
        stream.FOnXrun(count);
}

} // namespace sonvera
