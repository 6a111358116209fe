#include "sonvera/codecs/RVLAVCompressionOptions.h"

#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "RVLAVSupport";

// The option's object, checked; FFmpeg would dereference a null one.
void* OptionTarget(void* AObject) {
    Assert(AObject != nullptr, KUnitName);
    return AObject;
}

} // namespace

TRVLAVCompressionOption::TRVLAVCompressionOption(const TPersistentNotify& AOnChange,
                                                 TPersistent* AOwner,
                                                 const TRef<IChangeNotifyLock>& ALock)
    : TLockPersistent(AOnChange, AOwner, ALock) {}

const TPropertyTableBase& TRVLAVCompressionOption::ClassPropertyTable() {
    using T = TRVLAVCompressionOption;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompressionOption", TLockPersistent::ClassPropertyTable())
            .String("Name", "", &T::GetName, &T::SetName);
    return table;
}

const TPropertyTableBase& TRVLAVCompressionOptionInteger::ClassPropertyTable() {
    using T = TRVLAVCompressionOptionInteger;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompressionOptionInteger",
                          TRVLAVCompressionOption::ClassPropertyTable())
            .Integer("Value", 0, &T::GetValue, &T::SetValue);
    return table;
}

void TRVLAVCompressionOptionInteger::Apply(void* AObject) const {
    av_opt_set_int(OptionTarget(AObject), GetName().c_str(), int64_t{GetValue()}, 0);
}

const TPropertyTableBase& TRVLAVCompressionOptionInt64::ClassPropertyTable() {
    using T = TRVLAVCompressionOptionInt64;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompressionOptionInt64",
                          TRVLAVCompressionOption::ClassPropertyTable())
            .Int64("Value", 0, &T::GetValue, &T::SetValue);
    return table;
}

void TRVLAVCompressionOptionInt64::Apply(void* AObject) const {
    av_opt_set_int(OptionTarget(AObject), GetName().c_str(), GetValue(), 0);
}

const TPropertyTableBase& TRVLAVCompressionOptionReal::ClassPropertyTable() {
    using T = TRVLAVCompressionOptionReal;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompressionOptionReal",
                          TRVLAVCompressionOption::ClassPropertyTable())
            .Double("Value", 0.0, &T::GetValue, &T::SetValue);
    return table;
}

void TRVLAVCompressionOptionReal::Apply(void* AObject) const {
    av_opt_set_double(OptionTarget(AObject), GetName().c_str(), GetValue(), 0);
}

const TPropertyTableBase& TRVLAVCompressionOptionSingle::ClassPropertyTable() {
    using T = TRVLAVCompressionOptionSingle;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompressionOptionSingle",
                          TRVLAVCompressionOption::ClassPropertyTable())
            .Double(
                "Value", 0.0, [](const T& AOption) { return double{AOption.GetValue()}; },
                [](T& AOption, double AValue) {
                    // Beyond the float range the option holds an infinity, never an undefined
                    // conversion.
                    constexpr double KMax = std::numeric_limits<float>::max();
                    AOption.SetValue(AValue > KMax    ? std::numeric_limits<float>::infinity()
                                     : AValue < -KMax ? -std::numeric_limits<float>::infinity()
                                                      : static_cast<float>(AValue));
                });
    return table;
}

void TRVLAVCompressionOptionSingle::Apply(void* AObject) const {
    av_opt_set_double(OptionTarget(AObject), GetName().c_str(), double{GetValue()}, 0);
}

const TPropertyTableBase& TRVLAVCompressionOptionString::ClassPropertyTable() {
    using T = TRVLAVCompressionOptionString;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVCompressionOptionString",
                          TRVLAVCompressionOption::ClassPropertyTable())
            .String("Value", "", &T::GetValue, &T::SetValue);
    return table;
}

void TRVLAVCompressionOptionString::Apply(void* AObject) const {
    av_opt_set(OptionTarget(AObject), GetName().c_str(), GetValue().c_str(), 0);
}

std::vector<TCollectionItemClass> RVLAVOptionItemClasses() {
    return {
        TClassManagement::CollectionItemClassOf<TRVLAVCompressionOptionInteger>(
            "TRVLAVCompressionOptionInteger"),
        TClassManagement::CollectionItemClassOf<TRVLAVCompressionOptionInt64>(
            "TRVLAVCompressionOptionInt64"),
        TClassManagement::CollectionItemClassOf<TRVLAVCompressionOptionReal>(
            "TRVLAVCompressionOptionReal"),
        TClassManagement::CollectionItemClassOf<TRVLAVCompressionOptionSingle>(
            "TRVLAVCompressionOptionSingle"),
        TClassManagement::CollectionItemClassOf<TRVLAVCompressionOptionString>(
            "TRVLAVCompressionOptionString"),
    };
}

