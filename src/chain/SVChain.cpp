#include "sonvera/chain/SVChain.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <utility>
#include <variant>

#include "sonvera/chain/SVChainDocument.h"
#include "sonvera/chain/SVChainText.h"
#include "sonvera/chain/SVPropertyText.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/ClassAttributes.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

namespace {

using TClock = std::chrono::steady_clock;

// How long the waiting thread sleeps between looks at a stop request and the progress when no
// work arrives: short enough that Ctrl-C ends a run at once.
constexpr auto KWaitSlice = std::chrono::milliseconds(50);
constexpr auto KProgressInterval = std::chrono::milliseconds(250);

std::vector<TPXPin*> PinsOf(const TPersistent& AComponent, bool AOutputs) {
    std::vector<TPXPin*> pins = PXPinsOf(&AComponent);
    std::erase_if(pins, [&](const TPXPin* APin) { return APin->IsSource() != AOutputs; });
    return pins;
}

std::string StreamOf(const TPXPin& APin) {
    std::string name = FoldedName(APin.GetName());
    return name.empty() ? "unnamed" : name;
}

// The property that sets how many APins AComponent has; null where none does.
const TPropertyInfo* PinCounter(const TPersistent& AComponent, TPropertyPins APins) {
    for (const TPropertyInfo& property : AComponent.GetPropertyTable().Properties())
        if (property.CountedPins() == APins)
            return &property;
    return nullptr;
}

// "X has no input 5 (it has 2: 0 to 1)", with the property that adds pins where the component
// has one ("; set inputs=6 for more").
std::string MissingPinText(const TPersistent& AComponent, const std::string& AName,
                           TPropertyPins APins, int32_t AIndex, size_t ACount) {
    std::string text = AName + (APins == ppInputs ? " has no input " : " has no output ") +
                       std::to_string(AIndex) + " (it has " + std::to_string(ACount) +
                       (ACount > 1 ? ": 0 to " + std::to_string(ACount - 1) : std::string());
    if (const TPropertyInfo* counter = PinCounter(AComponent, APins))
        text +=
            "; set " + FoldedName(counter->Name()) + "=" + std::to_string(AIndex + 1) + " for more";
    return text + ")";
}

// Pins to try for a connection: the one asked for, or the free ones first, then the others.
std::vector<TPXPin*> Candidates(const std::vector<TPXPin*>& APins, int32_t AIndex) {
    if (AIndex >= 0)
        return {APins[static_cast<size_t>(AIndex)]};
    std::vector<TPXPin*> ordered;
    for (TPXPin* pin : APins)
        if (!pin->IsConnected())
            ordered.push_back(pin);
    for (TPXPin* pin : APins)
        if (pin->IsConnected())
            ordered.push_back(pin);
    return ordered;
}

uint32_t IndexIn(const std::vector<TPXPin*>& APins, const TPXPin* APin) {
    return static_cast<uint32_t>(std::find(APins.begin(), APins.end(), APin) - APins.begin());
}

} // namespace

struct TSVChain::TImpl {
    struct TMember {
        std::string Name;
        TPersistent* Component;
        std::unique_ptr<TPersistent> Owned;
    };

    std::vector<TMember> Members; // in the order added
    std::vector<TConnection> Connections;
    TOnProgress OnProgress;
    std::atomic<bool> StopAsked{false};
    bool Stopped = false;
    // The output that renders the running stream, and whether its master pumping was on before.
    TSVBasicAudioOut* Renderer = nullptr;
    bool RendererPumping = false;

    ~TImpl() {
        StopSources();
        TMainThread::ProcessQueue(); // what the sources' stops posted
        while (!Members.empty())
            Members.pop_back();
    }

    const TMember* Member(const std::string& AName) const {
        for (const TMember& member : Members)
            if (member.Name == AName)
                return &member;
        return nullptr;
    }

    TPersistent& Component(const std::string& AName) const {
        const TMember* member = Member(AName);
        if (!member)
            throw EArgumentError("no component named '" + AName + "'");
        return *member->Component;
    }

