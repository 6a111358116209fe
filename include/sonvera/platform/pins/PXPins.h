// Pins: the end points by which components are connected into a graph, and the synchronous
// delivery of operations along their connections.
//
// A connection always runs from a source pin (downstream side of a component's output) to a
// sink pin; both pins list each other. Notify on a source delivers to every connected sink, on
// a sink to its connected source(s), in connection order, on the calling thread: each target
// pin's dispatch handler runs before Notify returns. A registered format converter may stand
// between a source and a sink whose stream types differ; it is created by Connect, owned by
// the source pin and destroyed by Disconnect.
//
// Delivery racing (dis)connection. Each pin publishes its connections as an immutable list and
// counts the deliveries that are reading it. A delivery counts itself in, reads the current
// list and delivers; it never blocks on a lock. A change publishes a new list and then waits
// until every delivery that might still read the old one has finished, so that:
//   - once Disconnect returns, no delivery between the two pins is running or can start, and
//     either pin may be destroyed (a pin's destructor disconnects it the same way);
//   - a delivery never reaches a pin that was disconnected before the delivery began.
// A pin may be (dis)connected from inside a delivery that passes through it (a handler that
// disconnects its own sink, say): the change does not wait for its own thread's delivery, and
// that delivery skips the pins the change removed. Destroying a pin from inside a delivery that
// passes through it is not allowed.
//
// Lock order. Changes wait for deliveries on other threads, so a thread must not (dis)connect
// or destroy pins while holding a lock that a delivery may wait for: a component lock (a
// generator tick holds its component lock across the delivery), or the main thread while a
// delivery waits for the main thread (TMainThread::Synchronize). Changes of the two pins of
// one connection are made one pin after the other; no change holds two pins' change locks
// while it waits. The owner lock given at construction belongs to the owner and is taken only
// by pin classes that say so.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sonvera/platform/pins/PXNotifyOperations.h"
#include "sonvera/platform/pins/PXStreamRegistry.h"
#include "sonvera/platform/runtime/ChangeNotify.h"

namespace sonvera {

class TPXPin;
class TPXPinList;
class TPXFormatConverter;

// Receives every operation that arrives at a pin: the receiving pin, the pin it came from, the
// stream, the operation and the state flags; the result goes back to the notifier.
using TPXDispatchHandler =
    std::function<bool(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                       const TRef<IPXNotifyOperation>& AOperation, uint32_t AState)>;
// The dispatch handler of a pin AComponent owns: every operation goes to AComponent's AMethod
// (virtual methods dispatch as usual).
template <class TComponent, class TMethodOwner>
TPXDispatchHandler PXDispatchTo(TComponent* AComponent,
                                bool (TMethodOwner::*AMethod)(TPXPin*, TPXPin*, const TGUID&,
                                                              const TRef<IPXNotifyOperation>&,
                                                              uint32_t)) {
    return [AComponent, AMethod](TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                                 const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
        return (AComponent->*AMethod)(AReceiving, AOther, AStreamId, AOperation, AState);
    };
}
// Receives a new pin before its constructor returns. It must not take ownership of the pin
// (the creator owns what it created), except the setter of a TPXPinList.
using TPXPinCreated = std::function<void(TPXPin* APin)>;

class TPXPin {
public:
    TPXPin(const TPXPin&) = delete;
    TPXPin& operator=(const TPXPin&) = delete;
    // Disconnects every connection (waiting for deliveries on other threads to finish).
    virtual ~TPXPin();

    bool IsSource() const noexcept { return FIsSource; }
    TPersistent* GetOwner() const noexcept { return FOwner; }
    IChangeNotifyLock& GetOwnerLock() const noexcept { return *FOwnerLock; }
    const std::string& GetName() const noexcept { return FName; }
    uint32_t GetMaxConnections() const noexcept { return FMaxConnections; }
    // The component a pin of a sub-object (an element, a converter) belongs to; by default
    // its owner.
    TPersistent* GetComponent() const noexcept { return FComponent; }
    void SetComponent(TPersistent* AComponent) noexcept { FComponent = AComponent; }

    // Stream types. PopulateTypes takes the display name and stream types of AAttributes;
    // with AReplace the types populated before are dropped (a class replacing its parent's).
    // Operations of these types reach this pin through AHandler, or when it is null through
    // the stream's registered default handler. Types are populated by constructors only.
    void PopulateTypes(const TPXPinAttributes& AAttributes, bool AReplace,
                       TPXNotificationHandler AHandler = nullptr);
    bool SupportsStream(const TGUID& AStreamId) const noexcept;
    std::vector<TGUID> GetStreamTypes() const;

    // Connects this pin with AOther (either direction): false, and nothing changes, when both
    // are sources or both sinks, when they share no stream type and no converter joins them,
    // when they are connected already or when either has reached its maximum.
    bool Connect(TPXPin* AOther);
    // False when the two are not connected.
    bool Disconnect(TPXPin* AOther);
    void DisconnectAll();
    bool IsConnected() const;
    bool IsConnectedTo(const TPXPin* AOther) const;
    uint32_t ConnectionCount() const;
    // The connected pins, in connection order; for a connection through a converter, the pin
    // on the converter's far side.
    std::vector<TPXPin*> GetConnectedPins() const;

