#include "sonvera/codecs/RVLAVLoggingElement.h"

namespace sonvera {

std::string RVLAVListEntry(const char* AName, const char* ALongName, TRVCompressionInfo AInfo) {
    const std::string name = AName ? AName : "";
    const std::string longName = ALongName ? ALongName : "";
    switch (AInfo) {
    case ciCode:
        return name;
    case ciDescription:
        return longName;
    default:
        return "[" + name + "] - " + longName;
    }
}

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
