#include "sonvera/platform/pins/PXNotifyOperations.h"

namespace sonvera {

TRef<TPXNotifyOperation> TPXNotifyOperation::CreateObject() {
    return TRef<TPXNotifyOperation>(new TPXNotifyOperation());
}

} // namespace sonvera
