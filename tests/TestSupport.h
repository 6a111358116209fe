// Helpers every test program may use: the library units it starts, the message of an expected
// exception, and property listeners that record what they are told.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sonvera/platform/runtime/ChangeNotify.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

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

// The reference models of the scaled integer primitives compute exactly in 128 bits.
__extension__ typedef __int128 TInt128;

// AValue * 2^-AScaleFactor / ADivisor rounded to nearest with ties to even, exactly, for
// |AScaleFactor| below 64 and a divisor other than 0.
inline TInt128 ScaledQuotient(TInt128 AValue, int AScaleFactor, TInt128 ADivisor = 1) {
    TInt128 numerator = AValue, denominator = ADivisor;
    if (AScaleFactor < 0)
        numerator *= TInt128{1} << -AScaleFactor;
    else
        denominator *= TInt128{1} << AScaleFactor;
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    TInt128 quotient = numerator / denominator, remainder = numerator % denominator;
    if (remainder < 0) {
        --quotient;
        remainder += denominator;
    }
    if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

// The document of AObject's published properties, and such a document read into AObject.
inline std::string Written(const TPersistent& AObject) {
    const TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
    WritePublishedProperties(AObject, TRef<IWriter>(writer));
    return writer->Text();
}
inline void ReadInto(TPersistent& AObject, const std::string& AText) {
    ReadPublishedProperties(AObject, TJsonReader::Create(AText));
}

// The document a buffer writes of itself.
template <class TBuffer> std::string Serialized(const TBuffer& ABuffer) {
    const TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
    ABuffer->SerializationWrite(TRef<IWriter>(writer));
    return writer->Text();
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

// Records what the property-change listeners are told, as "begin Name detail" and "done Name
// detail". ADescribe gives an object's detail, or nothing for an object the test does not
// watch; OnChanging runs at every watched begin, before anything is recorded.
class TRecordingListener : public TInterfacedObject, public virtual IPropertyChangeListener {
public:
    using TDescribe = std::function<std::optional<std::string>(TPersistent*)>;

    explicit TRecordingListener(TDescribe ADescribe) : FDescribe(std::move(ADescribe)) {}

    void PropertyChanging(TPersistent* AObject, std::string_view AProperty) noexcept override {
        Record("begin ", AObject, AProperty);
    }
    void PropertyChanged(TPersistent* AObject, std::string_view AProperty) noexcept override {
        Record("done ", AObject, AProperty);
    }

    // The events since the last call.
    std::vector<std::string> TakeEvents() {
        std::lock_guard<std::mutex> guard(FMutex);
        return std::exchange(FEvents, {});
    }

    std::function<void()> OnChanging;

private:
    void Record(const char* APhase, TPersistent* AObject, std::string_view AProperty) {
        const std::optional<std::string> detail = FDescribe(AObject);
        if (!detail)
            return;
        if (OnChanging && APhase[0] == 'b')
            OnChanging();
        std::lock_guard<std::mutex> guard(FMutex);
        FEvents.push_back(APhase + std::string(AProperty) + " " + *detail);
    }

    TDescribe FDescribe;
    std::mutex FMutex;
    std::vector<std::string> FEvents;
};

} // namespace sonvera::testing
