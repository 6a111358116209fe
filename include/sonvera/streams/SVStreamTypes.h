// How audio travels between components: the audio stream type, the start-wave operation that
// announces the wave format before the first buffer, the audio source and sink pins, and the
// converters that let an audio output feed integer, real or binary inputs.
#pragma once

#include <functional>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/format/GMDXTypes.h"
#include "sonvera/format/SVSpeakers.h"
#include "sonvera/platform/pins/PXFormatConverter.h"
#include "sonvera/platform/pins/QXPins.h"

namespace sonvera {

inline constexpr TGUID IID_IPXSVAudioStream{
    0x1D5BD085, 0x492E, 0x4979, {0x8F, 0x76, 0x9C, 0x97, 0xD5, 0xC3, 0xC5, 0xB6}};

// Announces a stream: its wave format, whether it starts paused, and (inherited) its rate.
// Immutable once built. Channel masks made from a channel count use a 32-bit shift, so counts
// of 32 channels or more are not given a mask.
class TPXStartWaveOperation : public TPXStartSampleRateOperation {
public:
    static constexpr TPXOperationClass KOperationClass{
        "TPXStartWaveOperation", &TPXStartSampleRateOperation::KOperationClass};

    // An extensible PCM record of the given rate, bits and channels, with mask
    // (1 << AChannels) - 1, or ASpeakerMask; rate = ARate.
    static TRef<TPXStartWaveOperation> CreateFormatObject(int32_t ARate, int32_t ABitsPerSample,
                                                          int32_t AChannels, bool APaused);
    static TRef<TPXStartWaveOperation> CreateFormatExObject(int32_t ARate, int32_t ABitsPerSample,
                                                            int32_t AChannels,
                                                            TSVSpeakers ASpeakerMask, bool APaused);
    // The 40 bytes copied verbatim; rate = their samples per second. A null record gives the
    // default format: 11024 Hz (not 11025), stereo, 16 bits.
    static TRef<TPXStartWaveOperation> CreateObject(const TSVWaveFormatExtensible* AWaveFormat,
                                                    bool APaused);
    static TRef<TPXStartWaveOperation> CreateObject(const TSVWaveFormatExtensible& AWaveFormat,
                                                    bool APaused);
    // The 18 bytes of a basic record made extensible (PCM, valid bits = bits, mask from the
    // channel count); rate = ABufferRate, the buffers per second, not the sample rate. A null
    // record gives the default format.
    static TRef<TPXStartWaveOperation>
    CreateWaveObject(float ABufferRate, const tWAVEFORMATEX* AWaveFormat, bool APaused);

    static TRef<IPXNotifyOperation> CreateFormat(int32_t ARate, int32_t ABitsPerSample,
                                                 int32_t AChannels, bool APaused) {
        return CreateFormatObject(ARate, ABitsPerSample, AChannels, APaused);
    }
    static TRef<IPXNotifyOperation> CreateFormatEx(int32_t ARate, int32_t ABitsPerSample,
                                                   int32_t AChannels, TSVSpeakers ASpeakerMask,
                                                   bool APaused) {
        return CreateFormatExObject(ARate, ABitsPerSample, AChannels, ASpeakerMask, APaused);
    }
    static TRef<IPXNotifyOperation> Create(const TSVWaveFormatExtensible* AWaveFormat,
                                           bool APaused) {
        return CreateObject(AWaveFormat, APaused);
    }
    static TRef<IPXNotifyOperation> Create(const TSVWaveFormatExtensible& AWaveFormat,
                                           bool APaused) {
        return CreateObject(AWaveFormat, APaused);
    }
    static TRef<IPXNotifyOperation> CreateWave(float ABufferRate, const tWAVEFORMATEX* AWaveFormat,
                                               bool APaused) {
        return CreateWaveObject(ABufferRate, AWaveFormat, APaused);
    }

    TPXStartWaveOperation(double ARate, const TSVWaveFormatExtensible& AWaveFormat, bool APaused);

    const TSVWaveFormatExtensible& GetWaveFormat() const noexcept { return FWaveFormat; }
    bool GetPaused() const noexcept { return FPaused; }

protected:
    ~TPXStartWaveOperation() override = default;

private:
    TSVWaveFormatExtensible FWaveFormat;
    bool FPaused;
};

// The audio source pin. It remembers the last resume-kind operation (a start-wave operation
// is one) notified through it, until a stop, and replays it to a sink connected while the
// stream runs, so that the late sink learns the format without the rest of the chain seeing
// the operation again. The record is read and written inside the owner lock; the replay is
// delivered outside it.
class TSVPXAudioSourcePin : public TQXPXClockableSourcePin {
public:
    static const TPXPinAttributes& ClassAttributes();
    TSVPXAudioSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                        TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                        TPXDispatchHandler AHandler);
    TSVPXAudioSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                        TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
        : TSVPXAudioSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), 0, std::move(AHandler)) {}

    bool Notify(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState = 0) override;
    // The recorded operation, or null.
    TRef<IPXNotifyOperation> GetResumeOperation() const;

protected:
    bool IntConnect(TPXPin* APin, TPXPin* AAfter, const TGUID& AStreamId, bool ANotify) override;

private:
    TRef<IPXNotifyOperation> FResumeOperation;
};

// The audio sink pin: every arriving operation goes to the owner's dispatch handler.
class TSVPXAudioSinkPin : public TQXPXSinkPin {
public:
    static const TPXPinAttributes& ClassAttributes();
    TSVPXAudioSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                      TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                      TPXDispatchHandler AHandler);
    TSVPXAudioSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                      TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
        : TSVPXAudioSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), 1, std::move(AHandler)) {}
};

// Reports a received buffer: the reporting object and the buffer.
using TSVAudioBufferNotify =
    std::function<void(TPersistent* ASender, const TRef<ISVAudioBuffer>& AData)>;

// Converters from an audio stream. Buffers arrive on the audio sink pin; the integer and real
// converters pass on channel 0 only (the payload must be an audio buffer, else the interface
// cast error reaches the sender), the binary converter passes the payload's bytes as a block
// buffer. Every other operation passes unchanged.
class TPXAudioFormatConverter : public TPXFormatConverter {
protected:
    template <class TSourcePin> void BuildPins();
    virtual TRef<IQXData> ConvertPayload(const TRef<IQXData>& AData) const = 0;

private:
    bool InputOperation(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                        const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
};

class TPXAudioToIntFormatConverter : public TPXAudioFormatConverter {
public:
    TPXAudioToIntFormatConverter();

protected:
    TRef<IQXData> ConvertPayload(const TRef<IQXData>& AData) const override;
};

class TPXAudioToRealFormatConverter : public TPXAudioFormatConverter {
public:
    TPXAudioToRealFormatConverter();

protected:
    TRef<IQXData> ConvertPayload(const TRef<IQXData>& AData) const override;
};

class TPXAudioToBinaryFormatConverter : public TPXAudioFormatConverter {
public:
    TPXAudioToBinaryFormatConverter();

protected:
    TRef<IQXData> ConvertPayload(const TRef<IQXData>& AData) const override;
};

// Registers the audio stream, its default handler and the three converters, in that order.
void InitializeSVStreamTypes();
void FinalizeSVStreamTypes();

} // namespace sonvera
