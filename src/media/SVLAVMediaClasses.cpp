#include "sonvera/media/SVLAVMediaClasses.h"

#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

constinit TUnitInitCounter GMediaClassesCounter;

std::vector<TComponentClass> MediaComponentClasses() {
    return {ComponentClassOf<TSVLAVFileSource>(), ComponentClassOf<TSVResampleFilter>(),
            ComponentClassOf<TSVLAVFileWriter>()};
}

// Registers the components when the codec library is loaded and takes them off at unload.
struct TMediaClassesLoader {
    TMediaClassesLoader() { RegisterSVLAVMediaClasses(); }
    ~TMediaClassesLoader() { UnregisterSVLAVMediaClasses(); }
} GMediaClassesLoader;

} // namespace

void RegisterSVLAVMediaClasses() {
    GMediaClassesCounter.Initialize([] { RegisterComponents(MediaComponentClasses()); });
}

void UnregisterSVLAVMediaClasses() {
    GMediaClassesCounter.Finalize([] { UnregisterComponents(MediaComponentClasses()); });
}

bool SVLAVMediaClassesRegistered() noexcept {
    return GMediaClassesCounter.Count() > 0;
}

} // namespace sonvera
