// Helpers every test program may use: the message of an expected exception, and a property
// listener registered for the length of a test.
#pragma once

#include <string>
#include <utility>

#include "sonvera/platform/runtime/ChangeNotify.h"

namespace sonvera::testing {

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
