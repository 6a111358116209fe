#include "sonvera/platform/pins/PXStreamRegistry.h"

#include "PXCountedRegistry.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

struct TDefaultHandler {
    TGUID Id;
    TPXNotificationHandler Handler;
};

// Registries are never destroyed: units unregister at unload, which may run after the
// destructors of statics made during start-up.
TPXCountedRegistry<TGUID, TPXStreamInfo>& Streams() {
    static auto& registry = *new TPXCountedRegistry<TGUID, TPXStreamInfo>();
    return registry;
}

TPXCountedRegistry<TGUID, TDefaultHandler>& DefaultHandlers() {
    static auto& registry = *new TPXCountedRegistry<TGUID, TDefaultHandler>();
    return registry;
}

const std::vector<TPXStreamInfo>& BasicStreams() {
    static const std::vector<TPXStreamInfo> streams = {
        {IID_IPXBasicStream, "Basic Stream"}, {IID_IPXClockStream, "Clock"},
        {IID_IPXQXChannelStream, "Channel"},  {IID_IPXQXIntegerStream, "Integer Buffer"},
        {IID_IPXQXRealStream, "Real Buffer"}, {IID_IPXQXBinaryStream, "Binary Buffer"}};
    return streams;
}

constinit TUnitInitCounter GPXStreamsCounter;

} // namespace

bool DefaultPXNotificationHandler(TPXPin* ASender, TPXPin* ATarget, const TGUID& AStreamId,
                                  const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    return ATarget->DispatchData(ASender, AStreamId, AOperation, AState);
}

void PXRegisterStream(const TGUID& AId, const NameAttribute& AName) {
    Streams().Register(
        {{AId, AName.Name}}, [](const TPXStreamInfo& AInfo) { return AInfo.Id; },
        [](const TPXStreamInfo& A, const TPXStreamInfo& B) { return A.Name == B.Name; });
}

void PXUnregisterStream(const TGUID& AId) {
    Streams().Unregister(AId);
}

std::vector<TPXStreamInfo> PXRegisteredStreams() {
    return Streams().Entries();
}

std::string PXStreamName(const TGUID& AId) {
    const auto info = Streams().Lookup(AId);
    return info ? info->Name : std::string();
}

void PXRegisterDefaultHandler(const TGUID& AId, TPXNotificationHandler AHandler) {
    if (!AHandler) {
        DefaultHandlers().Unregister(AId);
        return;
    }
    DefaultHandlers().Register(
        {{AId, AHandler}}, [](const TDefaultHandler& AEntry) { return AEntry.Id; },
        [](const TDefaultHandler& A, const TDefaultHandler& B) { return A.Handler == B.Handler; });
}

TPXNotificationHandler PXDefaultHandler(const TGUID& AId) {
    const auto entry = DefaultHandlers().Lookup(AId);
    return entry ? entry->Handler : DefaultPXNotificationHandler;
}

std::vector<TGUID> PXRegisteredDefaultHandlers() {
    std::vector<TGUID> ids;
    for (const TDefaultHandler& entry : DefaultHandlers().Entries())
        ids.push_back(entry.Id);
    return ids;
}

void InitializePXStreams() {
    GPXStreamsCounter.Initialize([] {
        for (const TPXStreamInfo& stream : BasicStreams())
            PXRegisterStream(stream.Id, {stream.Name});
    });
}

void FinalizePXStreams() {
    GPXStreamsCounter.Finalize([] {
        for (const TPXStreamInfo& stream : BasicStreams())
            PXUnregisterStream(stream.Id);
    });
}

} // namespace sonvera
