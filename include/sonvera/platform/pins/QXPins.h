// The pins of the basic signal package: sinks, and sources that submit data buffers, for
// integer, real and binary streams. Audio pins build on them.
#pragma once

#include "sonvera/platform/pins/PXPins.h"

namespace sonvera {

// Delivers through the target's dispatch entry; the default handler of channel streams.
bool DefaultQXChannelNotificationHandler(TPXPin* ASender, TPXPin* ATarget, const TGUID& AStreamId,
                                         const TRef<IPXNotifyOperation>& AOperation,
                                         uint32_t AState);

// A sink pin: every arriving operation goes to the owner's dispatch handler. One connection
// unless another maximum is given.
class TQXPXSinkPin : public TPXSinkPin {
public:
    TQXPXSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                 TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                 TPXDispatchHandler AHandler);
    TQXPXSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                 TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
        : TQXPXSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), 1, std::move(AHandler)) {}
};

// A source pin of data buffers, which the owner's clock or pump drives.
class TQXPXClockableSourcePin : public TPXBasicDispatchSourcePin {
public:
    TQXPXClockableSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                            TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                            TPXDispatchHandler AHandler);
    TQXPXClockableSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                            TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
        : TQXPXClockableSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), 0,
                                  std::move(AHandler)) {}

    // Delivers AData, shared, in a new supplied-buffer operation; Notify's result.
    bool SubmitBuffer(const TRef<IQXData>& AData);
};

// Declares a pin class of one stream type over ABase.
#define SONVERA_QX_STREAM_PIN(TClass, TBase)                                                       \
    class TClass : public TBase {                                                                  \
    public:                                                                                        \
        static const TPXPinAttributes& ClassAttributes();                                          \
        TClass(TPersistent* AOwner, const TPXPinCreated& AOnCreated,                               \
               TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler);                   \
    }

SONVERA_QX_STREAM_PIN(TQXPXIntegerSourcePin, TQXPXClockableSourcePin);
SONVERA_QX_STREAM_PIN(TQXPXRealSourcePin, TQXPXClockableSourcePin);
SONVERA_QX_STREAM_PIN(TQXPXBinarySourcePin, TQXPXClockableSourcePin);
SONVERA_QX_STREAM_PIN(TQXPXIntegerSinkPin, TQXPXSinkPin);
SONVERA_QX_STREAM_PIN(TQXPXRealSinkPin, TQXPXSinkPin);
SONVERA_QX_STREAM_PIN(TQXPXBinarySinkPin, TQXPXSinkPin);

#undef SONVERA_QX_STREAM_PIN

} // namespace sonvera
