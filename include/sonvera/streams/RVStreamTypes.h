// The graph stream: keeps components that share a media graph informed about it. Its
// operations carry the graph object (not owned); what the graph is belongs to the packages
// that use these pins.
#pragma once

#include "sonvera/platform/pins/QXPins.h"

namespace sonvera {

inline constexpr TGUID IID_IPXRVGraphStream{
    0x3E151076, 0x1292, 0x4D90, {0xAB, 0xDD, 0xC5, 0x30, 0x40, 0xC9, 0x5A, 0xBC}};

class TPXRVGraphOperation : public TPXNotifyOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXRVGraphOperation",
                                                       &TPXNotifyOperation::KOperationClass};
    static TRef<TPXRVGraphOperation> CreateObject(TPersistent* AGraph) {
        return MakeRef<TPXRVGraphOperation>(AGraph);
    }
    static TRef<IPXNotifyOperation> Create(TPersistent* AGraph) { return CreateObject(AGraph); }

    explicit TPXRVGraphOperation(TPersistent* AGraph) : FGraph(AGraph) {
        SetOperationClass(KOperationClass);
    }
    TPersistent* GetGraph() const noexcept { return FGraph; }

protected:
    ~TPXRVGraphOperation() override = default;

private:
    TPersistent* FGraph;
};

// Announces that the graph changed.
class TPXRVGraphChangeOperation : public TPXRVGraphOperation {
public:
    static constexpr TPXOperationClass KOperationClass{"TPXRVGraphChangeOperation",
                                                       &TPXRVGraphOperation::KOperationClass};
    static TRef<TPXRVGraphChangeOperation> CreateObject(TPersistent* AGraph) {
        return MakeRef<TPXRVGraphChangeOperation>(AGraph);
    }
    static TRef<IPXNotifyOperation> Create(TPersistent* AGraph) { return CreateObject(AGraph); }

    explicit TPXRVGraphChangeOperation(TPersistent* AGraph) : TPXRVGraphOperation(AGraph) {
        SetOperationClass(KOperationClass);
    }

protected:
    ~TPXRVGraphChangeOperation() override = default;
};

class TPXRVGraphSourcePin : public TPXBasicDispatchSourcePin {
public:
    static const TPXPinAttributes& ClassAttributes();
    TPXRVGraphSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                        TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                        TPXDispatchHandler APinNotificationEvent);

    // Delivers to a target that carries the graph stream through its dispatch entry. The
    // result is false in every case: graph notices are told, never answered.
    static bool IntNotificationHandler(TPXPin* ASender, TPXPin* ATarget, const TGUID& AStreamId,
                                       const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
};

class TPXRVGraphSinkPin : public TQXPXSinkPin {
public:
    TPXRVGraphSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                      TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                      TPXDispatchHandler AHandler);
    TPXRVGraphSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                      TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
        : TPXRVGraphSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), 1, std::move(AHandler)) {}
};

void InitializeRVStreamTypes();
void FinalizeRVStreamTypes();

} // namespace sonvera
