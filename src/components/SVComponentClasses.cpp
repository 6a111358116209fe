#include "sonvera/components/SVComponentClasses.h"

#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/components/SVToneGen.h"

namespace sonvera {

namespace {

std::vector<TComponentClass> CoreComponentClasses() {
    return {ComponentClassOf<TSVToneGen>(), ComponentClassOf<TSVFormatFilter>(),
            ComponentClassOf<TSVGainFilter>()};
}

} // namespace

void RegisterSVComponentClasses() {
    RegisterComponents(CoreComponentClasses());
}

void UnregisterSVComponentClasses() {
    UnregisterComponents(CoreComponentClasses());
}

} // namespace sonvera
