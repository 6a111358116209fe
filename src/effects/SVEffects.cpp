#include "sonvera/effects/SVEffects.h"

#include "sonvera/effects/SVBiquadFilters.h"
#include "sonvera/effects/SVChannelFilters.h"
#include "sonvera/effects/SVDynamicsFilters.h"
#include "sonvera/effects/SVMixFilter.h"
#include "sonvera/effects/SVRemixFilter.h"
#include "sonvera/effects/SVTimeFilters.h"

namespace sonvera {

std::vector<TComponentClass> SVEffectClasses() {
    return {ComponentClassOf<TSVHighpassFilter>(),  ComponentClassOf<TSVLowpassFilter>(),
            ComponentClassOf<TSVBandpassFilter>(),  ComponentClassOf<TSVNotchFilter>(),
            ComponentClassOf<TSVPeakFilter>(),      ComponentClassOf<TSVLowShelfFilter>(),
            ComponentClassOf<TSVHighShelfFilter>(), ComponentClassOf<TSVCompressor>(),
            ComponentClassOf<TSVLimiter>(),         ComponentClassOf<TSVGate>(),
            ComponentClassOf<TSVDelayFilter>(),     ComponentClassOf<TSVFadeFilter>(),
            ComponentClassOf<TSVPanFilter>(),       ComponentClassOf<TSVInvertFilter>(),
            ComponentClassOf<TSVDCBlockFilter>(),   ComponentClassOf<TSVRemixFilter>(),
            ComponentClassOf<TSVMixFilter>()};
}

void RegisterSVEffects() {
    RegisterComponents(SVEffectClasses());
}

void UnregisterSVEffects() {
    UnregisterComponents(SVEffectClasses());
}

} // namespace sonvera
