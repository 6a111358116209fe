#include "sonvera/platform/pins/PXPins.h"

#include <algorithm>
#include <unordered_map>

#include "sonvera/platform/pins/PXFormatConverter.h"
#include "sonvera/platform/pins/PXPinList.h"

namespace sonvera {

namespace {

// The pins the calling thread is delivering through, innermost last, so that a change made
// from inside a delivery does not wait for that delivery.
thread_local std::vector<const TPXPin*> GDeliveringPins;

constexpr int KChangeSpins = 4096;

} // namespace

// Counts a delivery in on a pin for as long as it reads the pin's connection list.
class TPXDeliveryScope {
public:
    explicit TPXDeliveryScope(const TPXPin& APin) : FPin(APin) {
        FPin.FDeliveries.fetch_add(1);
        GDeliveringPins.push_back(&APin);
    }
    ~TPXDeliveryScope() {
        GDeliveringPins.pop_back();
        FPin.FDeliveries.fetch_sub(1);
        if (FPin.FWaitingChanges.load() != 0)
            FPin.FDeliveries.notify_all();
    }
    TPXDeliveryScope(const TPXDeliveryScope&) = delete;
    TPXDeliveryScope& operator=(const TPXDeliveryScope&) = delete;

private:
    const TPXPin& FPin;
};

namespace {

// Pins by owner, for PXPinsOf. Never destroyed: pins of static objects go at unload.
struct TOwnedPins {
    std::mutex Lock;
    std::unordered_map<const TPersistent*, std::vector<TPXPin*>> ByOwner;
};

TOwnedPins& OwnedPins() {
    static TOwnedPins& pins = *new TOwnedPins;
    return pins;
}

void AddOwnedPin(TPXPin* APin) {
    if (!APin->GetOwner())
        return;
    TOwnedPins& pins = OwnedPins();
    std::lock_guard<std::mutex> guard(pins.Lock);
    pins.ByOwner[APin->GetOwner()].push_back(APin);
}

void RemoveOwnedPin(TPXPin* APin) noexcept {
    if (!APin->GetOwner())
        return;
    TOwnedPins& pins = OwnedPins();
    std::lock_guard<std::mutex> guard(pins.Lock);
    const auto owner = pins.ByOwner.find(APin->GetOwner());
    if (owner == pins.ByOwner.end())
        return;
    std::erase(owner->second, APin);
    if (owner->second.empty())
        pins.ByOwner.erase(owner);
}

} // namespace

std::vector<TPXPin*> PXPinsOf(const TPersistent* AOwner) {
    TOwnedPins& pins = OwnedPins();
    std::lock_guard<std::mutex> guard(pins.Lock);
    const auto owner = pins.ByOwner.find(AOwner);
    return owner == pins.ByOwner.end() ? std::vector<TPXPin*>{} : owner->second;
}

TPXPin::TPXPin(bool AIsSource, TPersistent* AOwner, const TPXPinCreated& AOnCreated,
               TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
               TPXDispatchHandler AHandler)
    : FIsSource(AIsSource), FOwner(AOwner), FComponent(AOwner),
      FOwnerLock(AOwnerLock ? std::move(AOwnerLock) : TChangeNotifyLock::Create()),
      FMaxConnections(AMaxConnections), FHandler(std::move(AHandler)), FLinks(new TLinks()) {
    AddOwnedPin(this);
    try {
        if (AOnCreated)
            AOnCreated(this);
    } catch (...) {
        RemoveOwnedPin(this);
        delete FLinks.load();
        throw;
    }
}

TPXPin::~TPXPin() {
    DisconnectAll();
    // A converter whose far side went away first is no longer reached through a partner.
    std::vector<std::unique_ptr<TPXFormatConverter>> converters;
    {
        std::lock_guard<std::mutex> guard(FChangeLock);
        converters.swap(FConverters);
    }
    for (auto& converter : converters)
        TearDownConverter(std::move(converter));
    // An owner may still be notifying this pin on another thread although nothing is connected.
    WaitForOtherDeliveries();
    if (FPinList)
        FPinList->Forget(this);
    RemoveOwnedPin(this);
    delete FLinks.load();
}

void TPXPin::PopulateTypes(const TPXPinAttributes& AAttributes, bool AReplace,
                           TPXNotificationHandler AHandler) {
    if (AReplace)
        FStreamTypes.clear();
    FName = AAttributes.Name.Name;
    for (const BVPXDataTypeAttribute& type : AAttributes.DataTypes)
        if (!SupportsStream(type.DataType))
            FStreamTypes.push_back({type.DataType, AHandler});
}

bool TPXPin::SupportsStream(const TGUID& AStreamId) const noexcept {
    return std::any_of(FStreamTypes.begin(), FStreamTypes.end(),
                       [&](const TStreamType& AType) { return AType.Id == AStreamId; });
}

std::vector<TGUID> TPXPin::GetStreamTypes() const {
    std::vector<TGUID> ids;
    for (const TStreamType& type : FStreamTypes)
        ids.push_back(type.Id);
    return ids;
}

TPXNotificationHandler TPXPin::HandlerFor(const TGUID& AStreamId) const {
    for (const TStreamType& type : FStreamTypes)
        if (type.Id == AStreamId && type.Handler)
            return type.Handler;
    return PXDefaultHandler(AStreamId);
}

// --- Connection -----------------------------------------------------------------------------

bool TPXPin::Connect(TPXPin* AOther) {
    if (!AOther || AOther == this || AOther->IsSource() == IsSource())
        return false;
    if (!IsSource())
        return AOther->Connect(this);
    for (const TStreamType& type : FStreamTypes)
        if (AOther->SupportsStream(type.Id))
            return IntConnect(AOther, nullptr, type.Id, true);
    return ConnectThroughConverter(AOther);
}

bool TPXPin::IntConnect(TPXPin* APin, TPXPin* AAfter, const TGUID& AStreamId, bool) {
    std::scoped_lock locks(FChangeLock, APin->FChangeLock);
    if (IsConnectedTo(APin) || Full() || APin->Full())
        return false;
    AddLink(APin, AAfter, AStreamId);
    APin->AddLink(this, nullptr, AStreamId);
    return true;
}

bool TPXPin::ConnectThroughConverter(TPXPin* ASink) {
    TPXFormatConverterClass converterClass;
    const TGUID* output = nullptr;
    for (const TStreamType& type : FStreamTypes) {
        for (const TStreamType& sinkType : ASink->FStreamTypes)
            if (PXFindTypeConverter(type.Id, sinkType.Id, converterClass)) {
                output = &sinkType.Id;
                break;
            }
        if (output)
            break;
    }
    if (!output || IsConnectedTo(ASink) || Full() || ASink->Full())
        return false;

    std::unique_ptr<TPXFormatConverter> converter = converterClass.Create();
    TPXFormatConverter* raw = converter.get();
    if (!raw->GetSourcePin()->IntConnect(ASink, nullptr, *output, true))
        return false;
    {
        std::lock_guard<std::mutex> guard(FChangeLock);
        FConverters.push_back(std::move(converter));
    }
    if (IntConnect(raw->GetSinkPin(), nullptr, converterClass.Input, true))
        return true;
    std::unique_ptr<TPXFormatConverter> owned;
    {
        std::lock_guard<std::mutex> guard(FChangeLock);
        auto it = std::find_if(FConverters.begin(), FConverters.end(),
                               [&](const auto& AEntry) { return AEntry.get() == raw; });
        owned = std::move(*it);
        FConverters.erase(it);
    }
    TearDownConverter(std::move(owned));
    return false;
}

bool TPXPin::Disconnect(TPXPin* AOther) {
    if (!AOther || AOther->IsSource() == IsSource())
        return false;
    if (!IsSource())
        return AOther->Disconnect(this);

    TPXPin* linked = nullptr;
    std::unique_ptr<TPXFormatConverter> converter;
    {
        std::lock_guard<std::mutex> guard(FChangeLock);
        for (const TLink& link : CurrentLinks())
            if (PartnerOf(link.Pin) == AOther) {
                linked = link.Pin;
                break;
            }
        if (!linked)
            return false;
        if (linked->FConverter) {
            auto it = std::find_if(FConverters.begin(), FConverters.end(), [&](const auto& AEntry) {
                return AEntry.get() == linked->FConverter;
            });
            converter = std::move(*it);
            FConverters.erase(it);
        } else {
            DropLink(linked);
        }
    }
    if (converter) {
        TearDownConverter(std::move(converter));
        return true;
    }
    WaitForOtherDeliveries();
    linked->RemoveLink(this);
    return true;
}

void TPXPin::TearDownConverter(std::unique_ptr<TPXFormatConverter> AConverter) {
    TPXPin* input = AConverter->GetSinkPin();
    TPXPin* output = AConverter->GetSourcePin();
    RemoveLink(input);
    input->RemoveLink(this);
    output->DisconnectAll();
}

void TPXPin::DisconnectAll() {
    for (TPXPin* partner : GetConnectedPins())
        if (partner)
            Disconnect(partner);
}

bool TPXPin::IsConnected() const {
    return FConnectionCount.load(std::memory_order_relaxed) != 0;
}

bool TPXPin::IsConnectedTo(const TPXPin* AOther) const {
    TPXDeliveryScope scope(*this);
    return std::any_of(CurrentLinks().begin(), CurrentLinks().end(),
                       [&](const TLink& ALink) { return PartnerOf(ALink.Pin) == AOther; });
}

uint32_t TPXPin::ConnectionCount() const {
    TPXDeliveryScope scope(*this);
    return static_cast<uint32_t>(CurrentLinks().size());
}

std::vector<TPXPin*> TPXPin::GetConnectedPins() const {
    TPXDeliveryScope scope(*this);
    std::vector<TPXPin*> pins;
    for (const TLink& link : CurrentLinks())
        pins.push_back(PartnerOf(link.Pin));
    return pins;
}

TPXPin* TPXPin::PartnerOf(TPXPin* ALinked) {
    const TPXFormatConverter* converter = ALinked->FConverter;
    if (!converter)
        return ALinked;
    const TPXPin* far =
        ALinked == converter->GetSinkPin() ? converter->GetSourcePin() : converter->GetSinkPin();
    TPXDeliveryScope scope(*far);
    const TLinks& links = far->CurrentLinks();
    return links.empty() ? nullptr : links.front().Pin;
}

bool TPXPin::HasLinkTo(const TPXPin* APin) const {
    const TLinks& links = CurrentLinks();
    return std::any_of(links.begin(), links.end(),
                       [&](const TLink& ALink) { return ALink.Pin == APin; });
}

bool TPXPin::Full() const {
    return FMaxConnections != 0 && CurrentLinks().size() >= FMaxConnections;
}

void TPXPin::AddLink(TPXPin* APin, TPXPin* AAfter, const TGUID& AStreamId) {
    auto links = std::make_unique<TLinks>(CurrentLinks());
    auto at = std::find_if(links->begin(), links->end(),
                           [&](const TLink& ALink) { return ALink.Pin == AAfter; });
    links->insert(at == links->end() ? at : at + 1, TLink{APin, AStreamId, HandlerFor(AStreamId)});
    Publish(std::move(links));
}

bool TPXPin::DropLink(const TPXPin* APin) {
    if (!HasLinkTo(APin))
        return false;
    auto links = std::make_unique<TLinks>(CurrentLinks());
    std::erase_if(*links, [&](const TLink& ALink) { return ALink.Pin == APin; });
    Publish(std::move(links));
    return true;
}

bool TPXPin::RemoveLink(const TPXPin* APin) {
    {
        std::lock_guard<std::mutex> guard(FChangeLock);
        if (!DropLink(APin))
            return false;
    }
    WaitForOtherDeliveries();
    return true;
}

// --- Publishing a list while deliveries read it ----------------------------------------------

void TPXPin::Publish(std::unique_ptr<TLinks> ALinks) {
    FConnectionCount = static_cast<uint32_t>(ALinks->size());
    FRetired.emplace_back(FLinks.exchange(ALinks.release()));
    ReclaimRetired();
}

void TPXPin::ReclaimRetired() {
    // A delivery counts itself in before it reads the list pointer, so with no delivery
    // counted every later one reads the current list, which is never among the retired.
    if (FDeliveries.load() == 0)
        FRetired.clear();
}

void TPXPin::WaitForOtherDeliveries() {
    const int32_t own = DeliveriesOfThisThread();
    // A source that streams back to back leaves only short gaps between deliveries: look for
    // one briefly before sleeping, as a sleeper wakes too late to see most of them.
    for (int spin = 0; spin < KChangeSpins; ++spin) {
        if (FDeliveries.load() <= own)
            break;
        __builtin_ia32_pause();
    }
    FWaitingChanges.fetch_add(1);
    for (int32_t count = FDeliveries.load(); count > own; count = FDeliveries.load())
        FDeliveries.wait(count);
    FWaitingChanges.fetch_sub(1);
    std::lock_guard<std::mutex> guard(FChangeLock);
    ReclaimRetired();
}

int32_t TPXPin::DeliveriesOfThisThread() const noexcept {
    return static_cast<int32_t>(std::count(GDeliveringPins.begin(), GDeliveringPins.end(), this));
}

// --- Delivery --------------------------------------------------------------------------------

bool TPXPin::StillLinked(const TLink& ALink, const TLinks& ASnapshot) const {
    // The list changes under a delivery only when this thread changed it from inside the
    // delivery, or while another thread's change waits for the delivery to end.
    return FLinks.load(std::memory_order_relaxed) == &ASnapshot || HasLinkTo(ALink.Pin);
}

bool TPXPin::Notify(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    TPXDeliveryScope scope(*this);
    const TLinks& links = CurrentLinks();
    bool result = false;
    for (const TLink& link : links)
        if (StillLinked(link, links))
            result = link.Handler(this, link.Pin, link.StreamId, AOperation, AState) || result;
    return result;
}

bool TPXPin::NotifyPin(TPXPin* APin, const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    TPXDeliveryScope scope(*this);
    for (const TLink& link : CurrentLinks())
        if (link.Pin == APin || PartnerOf(link.Pin) == APin)
            return link.Handler(this, link.Pin, link.StreamId, AOperation, AState);
    return false;
}

bool TPXPin::DispatchData(TPXPin* ASender, const TGUID& AStreamId,
                          const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    return FHandler ? FHandler(this, ASender, AStreamId, AOperation, AState) : false;
}

void TPXPin::AddDependency(TPXPin* APin) {
    std::lock_guard<std::mutex> guard(FChangeLock);
    if (APin && std::find(FDependencies.begin(), FDependencies.end(), APin) == FDependencies.end())
        FDependencies.push_back(APin);
}

std::vector<TPXPin*> TPXPin::GetDependencies() const {
    std::lock_guard<std::mutex> guard(FChangeLock);
    return FDependencies;
}

// --- Pins of the framework -------------------------------------------------------------------

TPXBasicDispatchSourcePin::TPXBasicDispatchSourcePin(TPersistent* AOwner,
                                                     const TPXPinCreated& AOnCreated,
                                                     TRef<IChangeNotifyLock> AOwnerLock,
                                                     uint32_t AMaxConnections,
                                                     TPXDispatchHandler AHandler)
    : TPXSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                   std::move(AHandler)) {
    PopulateTypes({{"Output"}, {}}, true);
}

const TPXPinAttributes& TPXClockSourcePin::ClassAttributes() {
    static const TPXPinAttributes attributes{{"Clock"}, {{IID_IPXClockStream}}};
    return attributes;
}

TPXClockSourcePin::TPXClockSourcePin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                                     TRef<IChangeNotifyLock> AOwnerLock, uint32_t AMaxConnections,
                                     TPXDispatchHandler AHandler)
    : TPXBasicDispatchSourcePin(AOwner, AOnCreated, std::move(AOwnerLock), AMaxConnections,
                                std::move(AHandler)) {
    PopulateTypes(ClassAttributes(), true);
}

TPXClockSinkPin::TPXClockSinkPin(TPersistent* AOwner, const TPXPinCreated& AOnCreated,
                                 TRef<IChangeNotifyLock> AOwnerLock, TPXDispatchHandler AHandler)
    : TPXSinkPin(AOwner, AOnCreated, std::move(AOwnerLock), 1, std::move(AHandler)) {
    PopulateTypes(TPXClockSourcePin::ClassAttributes(), true);
}

} // namespace sonvera