    std::vector<TQXBasicCommonGen*> Sources() const {
        std::vector<TQXBasicCommonGen*> sources;
        for (const TMember& member : Members)
            if (auto* source = dynamic_cast<TQXBasicCommonGen*>(member.Component))
                sources.push_back(source);
        return sources;
    }

    std::string FreeName(const TPersistent& AComponent) const {
        const TClassRef type = FindComponentClass(AComponent.GetPropertyTable().ClassName());
        const std::string base = type && !type->ShortName.empty()
                                     ? type->ShortName
                                     : AComponent.GetPropertyTable().ClassName();
        if (!Member(base))
            return base;
        for (size_t n = 2;; ++n)
            if (!Member(base + std::to_string(n)))
                return base + std::to_string(n);
    }

    TPersistent& Adopt(TPersistent& AComponent, std::unique_ptr<TPersistent> AOwned,
                       const std::string& AName) {
        const std::string name = AName.empty() ? FreeName(AComponent) : AName;
        if (Member(name))
            throw EArgumentError("two components named '" + name + "'");
        for (const TMember& member : Members)
            if (member.Component == &AComponent)
                throw EArgumentError("component '" + member.Name + "' added twice");
        Members.push_back({name, &AComponent, std::move(AOwned)});
        return AComponent;
    }

    void StopSources() {
        const std::vector<TQXBasicCommonGen*> sources = Sources();
        for (TQXBasicCommonGen* source : sources)
            source->Stop();
    }

    bool AnyRunning() const {
        const std::vector<TQXBasicCommonGen*> sources = Sources();
        return std::any_of(sources.begin(), sources.end(),
                           [](const TQXBasicCommonGen* A) { return A->GetRunning(); });
    }

    void CheckRunnable() const {
        if (Sources().empty())
            throw EArgumentError("the chain has no source");
        for (const TMember& member : Members) {
            if (dynamic_cast<const TQXBasicCommonGen*>(member.Component))
                continue; // a source's only input, its clock, is optional
            const std::vector<TPXPin*> inputs = PinsOf(*member.Component, false);
            if (!inputs.empty() && std::none_of(inputs.begin(), inputs.end(),
                                                [](const TPXPin* A) { return A->IsConnected(); }))
                throw EArgumentError(member.Name + " has no input connected");
        }
    }

    // The output that renders the chain when one source feeds it as fast as it goes: a single
    // source, not set to Realtime, and no output that paces its chain itself already (a sound
    // device's master pumping). Null lets the sources run on their own clocks.
    TSVBasicAudioOut* ChooseRenderer() const {
        const std::vector<TQXBasicCommonGen*> sources = Sources();
        if (sources.size() != 1 || PublishedFlag(*sources[0], "Realtime"))
            return nullptr;
        TSVBasicAudioOut* renderer = nullptr;
        for (const TMember& member : Members)
            if (auto* output = dynamic_cast<TSVBasicAudioOut*>(member.Component)) {
                if (output->GetMasterPumping()->GetEnabled())
                    return nullptr;
                if (!renderer)
                    renderer = output;
            }
        return renderer;
    }

    static bool PublishedFlag(const TPersistent& AComponent, const char* AName) {
        const TPropertyInfo* info = AComponent.GetPropertyTable().Find(AName);
        return info && info->Kind() == pkBoolean && std::get<bool>(info->GetValue(AComponent));
    }

    void StartSources() {
        std::vector<TQXBasicCommonGen*> started;
        for (TQXBasicCommonGen* source : Sources()) {
            try {
                source->Start();
            } catch (const std::exception& error) {
                for (TQXBasicCommonGen* other : started)
                    other->Stop();
                TMainThread::ProcessQueue();
                throw Exception(NameOf(*source) + ": " + error.what());
            }
            started.push_back(source);
        }
    }

    const std::string& NameOf(const TPersistent& AComponent) const {
        for (const TMember& member : Members)
            if (member.Component == &AComponent)
                return member.Name;
        throw EArgumentError("the component is not in the chain");
    }

