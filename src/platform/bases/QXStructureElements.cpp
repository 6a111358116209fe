#include "sonvera/platform/bases/QXStructureElements.h"

#include "sonvera/platform/bases/QXStructure.h"

namespace sonvera {

TQXBasicDataMakeStructureElement::TQXBasicDataMakeStructureElement(
    const TPersistentNotify& AOnChange, TPersistent* AOwner, const TRef<IChangeNotifyLock>& ALock)
    : TLockPersistent(AOnChange, AOwner, ALock),
      FStructure(dynamic_cast<TQXMakeStructure*>(AOwner)) {}

void TQXBasicDataMakeStructureElement::InputStarted(double ARate) {
    {
        TChangeNotifyLockGuard guard(*GetLock());
        FStarted = true;
        FRate = ARate;
    }
    if (FStructure)
        FStructure->TryStartFromInputs();
}

void TQXBasicDataMakeStructureElement::ValueTaken(bool AHeld, bool ASizeChanged) {
    if (AHeld) {
        FHasValue = true;
        if (!FStarted) {
            FStarted = true;
            FRate = 1.0;
            if (FStructure)
                FStructure->TryStartFromInputs();
        }
    }
    if (FStructure)
        FStructure->DataReceived(ASizeChanged);
}

TQXBasicSplitStructureElement::TQXBasicSplitStructureElement(const TPersistentNotify& AOnChange,
                                                             TPersistent* AOwner,
                                                             const TRef<IChangeNotifyLock>& ALock)
    : TLockPersistent(AOnChange, AOwner, ALock),
      FStructure(dynamic_cast<TQXSplitStructure*>(AOwner)) {}

void TQXBasicSplitStructureElement::CheckStopped() const {
    if (FStructure)
        FStructure->CheckStopped();
}

} // namespace sonvera
