#include "sonvera/platform/runtime/Persistent.h"

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

bool IsEntryOf(const TPropertyTableBase& ATable, const TPropertyInfo* AProperty) {
    for (const TPropertyInfo& property : ATable.Properties())
        if (&property == AProperty)
            return true;
    return false;
}

TPublishedState DefaultState(const TPersistent& AObject) {
    TPublishedState state;
    for (const TPropertyInfo& property : AObject.GetPropertyTable().Properties()) {
        if (property.Kind() != pkObject)
            state.Values.push_back({&property, property.Default()});
        else if (const TPersistent* object = property.GetObject(AObject))
            state.Objects.push_back({&property, DefaultState(*object)});
    }
    return state;
}

// Refuses the whole state before the first setter runs.
void CheckState(const TPersistent& AObject, const TPublishedState& AState) {
    const TPropertyTableBase& table = AObject.GetPropertyTable();
    for (const TPublishedState::TValue& value : AState.Values) {
        if (!IsEntryOf(table, value.Property) || value.Property->Kind() == pkObject)
            throw EArgumentError("Published state does not fit class " + table.ClassName());
        value.Property->CheckValue(value.Value);
    }
    for (const TPublishedState::TObject& object : AState.Objects) {
        if (!IsEntryOf(table, object.Property) || object.Property->Kind() != pkObject)
            throw EArgumentError("Published state does not fit class " + table.ClassName());
        if (const TPersistent* target = object.Property->GetObject(AObject))
            CheckState(*target, object.State);
    }
}

} // namespace

const TPersistent& TPersistent::StreamedItem(int32_t AIndex) const {
    throw ERangeError(FormatMessage("Index out of range = %d", AIndex));
}

std::unique_ptr<TPersistent> TPersistent::NewStreamedItem(const std::string& AClassName) const {
    throw EArgumentError(ClassName() + " takes no item of class " + AClassName);
}

void TPersistent::ReplaceStreamedItems(const std::vector<TPublishedState::TItem>& AItems) {
    if (!AItems.empty())
        throw EArgumentError(ClassName() + " takes no items");
}

const TPropertyTableBase& TPersistent::ClassPropertyTable() {
    static const TPropertyTable<TPersistent> table("TPersistent");
    return table;
}

void TPersistent::Assign(const TPersistent& ASource) {
    const TPropertyTableBase& table = GetPropertyTable();
    if (!table.IsInstance(ASource)) {
        ASource.AssignTo(*this);
        return;
    }
    if (&ASource == this)
        return;
    // The source is read through this class's entries: a source of a derived class has more
    // properties than this object can take.
    TPublishedState values;
    for (const TPropertyInfo& property : table.Properties())
        if (property.Kind() != pkObject)
            values.Values.push_back({&property, property.GetValue(ASource)});
    ApplyPublishedState(values);
    for (const TPropertyInfo& property : table.Properties()) {
        if (property.Kind() != pkObject)
            continue;
        TPersistent* target = property.GetObject(*this);
        const TPersistent* source = property.GetObject(ASource);
        if (target && source)
            target->Assign(*source);
    }
}

void TPersistent::AssignTo(TPersistent& ADest) const {
    throw EArgumentError("Cannot assign a " + ClassName() + " to a " + ADest.ClassName());
}

void TPersistent::InitDefaults() {
    ApplyPublishedState(DefaultState(*this));
}

TPublishedState TPersistent::CapturePublishedState() const {
    TPublishedState state;
    for (const TPropertyInfo& property : GetPropertyTable().Properties()) {
        if (property.Kind() != pkObject)
            state.Values.push_back({&property, property.GetValue(*this)});
        else if (const TPersistent* object = property.GetObject(*this))
            state.Objects.push_back({&property, object->CapturePublishedState()});
    }
    return state;
}

void TPersistent::ApplyPublishedState(const TPublishedState& AState) {
    CheckState(*this, AState);
    if (AState.HasItems) // first: a refused item refuses the whole state
        ReplaceStreamedItems(AState.Items);
    for (const TPublishedState::TValue& value : AState.Values)
        value.Property->SetValue(*this, value.Value);
    for (const TPublishedState::TObject& object : AState.Objects)
        if (TPersistent* target = object.Property->GetObject(*this))
            target->ApplyPublishedState(object.State);
}

} // namespace sonvera
