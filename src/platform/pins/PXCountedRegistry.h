// A process-wide list of registrations counted by key: what two units register stays until both
// have unregistered it. Entries keep their registration order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

template <class TKey, class TEntry> class TPXCountedRegistry {
public:
    // AKeyOf gives an entry's key; ASame tells whether a second registration under a key is
    // the same entry (counted) or a clash (refused with EArgumentError, nothing registered).
    template <class TKeyOf, class TSame>
    void Register(const std::vector<TEntry>& AEntries, TKeyOf AKeyOf, TSame ASame) {
        std::lock_guard<std::mutex> guard(FMutex);
        for (const TEntry& entry : AEntries)
            if (const TSlot* slot = Find(AKeyOf(entry)); slot && !ASame(slot->Entry, entry))
                throw EArgumentError("A registration clashes with an earlier one");
        for (const TEntry& entry : AEntries) {
            if (TSlot* slot = Find(AKeyOf(entry)))
                ++slot->Count;
            else
                FSlots.push_back({AKeyOf(entry), entry, 1});
        }
    }

    void Unregister(const TKey& AKey) {
        std::lock_guard<std::mutex> guard(FMutex);
        if (TSlot* slot = Find(AKey); slot && --slot->Count == 0)
            FSlots.erase(FSlots.begin() + (slot - FSlots.data()));
    }

    std::optional<TEntry> Lookup(const TKey& AKey) const {
        std::lock_guard<std::mutex> guard(FMutex);
        if (const TSlot* slot = Find(AKey))
            return slot->Entry;
        return std::nullopt;
    }

    // The first entry that APredicate accepts.
    template <class TPredicate> std::optional<TEntry> FindFirst(TPredicate APredicate) const {
        std::lock_guard<std::mutex> guard(FMutex);
        for (const TSlot& slot : FSlots)
            if (APredicate(slot.Entry))
                return slot.Entry;
        return std::nullopt;
    }

    std::vector<TEntry> Entries() const {
        std::lock_guard<std::mutex> guard(FMutex);
        std::vector<TEntry> entries;
        for (const TSlot& slot : FSlots)
            entries.push_back(slot.Entry);
        return entries;
    }

private:
    struct TSlot {
        TKey Key;
        TEntry Entry;
        int64_t Count;
    };

    TSlot* Find(const TKey& AKey) {
        auto it = std::find_if(FSlots.begin(), FSlots.end(),
                               [&](const TSlot& ASlot) { return ASlot.Key == AKey; });
        return it == FSlots.end() ? nullptr : &*it;
    }
    const TSlot* Find(const TKey& AKey) const {
        return const_cast<TPXCountedRegistry*>(this)->Find(AKey);
    }

    mutable std::mutex FMutex;
    std::vector<TSlot> FSlots;
};

} // namespace sonvera
