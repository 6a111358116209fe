#include "sonvera/package/SonveraPackage.h"

#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

TUnitInitCounter GPackageCounter;

} // namespace

const std::vector<TSonveraUnit>& SonveraUnits() {
    static const std::vector<TSonveraUnit> units = {};
    return units;
}

void SonveraInitialize() {
    GPackageCounter.Initialize([] {
        for (const TSonveraUnit& unit : SonveraUnits())
            unit.Initialize();
    });
}

void SonveraFinalize() {
    GPackageCounter.Finalize([] {
        const auto& units = SonveraUnits();
        for (auto it = units.rbegin(); it != units.rend(); ++it)
            it->Finalize();
    });
}

int SonveraStartCount() { return GPackageCounter.Count(); }

std::string SonveraVersion() { return SONVERA_VERSION; }

namespace {

// Starts the library when it is loaded and stops it when it is unloaded.
struct TSonveraLoader {
    TSonveraLoader() { SonveraInitialize(); }
    ~TSonveraLoader() { SonveraFinalize(); }
} GSonveraLoader;

} // namespace

} // namespace sonvera
