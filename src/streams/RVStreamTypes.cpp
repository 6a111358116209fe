#include "sonvera/streams/RVStreamTypes.h"

#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

constinit TUnitInitCounter GRVStreamTypesCounter;

} // namespace

const TPXPinAttributes& TPXRVGraphSourcePin::ClassAttributes() {
    static const TPXPinAttributes attributes{{"Graph"}, {{IID_IPXRVGraphStream}}};
    return attributes;
}

TPXRVGraphSourcePin::TPXRVGraphSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                                         TRef<IChangeNotifyLock> AOwnerLock,
                                         uint32_t AMaxConnections,
                                         TPXDispatchHandler APinNotificationEvent)
    : TPXBasicDispatchSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                                std::move(APinNotificationEvent)) {
    PopulateTypes(ClassAttributes(), true, IntNotificationHandler);
}

bool TPXRVGraphSourcePin::IntNotificationHandler(TPXPin* ASender, TPXPin* ATarget,
                                                 const TGUID& AStreamId,
                                                 const TRef<IPXNotifyOperation>& AOperation,
                                                 uint32_t AState) {
    if (ATarget->SupportsStream(IID_IPXRVGraphStream))
        ATarget->DispatchData(ASender, AStreamId, AOperation, AState);
    return false;
}

TPXRVGraphSinkPin::TPXRVGraphSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                                     TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                                     TPXDispatchHandler AHandler)
    : TQXPXSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                   std::move(AHandler)) {
    PopulateTypes(TPXRVGraphSourcePin::ClassAttributes(), true);
}

void InitializeRVStreamTypes() {
    GRVStreamTypesCounter.Initialize(
        [] { PXRegisterStream(IID_IPXRVGraphStream, {"DirectShow Graph Synchronization"}); });
}

void FinalizeRVStreamTypes() {
    GRVStreamTypesCounter.Finalize([] { PXUnregisterStream(IID_IPXRVGraphStream); });
}

} // namespace sonvera
