// The analysis library's start-up: its components are registered while it is loaded, so that
// chain text and tools find them by short name.
#include "sonvera/analysis/SVFrequencyMeter.h"
#include "sonvera/analysis/SVLevelMeter.h"
#include "sonvera/analysis/SVLoudnessMeter.h"

namespace sonvera {

namespace {

std::vector<TComponentClass> AnalysisClasses() {
    return {ComponentClassOf<TSVLoudnessMeter>(), ComponentClassOf<TSVLevelMeter>(),
            ComponentClassOf<TSVFrequencyMeter>()};
}

struct TAnalysisLoader {
    TAnalysisLoader() { RegisterComponents(AnalysisClasses()); }
    ~TAnalysisLoader() { UnregisterComponents(AnalysisClasses()); }
};

const TAnalysisLoader GAnalysisLoader;

} // namespace

} // namespace sonvera
