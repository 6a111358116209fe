#include "sonvera/codecs/RVLAVLoggingElement.h"

namespace sonvera {

TRVLAVLoggingElement::TRVLAVLoggingElement(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                           TPersistentNotify AOnChange)
    : TLockPersistent(std::move(AOnChange), AOwner, std::move(ALock)) {}

const TPropertyTableBase& TRVLAVLoggingElement::ClassPropertyTable() {
    using T = TRVLAVLoggingElement;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVLoggingElement", TLockPersistent::ClassPropertyTable())
            .String("Name", KRVLAVAutoSelect, &T::GetName, &T::SetName);
    return table;
}

} // namespace sonvera