    // Runs the stream on this thread through the renderer until it ends or Stop is asked.
    void Render(TClock::time_point AStart) {
        TSVBasicAudioOut& renderer = *std::exchange(Renderer, nullptr);
        TClock::time_point nextProgress = AStart; // the first report at once
        const auto pumped = [&] {
            if (OnProgress && TClock::now() >= nextProgress) {
                OnProgress(Progress(AStart));
                nextProgress = TClock::now() + KProgressInterval;
            }
            return !StopAsked;
        };
        TQXBasicCommonGen& source = *Sources()[0];
        try {
            // A stream that ended at its start (an output that could not open) is not restarted.
            if (source.GetRunning())
                Stopped = !renderer.Render(source, pumped);
        } catch (const std::exception& error) {
            renderer.GetMasterPumping()->SetEnabled(RendererPumping);
            throw Exception(NameOf(renderer) + ": " + error.what());
        }
        renderer.GetMasterPumping()->SetEnabled(RendererPumping);
    }

    // Pumps the main-thread queue while the sources run on their own clocks.
    void WaitForSources(TClock::time_point AStart) {
        TClock::time_point nextProgress = AStart; // the first report at once
        for (;;) {
            TMainThread::ProcessQueue(); // the ends of the streams arrive here
            if (!AnyRunning())
                return;
            if (StopAsked) {
                Stopped = true;
                StopSources();
                TMainThread::ProcessQueue();
                return;
            }
            if (OnProgress && TClock::now() >= nextProgress) {
                OnProgress(Progress(AStart));
                nextProgress = TClock::now() + KProgressInterval;
            }
            TMainThread::WaitForWork(KWaitSlice);
        }
    }

    void RaiseFirstFailure() const {
        for (const TMember& member : Members)
            if (const auto* component = dynamic_cast<const TLockComponent*>(member.Component)) {
                const std::string error = component->GetError();
                if (!error.empty())
                    throw Exception(member.Name + ": " + error);
            }
    }

    // Takes no source's lock: a source's tick may hold it while it waits in a mix for another
    // source whose end this thread delivers.
    TProgress Progress(TClock::time_point AStart) const {
        TProgress progress;
        for (const TQXBasicCommonGen* source : Sources()) {
            progress.Position = std::max(progress.Position, source->GetStreamPosition());
            progress.Duration = std::max(progress.Duration, source->GetAnnouncedDuration());
        }
        const double elapsed = std::chrono::duration<double>(TClock::now() - AStart).count();
        if (elapsed > 0)
            progress.Speed = static_cast<double>(progress.Position) / KUnitsPerSecond / elapsed;
        return progress;
    }
};

TSVChain::TSVChain() : FImpl(std::make_unique<TImpl>()) {}
TSVChain::TSVChain(TSVChain&& AOther) noexcept = default;
TSVChain& TSVChain::operator=(TSVChain&& AOther) noexcept = default;
TSVChain::~TSVChain() = default;

TSVChain TSVChain::Parse(const std::string& AText) {
    TSVChain chain;
    SVBuildChain(chain, SVParseChainText(AText));
    return chain;
}

TSVChain TSVChain::Load(const std::string& ADocument) {
    TSVChain chain;
    SVLoadChainDocument(chain, ADocument);
    return chain;
}

std::string TSVChain::Save() const {
    return SVSaveChainDocument(*this);
}

TPersistent& TSVChain::Add(const std::string& AClass, const std::string& AName) {
    const TClassRef type = FindComponentClass(AClass);
    if (!type)
        throw EArgumentError("no component called '" + AClass + "' (sonvera inspect lists them)");
    return Add(CreateComponent(type->ClassName, nullptr), AName);
}

TPersistent& TSVChain::Add(std::unique_ptr<TPersistent> AComponent, const std::string& AName) {
    TPersistent& component = *AComponent;
    return FImpl->Adopt(component, std::move(AComponent), AName);
}

TPersistent& TSVChain::Add(TPersistent& AComponent, const std::string& AName) {
    return FImpl->Adopt(AComponent, nullptr, AName);
}

TPersistent* TSVChain::Find(const std::string& AName) const {
    const TImpl::TMember* member = FImpl->Member(AName);
    return member ? member->Component : nullptr;
}

const std::string& TSVChain::NameOf(const TPersistent& AComponent) const {
    return FImpl->NameOf(AComponent);
}