    // Delivers AOperation to every connected pin; true when any handler returned true.
    virtual bool Notify(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState = 0);
    // Delivers to APin only, if it is connected; false otherwise.
    bool NotifyPin(TPXPin* APin, const TRef<IPXNotifyOperation>& AOperation, uint32_t AState = 0);
    // The stream's dispatch entry: hands an arriving operation to this pin's dispatch handler.
    bool DispatchData(TPXPin* ASender, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

    // The pins whose data this pin's data is made from (an output pin lists the input that
    // feeds it), so that the graph can be followed upstream.
    void AddDependency(TPXPin* APin);
    std::vector<TPXPin*> GetDependencies() const;

    // The converter this pin belongs to, or null.
    TPXFormatConverter* GetConverter() const noexcept { return FConverter; }

protected:
    // AOwner: the owning component or object (not owned). AOwnerLock: the owner's lock; null
    // gives the pin a lock of its own. AMaxConnections: 0 for no limit.
    TPXPin(bool AIsSource, TPersistent* AOwner, const TPXPinCreated& AOnCreated,
           TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
           TPXDispatchHandler AHandler);

    // Connects APin (already checked as a partner by Connect) over AStreamId, after AAfter in
    // the connection order (null: at the end). Both pins list each other when it returns true.
    // With ANotify the pins are told about the new connection (see overrides).
    virtual bool IntConnect(TPXPin* APin, TPXPin* AAfter, const TGUID& AStreamId, bool ANotify);

private:
    friend class TPXFormatConverter;
    friend class TPXPinList;
    friend class TPXDeliveryScope;

    struct TLink {
        TPXPin* Pin; // the pin delivered to: the partner, or a converter's pin
        TGUID StreamId;
        TPXNotificationHandler Handler;
    };
    using TLinks = std::vector<TLink>;
    struct TStreamType {
        TGUID Id;
        TPXNotificationHandler Handler;
    };

    TPXNotificationHandler HandlerFor(const TGUID& AStreamId) const;
    // The list a delivery or a holder of FChangeLock reads.
    const TLinks& CurrentLinks() const noexcept { return *FLinks.load(); }
    bool StillLinked(const TLink& ALink, const TLinks& ASnapshot) const;

    // Under FChangeLock: replaces the list, keeping the old one until no delivery reads it.
    void Publish(std::unique_ptr<TLinks> ALinks);
    void ReclaimRetired();
    // Without FChangeLock: waits until deliveries of other threads that may still read a
    // replaced list have finished.
    void WaitForOtherDeliveries();
    int32_t DeliveriesOfThisThread() const noexcept;

    bool HasLinkTo(const TPXPin* APin) const;
    bool Full() const;
    // Under FChangeLock.
    void AddLink(TPXPin* APin, TPXPin* AAfter, const TGUID& AStreamId);
    bool DropLink(const TPXPin* APin);
    // Removes the link to APin, if any, and waits for the deliveries that may still use it.
    bool RemoveLink(const TPXPin* APin);
    // The pin as the user sees a connection through ALinked: a converter's far side.
    static TPXPin* PartnerOf(TPXPin* ALinked);
    bool ConnectThroughConverter(TPXPin* ASink);
    void TearDownConverter(std::unique_ptr<TPXFormatConverter> AConverter);

    const bool FIsSource;
    TPersistent* FOwner;
    TPersistent* FComponent;
    TRef<IChangeNotifyLock> FOwnerLock;
    uint32_t FMaxConnections;
    TPXDispatchHandler FHandler;
    std::string FName;
    std::vector<TStreamType> FStreamTypes;
    std::vector<TPXPin*> FDependencies;
    TPXPinList* FPinList = nullptr;
    TPXFormatConverter* FConverter = nullptr;

    // Serializes changes of this pin's connection list (never held while delivering).
    mutable std::mutex FChangeLock;
    std::atomic<const TLinks*> FLinks;
    // The current list's length, for the cheap IsConnected a filter asks per buffer.
    std::atomic<uint32_t> FConnectionCount{0};
    mutable std::atomic<int32_t> FDeliveries{0};
    mutable std::atomic<int32_t> FWaitingChanges{0};
    std::vector<std::unique_ptr<const TLinks>> FRetired; // under FChangeLock
    // Converters standing between this source pin and sinks; under FChangeLock.
    std::vector<std::unique_ptr<TPXFormatConverter>> FConverters;
};

class TPXSourcePin : public TPXPin {
public:
    TPXSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                 TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                 TPXDispatchHandler AHandler)
        : TPXPin(true, AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                 std::move(AHandler)) {}
};

class TPXSinkPin : public TPXPin {
public:
    TPXSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
               TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
               TPXDispatchHandler AHandler)
        : TPXPin(false, AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                 std::move(AHandler)) {}
};

// A source pin whose arriving operations go to its dispatch handler; it carries the stream
// types its subclasses populate.
class TPXBasicDispatchSourcePin : public TPXSourcePin {
public:
    TPXBasicDispatchSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                              TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                              TPXDispatchHandler AHandler);
};

// The clock output of an audio output: carries the clock stream.
class TPXClockSourcePin : public TPXBasicDispatchSourcePin {
public:
    static const TPXPinAttributes& ClassAttributes();
    TPXClockSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                      TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                      TPXDispatchHandler AHandler);
    TPXClockSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                      TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
        : TPXClockSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), 0, std::move(AHandler)) {}
};

// The clock input of a generator: carries the clock stream, so that an output's clock pin can
// pace the generator it is connected to.
class TPXClockSinkPin : public TPXSinkPin {
public:
    TPXClockSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                    TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler);
};

// The pins whose owner is AOwner, in the order they were made: how a chain finds the pins of a
// component it knows only by class. Pins come and go with their owners (a splitter's outputs
// with its channel count); the list is a snapshot.
std::vector<TPXPin*> PXPinsOf(const TPersistent* AOwner);

} // namespace sonvera
