#include "sonvera/devices/SVDevicesLibrary.h"

#include "sonvera/devices/SVPulseAudioIn.h"
#include "sonvera/devices/SVPulseAudioOut.h"
#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

constinit TUnitInitCounter GDevicesCounter;

std::vector<TComponentClass> DeviceClasses() {
    return {ComponentClassOf<TSVPulseAudioOut>(), ComponentClassOf<TSVPulseAudioIn>()};
}

void StartUp() {
    RegisterComponents(DeviceClasses());
}

void ShutDown() {
    UnregisterComponents(DeviceClasses());
}

// Starts the device library when it is loaded and stops it when it is unloaded.
struct TDevicesLibraryLoader {
    TDevicesLibraryLoader() { InitializeSVDevices(); }
    ~TDevicesLibraryLoader() { FinalizeSVDevices(); }
} GDevicesLibraryLoader;

} // namespace

void InitializeSVDevices() {
    GDevicesCounter.Initialize(StartUp);
}

void FinalizeSVDevices() {
    GDevicesCounter.Finalize(ShutDown);
}

} // namespace sonvera
