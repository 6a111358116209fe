#include "sonvera/platform/pins/PXPinList.h"

#include <algorithm>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

TPXPinList::~TPXPinList() {
    Clear();
}

TPXPin* TPXPinList::Items(uint32_t AIndex) const {
    if (AIndex >= FPins.size())
        throw ERangeError(FormatMessage("Index out of range = %u", AIndex));
    return FPins[AIndex];
}

int32_t TPXPinList::IndexOf(const TPXPin* APin) const noexcept {
    auto it = std::find(FPins.begin(), FPins.end(), APin);
    return it == FPins.end() ? -1 : static_cast<int32_t>(it - FPins.begin());
}

std::unique_ptr<TPXPin> TPXPinList::Extract(uint32_t AIndex) {
    TPXPin* pin = Items(AIndex);
    FPins.erase(FPins.begin() + AIndex);
    pin->FPinList = nullptr;
    return std::unique_ptr<TPXPin>(pin);
}

void TPXPinList::Remove(uint32_t AIndex) {
    Extract(AIndex).reset();
}

void TPXPinList::Clear() {
    while (!FPins.empty())
        Remove(Count() - 1);
}

bool TPXPinList::Notify(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    bool result = false;
    for (TPXPin* pin : FPins)
        result = pin->Notify(AOperation, AState) || result;
    return result;
}

TPXPinCreated TPXPinList::PinListAddSetter() {
    return [this](TPXPin* APin) {
        FPins.push_back(APin);
        APin->FPinList = this;
    };
}

void TPXPinList::Forget(TPXPin* APin) noexcept {
    std::erase(FPins, APin);
}

} // namespace sonvera
