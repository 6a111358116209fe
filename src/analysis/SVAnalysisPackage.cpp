// The analysis library's start-up: its components are registered while it is loaded, so that
// chain text and tools find them by short name.
#include "sonvera/analysis/SVLevelMeter.h"
#include "sonvera/analysis/SVLoudnessMeter.h"
#include "sonvera/analysis/SVFrequencyMeter.h"

namespace sonvera {

namespace {

struct TAnalysisLoader {
    TAnalysisLoader() {
        RegisterSVLoudnessMeter();
        RegisterSVLevelMeter();
        RegisterSVFrequencyMeter();
    }
    ~TAnalysisLoader() {
        UnregisterSVFrequencyMeter();
        UnregisterSVLevelMeter();
        UnregisterSVLoudnessMeter();
    }
};

const TAnalysisLoader GAnalysisLoader;

} // namespace

} // namespace sonvera
