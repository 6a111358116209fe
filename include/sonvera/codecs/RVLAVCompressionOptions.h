// Free-form codec options: named values of five types that FFmpeg knows only as named options,
// set on any FFmpeg object that has an option table (usually a codec context). The option
// classes are registered as collection item classes when the codec library starts, in the
// order Integer, Int64, Real, Single, String.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

// Published: Name (""), the FFmpeg option name.
class TRVLAVCompressionOption : public TLockPersistent {
public:
    TRVLAVCompressionOption(const TPersistentNotify& AOnChange, TPersistent* AOwner,
                            const TRef<IChangeNotifyLock>& ALock);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    std::string GetName() const { return GetPropValue(FName); }
    void SetName(const std::string& AValue) { SetPropValue("Name", FName, AValue); }

    // Sets the option on AObject itself (search flags 0: no child objects, so a codec's private
    // options are not reached). A name FFmpeg does not know, or a value it refuses, is ignored.
    // A null AObject raises EAssertionFailed.
    virtual void Apply(void* AObject) const = 0;

private:
    std::string FName;
};

// Published: Value (0 or empty). Changing it never calls FFmpeg.
template <class T> class TRVLAVTypedCompressionOption : public TRVLAVCompressionOption {
public:
    using TRVLAVCompressionOption::TRVLAVCompressionOption;

    T GetValue() const { return GetPropValue(FValue); }
    void SetValue(const T& AValue) { SetPropValue("Value", FValue, AValue); }

private:
    T FValue{};
};

// av_opt_set_int, the value sign-extended.
class TRVLAVCompressionOptionInteger : public TRVLAVTypedCompressionOption<int32_t> {
public:
    using TRVLAVTypedCompressionOption::TRVLAVTypedCompressionOption;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    void Apply(void* AObject) const override;
};

// av_opt_set_int.
class TRVLAVCompressionOptionInt64 : public TRVLAVTypedCompressionOption<int64_t> {
public:
    using TRVLAVTypedCompressionOption::TRVLAVTypedCompressionOption;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    void Apply(void* AObject) const override;
};

// av_opt_set_double.
class TRVLAVCompressionOptionReal : public TRVLAVTypedCompressionOption<double> {
public:
    using TRVLAVTypedCompressionOption::TRVLAVTypedCompressionOption;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    void Apply(void* AObject) const override;
};

// av_opt_set_double, the value widened.
class TRVLAVCompressionOptionSingle : public TRVLAVTypedCompressionOption<float> {
public:
    using TRVLAVTypedCompressionOption::TRVLAVTypedCompressionOption;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    void Apply(void* AObject) const override;
};

// av_opt_set with the text.
class TRVLAVCompressionOptionString : public TRVLAVTypedCompressionOption<std::string> {
public:
    using TRVLAVTypedCompressionOption::TRVLAVTypedCompressionOption;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    void Apply(void* AObject) const override;
};

// The five option classes as collection item classes, in registration order.
std::vector<TCollectionItemClass> RVLAVOptionItemClasses();

// An owning, ordered collection of options of any of the five classes. Items share the
// collection's lock; adding, deleting and clearing notify the owner.
class TRVLAVCompressionOptions : public TLockPersistent {
public:
    TRVLAVCompressionOptions(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                             TPersistentNotify AOnChange);
    ~TRVLAVCompressionOptions() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    template <class TOption>
    requires std::is_base_of_v<TRVLAVCompressionOption, TOption> TOption& Add() {
        auto item = std::make_unique<TOption>(FOnChange, this, GetLock());
        TOption& added = *item;
        Append(std::move(item));
        return added;
    }
    // An item of a registered option class; an unknown class raises EArgumentError.
    TRVLAVCompressionOption& AddItem(const std::string& AClassName);
    int32_t Count() const;
    // An index outside the collection raises ERangeError "Index out of range = %d".
    TRVLAVCompressionOption& Items(int32_t AIndex) const;
    void Delete(int32_t AIndex);
    void Clear();

    // Applies every option to AObject in collection order, so that a later option of the same
    // name overrides an earlier one.
    void Apply(void* AObject) const;

    // From another collection: the same items, of the same classes, in the same order.
    void Assign(const TPersistent& ASource) override;

    // The items are streamed with the collection (and so with the descriptor that owns it).
    int32_t StreamedItemCount() const override { return Count(); }
    const TPersistent& StreamedItem(int32_t AIndex) const override { return Items(AIndex); }
    std::unique_ptr<TPersistent> NewStreamedItem(const std::string& AClassName) const override;
    void ReplaceStreamedItems(const std::vector<TPublishedState::TItem>& AItems) override;

private:
    std::unique_ptr<TRVLAVCompressionOption> NewItem(const std::string& AClassName) const;
    void Append(std::unique_ptr<TRVLAVCompressionOption> AItem);

    TPersistentNotify FOnChange;
    std::vector<std::unique_ptr<TRVLAVCompressionOption>> FItems;
};

} // namespace sonvera
