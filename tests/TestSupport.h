// Helpers every test program may use: the library units it starts, the message of an expected
// exception, and a property listener registered for the length of a test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sonvera/platform/runtime/ChangeNotify.h"

namespace sonvera::testing {

// A library unit: its start and, unless the program leaves it running, its stop.
struct TUnit {
    void (*Start)();
    void (*Stop)() = nullptr;
};

// Starts AUnits in order before the program's first test and stops them in reverse after its
// last.
class TUnitsStart : public ::testing::Environment {
public:
    explicit TUnitsStart(std::vector<TUnit> AUnits) : FUnits(std::move(AUnits)) {}
    void SetUp() override {
        for (const TUnit& unit : FUnits)
            unit.Start();
    }
    void TearDown() override {
        for (auto unit = FUnits.rbegin(); unit != FUnits.rend(); ++unit)
            if (unit->Stop)
                unit->Stop();
    }

private:
    std::vector<TUnit> FUnits;
};

inline ::testing::Environment* StartUnits(std::vector<TUnit> AUnits) {
    return ::testing::AddGlobalTestEnvironment(new TUnitsStart(std::move(AUnits)));
}

// The message of the TError that ACall raises, or "no exception".
template <class TError, class TCall> std::string MessageOf(TCall ACall) {
    try {
        ACall();
    } catch (const TError& AError) {
        return AError.what();
    }
    return "no exception";
}

class TListenerRegistration {
public:
    explicit TListenerRegistration(TRef<IPropertyChangeListener> AListener)
        : FListener(std::move(AListener)) {
        RegisterPropertyChangeListener(FListener);
    }
    ~TListenerRegistration() { UnregisterPropertyChangeListener(FListener); }

private:
    TRef<IPropertyChangeListener> FListener;
};

} // namespace sonvera::testing
