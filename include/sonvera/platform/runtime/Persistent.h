// The persistent object: an object whose published properties (PropertyTable.h) can be
// assigned from another object of its class, reset to their defaults and streamed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sonvera/platform/runtime/PropertyTable.h"

namespace sonvera {

// A captured set of published values, applied in one step: values first, in table order,
// then the sub-objects' states. Properties that are not listed keep their value. The property
// pointers are entries of the table of the object the state is applied to.
struct TPublishedState {
    struct TValue {
        const TPropertyInfo* Property;
        TPropertyValue Value;
    };
    struct TObject; // a sub-object's state
    struct TItem;   // an item of a collection: its class and its state

    std::vector<TValue> Values;
    std::vector<TObject> Objects;
    // With HasItems, a collection's items in order, which replace the ones it has.
    bool HasItems = false;
    std::vector<TItem> Items;
};

struct TPublishedState::TObject {
    const TPropertyInfo* Property;
    TPublishedState State;
};

struct TPublishedState::TItem {
    std::string ClassName;
    TPublishedState State;
};

class TPersistent {
public:
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;
    virtual ~TPersistent() = default;

    // The root table publishes nothing. A class that publishes properties defines its own
    // ClassPropertyTable (built on its parent's) and returns it from GetPropertyTable.
    static const TPropertyTableBase& ClassPropertyTable();
    virtual const TPropertyTableBase& GetPropertyTable() const { return ClassPropertyTable(); }
    const std::string& ClassName() const { return GetPropertyTable().ClassName(); }

    // Copies the published state of ASource, an object of this class or of a class derived
    // from it; sub-objects are assigned into the existing ones. Any other source is offered
    // ASource.AssignTo(*this), which refuses by default with EArgumentError.
    virtual void Assign(const TPersistent& ASource);
    // Sets every published property, sub-objects included, to its declared default.
    void InitDefaults();

    // Reads every published value of the object (sub-objects included).
    TPublishedState CapturePublishedState() const;
    // Sets the listed values through the class's setters. The state is checked before anything
    // is set (EArgumentError for a property of another table or a value of the wrong kind,
    // ERangeError for an enumeration value or set bit that names no member), so a refused
    // state changes nothing.
    virtual void ApplyPublishedState(const TPublishedState& AState);

    // A collection owns items beyond its published properties; they are streamed after them,
    // each with its class name. The number of items, -1 for an object that is no collection.
    virtual int32_t StreamedItemCount() const { return -1; }
    // Item AIndex; ERangeError outside the collection.
    virtual const TPersistent& StreamedItem(int32_t AIndex) const;
    // A new item of AClassName, not in the collection, that a streamed item is read into;
    // EArgumentError for a class the collection does not take.
    virtual std::unique_ptr<TPersistent> NewStreamedItem(const std::string& AClassName) const;
    // Replaces the items by new ones of the given classes and states; a refused item leaves
    // the collection as it was.
    virtual void ReplaceStreamedItems(const std::vector<TPublishedState::TItem>& AItems);

protected:
    virtual void AssignTo(TPersistent& ADest) const;
};

// The published sub-objects of AObject that are of class TBase (in table order).
template <class TBase> std::vector<TBase*> PublishedObjectsOf(const TPersistent& AObject) {
    std::vector<TBase*> objects;
    for (const TPropertyInfo& property : AObject.GetPropertyTable().Properties())
        if (property.Kind() == pkObject)
            if (TBase* object = dynamic_cast<TBase*>(property.GetObject(AObject)))
                objects.push_back(object);
    return objects;
}

} // namespace sonvera
