// How the codec objects reach their owners. A descriptor, catalog, container format or player
// object is built by its class's Create function, which runs the object's whole set-up (virtual
// steps included) and then hands the finished object to the owner's creation callback; the
// callback keeps it, usually in a std::unique_ptr field:
//
//     TSVLAVAudioCompression::Create(StoreIn(FEncoder), this, GetLock(), OnChange);
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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

// An owning, ordered list of codec objects: catalogs and the container-format lists.
template <class T> class TRVLAVOwningList {
public:
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    // An index outside the list raises ERangeError "Index out of range = %d".
    T& Items(int32_t AIndex) const {
        if (AIndex < 0 || AIndex >= Count())
            throw ERangeError(FormatMessage("Index out of range = %d", AIndex));
        return *FItems[static_cast<size_t>(AIndex)];
    }
    void Add(std::unique_ptr<T> AItem) { FItems.push_back(std::move(AItem)); }

private:
    std::vector<std::unique_ptr<T>> FItems;
};

} // namespace sonvera