std::vector<TPersistent*> TSVChain::GetComponents() const {
    std::vector<TPersistent*> components;
    for (const TImpl::TMember& member : FImpl->Members)
        components.push_back(member.Component);
    return components;
}

const std::vector<TSVChain::TConnection>& TSVChain::GetConnections() const noexcept {
    return FImpl->Connections;
}

void TSVChain::SetProperty(const std::string& AComponent, const std::string& AProperty,
                           const std::string& AText) {
    TPersistent& component = FImpl->Component(AComponent);
    const TSVPropertyPath path = SVFindProperty(component, AProperty);
    if (!path.Info)
        throw EArgumentError("unknown property '" + AProperty + "' of " + AComponent);
    try {
        path.Info->SetValue(*path.Object, SVParsePropertyValue(*path.Info, AText));
    } catch (const std::exception& error) {
        throw EArgumentError(AComponent + " " + path.Name + "=" + AText + ": " + error.what());
    }
}

void TSVChain::Connect(const std::string& AFrom, const std::string& ATo, int32_t AOutput,
                       int32_t AInput) {
    const std::vector<TPXPin*> outputs = PinsOf(FImpl->Component(AFrom), true);
    const std::vector<TPXPin*> inputs = PinsOf(FImpl->Component(ATo), false);
    if (outputs.empty())
        throw EArgumentError(AFrom + " (no output) cannot feed " + ATo);
    if (AOutput >= static_cast<int64_t>(outputs.size()))
        throw EArgumentError(
            MissingPinText(FImpl->Component(AFrom), AFrom, ppOutputs, AOutput, outputs.size()));
    const std::string what =
        AFrom + "'s output (" + StreamOf(*outputs[AOutput < 0 ? 0 : AOutput]) + ") cannot feed ";
    if (inputs.empty())
        throw EArgumentError(what + ATo + " (no input)");
    if (AInput >= static_cast<int64_t>(inputs.size()))
        throw EArgumentError(
            MissingPinText(FImpl->Component(ATo), ATo, ppInputs, AInput, inputs.size()));
    for (TPXPin* output : Candidates(outputs, AOutput))
        for (TPXPin* input : Candidates(inputs, AInput))
            if (output->Connect(input)) {
                FImpl->Connections.push_back(
                    {AFrom, IndexIn(outputs, output), ATo, IndexIn(inputs, input)});
                return;
            }
    throw EArgumentError(what + ATo + "'s input (" + StreamOf(*inputs[AInput < 0 ? 0 : AInput]) +
                         ")");
}

void TSVChain::Run() {
    Start();
    Wait();
}

void TSVChain::Start() {
    if (GetRunning())
        return;
    FImpl->CheckRunnable();
    FImpl->StopAsked = false;
    FImpl->Stopped = false;
    // A rendering output takes over the pumping as the stream starts: it must know before.
    FImpl->Renderer = FImpl->ChooseRenderer();
    if (FImpl->Renderer) {
        FImpl->RendererPumping = FImpl->Renderer->GetMasterPumping()->GetEnabled();
        FImpl->Renderer->GetMasterPumping()->SetEnabled(true);
    }
    try {
        FImpl->StartSources();
    } catch (...) {
        if (TSVBasicAudioOut* renderer = std::exchange(FImpl->Renderer, nullptr))
            renderer->GetMasterPumping()->SetEnabled(FImpl->RendererPumping);
        throw;
    }
}

void TSVChain::Wait() {
    const TClock::time_point start = TClock::now();
    if (FImpl->Renderer)
        FImpl->Render(start);
    else
        FImpl->WaitForSources(start);
    FImpl->RaiseFirstFailure();
}

void TSVChain::Stop() noexcept {
    FImpl->StopAsked = true;
}

bool TSVChain::GetStopped() const noexcept {
    return FImpl->Stopped;
}

bool TSVChain::GetRunning() const {
    return FImpl->AnyRunning();
}

void TSVChain::SetOnProgress(TOnProgress AOnProgress) {
    FImpl->OnProgress = std::move(AOnProgress);
}

} // namespace sonvera
