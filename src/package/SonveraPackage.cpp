#include "sonvera/package/SonveraPackage.h"

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/components/Categories.h"
#include "sonvera/components/SVAudioToReal.h"
#include "sonvera/components/SVStructureElements.h"
#include "sonvera/effects/SVEffects.h"
#include "sonvera/platform/pins/PXStreamRegistry.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/runtime/UnitInit.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/streams/RVStreamTypes.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

namespace {

TUnitInitCounter GPackageCounter;

} // namespace

const std::vector<TSonveraUnit>& SonveraUnits() {
    // Primitive tables come before every unit that calls a primitive.
    static const std::vector<TSonveraUnit> units = {
        {"MainThread", InitializeMainThread, FinalizeMainThread},
        {"QXBasicDispatcher", InitializeQXBasicDispatcher, FinalizeQXBasicDispatcher},
        {"SVBasicDispatcher", InitializeSVBasicDispatcher, FinalizeSVBasicDispatcher},
        {"SVSimpleAudioBuffer", InitializeSVSimpleAudioBuffer, FinalizeSVSimpleAudioBuffer},
        {"PXStreams", InitializePXStreams, FinalizePXStreams},
        {"SVStreamTypes", InitializeSVStreamTypes, FinalizeSVStreamTypes},
        {"RVStreamTypes", InitializeRVStreamTypes, FinalizeRVStreamTypes},
        {"SVAudioToReal", RegisterSVAudioToReal, UnregisterSVAudioToReal},
        {"SVStructureElements", InitializeSVStructureElements, FinalizeSVStructureElements},
        {"SVEffects", RegisterSVEffects, UnregisterSVEffects},
    };
    return units;
}

const std::vector<TClassRef>& SonveraPublishedTypes() {
    static const std::vector<TClassRef> types = [] {
        std::vector<TClassRef> list = SonveraBasicCategories();
        list.push_back(&TSVAudioToReal::ClassInfo());
        return list;
    }();
    return types;
}

void SonveraStartUnits(const std::vector<TSonveraUnit>& AUnits) {
    size_t started = 0;
    try {
        for (; started < AUnits.size(); ++started)
            AUnits[started].Initialize();
    } catch (...) {
        while (started > 0)
            AUnits[--started].Finalize();
        throw;
    }
}

void SonveraStopUnits(const std::vector<TSonveraUnit>& AUnits) {
    for (auto it = AUnits.rbegin(); it != AUnits.rend(); ++it)
        it->Finalize();
}

void SonveraInitialize() {
    GPackageCounter.Initialize([] { SonveraStartUnits(SonveraUnits()); });
}

void SonveraFinalize() {
    GPackageCounter.Finalize([] { SonveraStopUnits(SonveraUnits()); });
}

int SonveraStartCount() {
    return GPackageCounter.Count();
}

std::string SonveraVersion() {
    return SONVERA_VERSION;
}

namespace {

// Starts the library when it is loaded and stops it when it is unloaded.
struct TSonveraLoader {
    TSonveraLoader() { SonveraInitialize(); }
    ~TSonveraLoader() { SonveraFinalize(); }
} GSonveraLoader;

} // namespace

} // namespace sonvera