TRVLAVCompressionOptions::TRVLAVCompressionOptions(TPersistent* AOwner,
                                                   TRef<IChangeNotifyLock> ALock,
                                                   TPersistentNotify AOnChange)
    : TLockPersistent(AOnChange, AOwner, std::move(ALock)), FOnChange(std::move(AOnChange)) {}

TRVLAVCompressionOptions::~TRVLAVCompressionOptions() = default;

const TPropertyTableBase& TRVLAVCompressionOptions::ClassPropertyTable() {
    static const TPropertyTable<TRVLAVCompressionOptions> table(
        "TRVLAVCompressionOptions", TLockPersistent::ClassPropertyTable());
    return table;
}

std::unique_ptr<TRVLAVCompressionOption>
TRVLAVCompressionOptions::NewItem(const std::string& AClassName) const {
    std::unique_ptr<TLockPersistent> created = TClassManagement::CreateCollectionItem(
        AClassName, FOnChange, const_cast<TRVLAVCompressionOptions*>(this), GetLock());
    if (!dynamic_cast<TRVLAVCompressionOption*>(created.get()))
        throw EArgumentError("Class \"" + AClassName + "\" is not a compression option");
    return std::unique_ptr<TRVLAVCompressionOption>(
        static_cast<TRVLAVCompressionOption*>(created.release()));
}

TRVLAVCompressionOption& TRVLAVCompressionOptions::AddItem(const std::string& AClassName) {
    std::unique_ptr<TRVLAVCompressionOption> item = NewItem(AClassName);
    TRVLAVCompressionOption& added = *item;
    Append(std::move(item));
    return added;
}

void TRVLAVCompressionOptions::Append(std::unique_ptr<TRVLAVCompressionOption> AItem) {
    TChangeNotifyLockGuard guard(*GetLock());
    FItems.push_back(std::move(AItem));
    NotifyProp();
}

int32_t TRVLAVCompressionOptions::Count() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return static_cast<int32_t>(FItems.size());
}

TRVLAVCompressionOption& TRVLAVCompressionOptions::Items(int32_t AIndex) const {
    TChangeNotifyLockGuard guard(*GetLock());
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= FItems.size())
        throw ERangeError(FormatMessage("Index out of range = %d", AIndex));
    return *FItems[static_cast<size_t>(AIndex)];
}

void TRVLAVCompressionOptions::Delete(int32_t AIndex) {
    TChangeNotifyLockGuard guard(*GetLock());
    Items(AIndex);
    FItems.erase(FItems.begin() + AIndex);
    NotifyProp();
}

void TRVLAVCompressionOptions::Clear() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FItems.empty())
        return;
    FItems.clear();
    NotifyProp();
}

void TRVLAVCompressionOptions::Apply(void* AObject) const {
    TChangeNotifyLockGuard guard(*GetLock());
    for (const auto& item : FItems)
        item->Apply(AObject);
}

void TRVLAVCompressionOptions::Assign(const TPersistent& ASource) {
    const auto* source = dynamic_cast<const TRVLAVCompressionOptions*>(&ASource);
    if (!source) {
        TLockPersistent::Assign(ASource);
        return;
    }
    if (source == this)
        return;
    // The source is read inside its own lock only, and the copies are built before this
    // collection changes, so that a refused item leaves it as it was.
    std::vector<TPublishedState::TItem> states;
    {
        TChangeNotifyLockGuard guard(*source->GetLock());
        for (const auto& item : source->FItems)
            states.push_back({item->ClassName(), item->CapturePublishedState()});
    }
    ReplaceStreamedItems(states);
}

std::unique_ptr<TPersistent>
TRVLAVCompressionOptions::NewStreamedItem(const std::string& AClassName) const {
    return NewItem(AClassName);
}

void TRVLAVCompressionOptions::ReplaceStreamedItems(
    const std::vector<TPublishedState::TItem>& AItems) {
    std::vector<std::unique_ptr<TRVLAVCompressionOption>> items;
    for (const TPublishedState::TItem& state : AItems) {
        items.push_back(NewItem(state.ClassName));
        items.back()->ApplyPublishedState(state.State);
    }
    TChangeNotifyLockGuard guard(*GetLock());
    FItems.swap(items);
    NotifyProp();
}

} // namespace sonvera
