// How the codec objects reach their owners. A descriptor, catalog, container format or player
// object is built by its class's Create function, which runs the object's whole set-up (virtual
// steps included) and then hands the finished object to the owner's creation callback; the
// callback keeps it, usually in a std::unique_ptr field:
//
//     TSVLAVAudioCompression::Create(StoreIn(FEncoder), this, GetLock(), OnChange);
#pragma once

#include <functional>
#include <memory>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

template <class T> using TOnCreated = std::function<void(std::unique_ptr<T> AObject)>;

// The usual creation callback: the object is kept in AField (which must outlive the call).
template <class T> TOnCreated<T> StoreIn(std::unique_ptr<T>& AField) {
    return [&AField](std::unique_ptr<T> AObject) { AField = std::move(AObject); };
}

// Hands AObject to its owner and returns it. Without a callback nobody would own the object, so
// a missing one raises EAssertionFailed before anything is handed over.
template <class T, class TBuilt>
TBuilt& HandOver(const TOnCreated<T>& AOnCreated, std::unique_ptr<TBuilt> AObject) {
    Assert(static_cast<bool>(AOnCreated), "RVLAVSupport");
    TBuilt& object = *AObject;
    AOnCreated(std::move(AObject));
    return object;
}

} // namespace sonvera
