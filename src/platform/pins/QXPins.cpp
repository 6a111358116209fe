#include "sonvera/platform/pins/QXPins.h"

namespace sonvera {

bool DefaultQXChannelNotificationHandler(TPXPin* ASender, TPXPin* ATarget, const TGUID& AStreamId,
                                         const TRef<IPXNotifyOperation>& AOperation,
                                         uint32_t AState) {
    // Connections are only made over a stream both pins carry.
    return ATarget->DispatchData(ASender, AStreamId, AOperation, AState);
}

TQXPXSinkPin::TQXPXSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                           TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                           TPXDispatchHandler AHandler)
    : TPXSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections, std::move(AHandler)) {
    PopulateTypes({{"Input"}, {}}, true);
}

TQXPXClockableSourcePin::TQXPXClockableSourcePin(TPersistent* AOwner,
                                                 const TPXPinCreated& AOnCreated,
                                                 TRef<IChangeNotifyLock> AOwnerLock,
                                                 uint32_t AMaxConnections,
                                                 TPXDispatchHandler AHandler)
    : TPXBasicDispatchSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                                std::move(AHandler)) {}

bool TQXPXClockableSourcePin::SubmitBuffer(const TRef<IQXData>& AData) {
    return Notify(TPXSuppliedBufferOperation::Create(AData));
}

#define SONVERA_QX_STREAM_PIN_BODY(TClass, TBase, AName, AStream)                                  \
    const TPXPinAttributes& TClass::ClassAttributes() {                                            \
        static const TPXPinAttributes attributes{{AName}, {{AStream}}};                            \
        return attributes;                                                                         \
    }                                                                                              \
    TClass::TClass(TPersistent* AOwner, const TPXPinCreated& AOnCreated,                           \
                   TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)                \
        : TBase(AOwner, AOnCreated, std::move(AOwnerLock), std::move(AHandler)) {                  \
        PopulateTypes(ClassAttributes(), true);                                                    \
    }

SONVERA_QX_STREAM_PIN_BODY(TQXPXIntegerSourcePin, TQXPXClockableSourcePin, "Integer",
                           IID_IPXQXIntegerStream)
SONVERA_QX_STREAM_PIN_BODY(TQXPXRealSourcePin, TQXPXClockableSourcePin, "Real", IID_IPXQXRealStream)
SONVERA_QX_STREAM_PIN_BODY(TQXPXBinarySourcePin, TQXPXClockableSourcePin, "Binary",
                           IID_IPXQXBinaryStream)
SONVERA_QX_STREAM_PIN_BODY(TQXPXIntegerSinkPin, TQXPXSinkPin, "Integer", IID_IPXQXIntegerStream)
SONVERA_QX_STREAM_PIN_BODY(TQXPXRealSinkPin, TQXPXSinkPin, "Real", IID_IPXQXRealStream)
SONVERA_QX_STREAM_PIN_BODY(TQXPXBinarySinkPin, TQXPXSinkPin, "Binary", IID_IPXQXBinaryStream)

#undef SONVERA_QX_STREAM_PIN_BODY

} // namespace sonvera
